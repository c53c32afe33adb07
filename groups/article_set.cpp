#include "groups/article_set.h"

#include <algorithm>

namespace vexlo {

CArticleSet::CArticleSet(const std::vector<uint32_t>& articles) {
    if (articles.empty()) return;
    auto [lo, hi] = std::minmax_element(articles.begin(), articles.end());
    base_ = *lo;
    span_ = uint64_t{*hi} - *lo + 1;
    // A bitmap of span/8 bytes against 4 bytes per listed number.
    const uint64_t bitmapBytes = span_ / 8;
    if (bitmapBytes <= 2 * 4 * uint64_t{articles.size()} + (1u << 20)) {
        useBitmap_ = true;
        bits_.assign((span_ + 63) / 64, 0);
        for (uint32_t a : articles) {
            uint64_t bit = a - base_;
            bits_[bit >> 6] |= uint64_t{1} << (bit & 63);
        }
        return;
    }
    sorted_ = articles;
    std::sort(sorted_.begin(), sorted_.end());
}

bool CArticleSet::ContainsSorted(uint32_t article) const {
    return std::binary_search(sorted_.begin(), sorted_.end(), article);
}

}  // namespace vexlo
