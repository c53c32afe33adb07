// The server's full group list on disk: DATA/_GROUPS.ALL, the list last
// fetched completely, and DATA/_GROUPS.TMP, the list being fetched.
//
// Both are plain text, one newsgroup name per line, each ended by CR LF, in the
// order the server sent them; nothing else is stored. The LIST job writes
// _GROUPS.TMP; only a complete fetch replaces _GROUPS.ALL with it, so a failed
// or aborted fetch leaves a partial _GROUPS.TMP and the old _GROUPS.ALL.
//
// Pure functions over files; the thread that calls them owns the files for the
// call (the main thread; the worker writes only _GROUPS.TMP, and only while
// no one installs it).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vexlo {

class IMessageBox;

inline constexpr const char* kServerGroupListFileName = "_GROUPS.ALL";
inline constexpr const char* kServerGroupTempFileName = "_GROUPS.TMP";
// Longest piece of a line read as one line of the list; the rest of a longer
// line comes back as further lines.
inline constexpr size_t kMaxGroupListLine = 1022;

inline constexpr const char* kDeleteOldGroupListText = "Error Deleting Old Group List!";
inline constexpr const char* kMoveGroupListText =
    "Error 0x%08X: Moving Temp Group List To _GROUPS.ALL";

// Whether a line of the list file, as read (with its line end), passes the
// filter: an empty filter passes every line, an empty line every filter, any
// other line passes when it contains the filter (a case-sensitive substring
// test). A line read from the file is empty only when it has no line end and
// no text, so a blank line of the file is listed only without a filter.
bool GroupListLinePasses(std::string_view line, std::string_view filter);

// Reads the list file: each line (cut into pieces of at most 1022 characters,
// counting its line end) that passes the filter, without its trailing CR and
// LF characters, in file order. False (names untouched) when the file cannot
// be opened or read.
bool ReadServerGroupList(const std::string& path, std::string_view filter,
                         std::vector<std::string>& names);

// A complete fetch: deletes `allPath` when it exists (failure: "Error Deleting
// Old Group List!"), then renames `tempPath` to `allPath` (failure: "Error
// 0x%08X: Moving Temp Group List To _GROUPS.ALL" with the system's error
// code), both with the exclamation icon. True when the rename succeeded.
bool InstallServerGroupList(const std::string& tempPath, const std::string& allPath,
                            IMessageBox& messageBox);

}  // namespace vexlo
