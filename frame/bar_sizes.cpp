#include "frame/bar_sizes.h"

#include <algorithm>

#include "platform/profile_store.h"

namespace vexlo {
namespace {

struct Key {
    const char* cx;
    const char* cy;
    BarSize BarSizes::*size;
    BarSize minimum;
};
constexpr Key kKeys[] = {
    {"sizeHorzCX", "sizeHorzCY", &BarSizes::horz, kBarMinHorz},
    {"sizeVertCX", "sizeVertCY", &BarSizes::vert, kBarMinVert},
    {"sizeFloatCX", "sizeFloatCY", &BarSizes::floating, kBarMinFloat},
};

}  // namespace

std::string BarSizesSection(std::string_view profileName, int controlId) {
    return std::string(profileName) + "-SCBar-" + std::to_string(controlId);
}

void LoadBarSizes(const CProfileStore& profile, std::string_view profileName, int controlId,
                  BarSizes& sizes) {
    std::string section = BarSizesSection(profileName, controlId);
    for (const Key& key : kKeys) {
        BarSize& size = sizes.*key.size;
        size.cx = std::max(profile.GetProfileInt(section, key.cx, size.cx), key.minimum.cx);
        size.cy = std::max(profile.GetProfileInt(section, key.cy, size.cy), key.minimum.cy);
    }
}

void SaveBarSizes(CProfileStore& profile, std::string_view profileName, int controlId,
                  const BarSizes& sizes) {
    std::string section = BarSizesSection(profileName, controlId);
    CProfileBatch batch(profile);
    for (const Key& key : kKeys) {
        profile.WriteProfileInt(section, key.cx, (sizes.*key.size).cx);
        profile.WriteProfileInt(section, key.cy, (sizes.*key.size).cy);
    }
}

BarSize ClampFloatingSize(BarSize size) {
    return {std::max(size.cx, kBarMinFloat.cx), std::max(size.cy, kBarMinFloat.cy)};
}

}  // namespace vexlo
