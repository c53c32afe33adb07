// CTextPool: an append-only store of short texts for lists of a million rows.
//
// A row of such a list keeps a 32-bit position instead of a std::string, so
// loading a big group costs no heap allocation per text: the texts go one
// after the other into 1 MiB blocks, each followed by a NUL (so the locale
// compare can run on them in place), and never move until Clear. A text never
// straddles two blocks. Optionally, repeated texts (the posters of a group are
// few) are stored once. One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vexlo {

class CTextPool {
  public:
    static constexpr size_t kBlockBits = 20;
    static constexpr size_t kBlockBytes = size_t{1} << kBlockBits;
    // Texts of at most this many bytes are taken (one block less its NUL).
    static constexpr size_t kMaxText = kBlockBytes - 1;

    // Appends `text` and its NUL; false (nothing stored) when the text is too
    // long or the pool has reached its 4 GiB of positions.
    bool Add(std::string_view text, uint32_t& position);
    // The same, but a text already stored through Share is found again
    // instead of stored twice (up to kMaxShared different texts are tracked).
    bool Share(std::string_view text, uint32_t& position);
    // The NUL-terminated text at a position Add or Share returned.
    const char* At(uint32_t position) const {
        return blocks_[position >> kBlockBits].get() + (position & (kBlockBytes - 1));
    }
    // Forgets every text and gives the memory back.
    void Clear();

  private:
    static constexpr size_t kMaxShared = 65536;

    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = kBlockBytes;  // bytes taken in the last block
    std::unordered_map<std::string_view, uint32_t> shared_;
};

}  // namespace vexlo
