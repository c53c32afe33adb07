// The saved sizes of a resizable docking bar: section "<name>-SCBar-<id>" of
// the profile with the keys sizeHorzCX/CY, sizeVertCX/CY, sizeFloatCX/CY.
//
// Loading keeps each value at least at its minimum (horizontal and vertical
// 33 x 32, floating 37 x 32) and leaves a missing key at its current value.
// Main thread only (the profile itself is thread-safe).
#pragma once

#include <string>
#include <string_view>

namespace vexlo {

class CProfileStore;

struct BarSize {
    int cx = 200;
    int cy = 200;
    bool operator==(const BarSize&) const = default;
};

inline constexpr BarSize kBarMinHorz{33, 32};
inline constexpr BarSize kBarMinVert{33, 32};
inline constexpr BarSize kBarMinFloat{37, 32};

struct BarSizes {
    BarSize horz;  // docked at the top or bottom
    BarSize vert;  // docked at the left or right
    BarSize floating;
    bool operator==(const BarSizes&) const = default;
};

// "GroupBar-SCBar-123".
std::string BarSizesSection(std::string_view profileName, int controlId);

void LoadBarSizes(const CProfileStore& profile, std::string_view profileName, int controlId,
                  BarSizes& sizes);
void SaveBarSizes(CProfileStore& profile, std::string_view profileName, int controlId,
                  const BarSizes& sizes);

// A floating bar's new size, kept at least at the floating minimum.
BarSize ClampFloatingSize(BarSize size);

}  // namespace vexlo
