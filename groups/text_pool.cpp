#include "groups/text_pool.h"

#include <cstring>

namespace vexlo {

bool CTextPool::Add(std::string_view text, uint32_t& position) {
    if (text.size() > kMaxText) return false;
    if (used_ + text.size() + 1 > kBlockBytes) {
        if (blocks_.size() >= (uint64_t{1} << (32 - kBlockBits))) return false;
        // Left uninitialised: only the pages that texts fill become resident.
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockBytes));
        used_ = 0;
    }
    char* block = blocks_.back().get();
    std::memcpy(block + used_, text.data(), text.size());
    block[used_ + text.size()] = '\0';
    position = static_cast<uint32_t>(((blocks_.size() - 1) << kBlockBits) | used_);
    used_ += text.size() + 1;
    return true;
}

bool CTextPool::Share(std::string_view text, uint32_t& position) {
    auto it = shared_.find(text);
    if (it != shared_.end()) {
        position = it->second;
        return true;
    }
    if (!Add(text, position)) return false;
    if (shared_.size() < kMaxShared)
        shared_.emplace(std::string_view(At(position), text.size()), position);
    return true;
}

void CTextPool::Clear() {
    std::unordered_map<std::string_view, uint32_t>().swap(shared_);
    std::vector<std::unique_ptr<char[]>>().swap(blocks_);
    used_ = kBlockBytes;
}

}  // namespace vexlo
