// GroupRecord: one newsgroup of the user's list, and the rules every part of
// the program shares about group names and the "Last Scan" text.
//
// A group's name is what GROUP sends to the server, the stem of its data files
// in the data directory (name.MSG, name.BIN, name.XOV, name.XOT, name.NEW,
// name.OLD) and the name of its named lock. The list looks names up and orders
// them case-insensitively (ASCII letters folded to lower case); the named lock
// compares them exactly.
//
// Plain values and pure functions; safe on any thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace vexlo {

inline constexpr const char* kNeverScanned = "(NEVER)";

// Extensions of the per-group data files.
inline constexpr const char* kMsgExt = ".MSG";
inline constexpr const char* kBinExt = ".BIN";
inline constexpr const char* kXovExt = ".XOV";
inline constexpr const char* kXotExt = ".XOT";
inline constexpr const char* kNewExt = ".NEW";
inline constexpr const char* kOldExt = ".OLD";

struct GroupRecord {
    std::string name;                      // at most 259 bytes, a usable group name
    int32_t binCount = 0;                  // binaries in name.BIN after the last good scan
    int32_t newCount = 0;                  // binaries that scan found for the first time
    int32_t msgCount = 0;                  // articles in name.MSG (in no complete binary)
    std::string lastScan = kNeverScanned;  // "(NEVER)" or a FormatScanTime text
    std::string saveToDirectory;           // where the group's binaries are decoded; may be ""

    bool operator==(const GroupRecord&) const = default;
};

// <0, 0, >0 as a is before, equal to or after b, comparing bytes with ASCII
// letters folded to lower case.
int CompareGroupNames(std::string_view a, std::string_view b);
inline bool GroupNamesEqual(std::string_view a, std::string_view b) {
    return CompareGroupNames(a, b) == 0;
}

// True for a name the list accepts: 1..259 bytes, no blank or control byte
// (it goes into a GROUP command line), no "/" and not "." or ".." (it is the
// stem of file names in the data directory).
bool IsUsableGroupName(std::string_view name);

// The "Last Scan" text of a local time: "%a, %b %d %I:%M %p" with English
// names whatever the process locale is, e.g. "Mon, Jan 07 03:05 PM".
std::string FormatScanTime(const std::tm& local);
// The same for a moment, converted to local time.
std::string FormatScanTime(std::time_t when);

// Path of one of the group's data files: dataPath + name + ext.
inline std::string GroupDataFile(const std::string& dataPath, std::string_view name,
                                 const char* ext) {
    return dataPath + std::string(name) + ext;
}

}  // namespace vexlo
