// CArticleSet: a set of article numbers built once and then asked millions of
// times whether it holds a number (the merge and the .MSG writer ask it for
// every record). A bitmap over the numbers' span when that costs at most about
// twice the list itself, otherwise a sorted copy searched by binary search.
// Immutable after construction; safe to read from any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace vexlo {

class CArticleSet {
  public:
    CArticleSet() = default;
    // `articles` may be unsorted and hold duplicates.
    explicit CArticleSet(const std::vector<uint32_t>& articles);

    bool Contains(uint32_t article) const {
        if (useBitmap_) {
            if (article < base_ || article - base_ >= span_) return false;
            uint64_t bit = article - base_;
            return (bits_[bit >> 6] >> (bit & 63)) & 1;
        }
        return ContainsSorted(article);
    }

  private:
    bool ContainsSorted(uint32_t article) const;

    bool useBitmap_ = false;
    uint32_t base_ = 0;
    uint64_t span_ = 0;
    std::vector<uint64_t> bits_;
    std::vector<uint32_t> sorted_;
};

}  // namespace vexlo
