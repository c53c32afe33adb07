// The group file DATA/_GROUPS.DAT: the user's newsgroup list on disk.
//
// Layout (all integers 32-bit little-endian signed, strings raw bytes with no
// terminator or padding, no signature, no version):
//   count N
//   N records: binCount, newCount, msgCount, Ln, Ld, Ls, name[Ln],
//              saveToDirectory[Ld], lastScan[Ls]
// The last scan is stored as its display text. Each string is written cut to
// 259 bytes.
//
// Stateless functions; safe on any thread, but the list calls them on the main
// thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "groups/group_record.h"

namespace vexlo {

inline constexpr const char* kGroupFileName = "_GROUPS.DAT";

struct GroupFileContents {
    bool opened = false;               // false: missing or unreadable; records is empty
    int32_t expected = 0;              // N from the file (0 when the count is missing)
    bool truncated = false;            // the file ended or broke inside a record
    int skipped = 0;                   // whole records dropped because the name is unusable
    bool damaged = false;              // the file exists but could not be read whole
    std::vector<GroupRecord> records;  // in file order
};

// Reads the file at path. A missing file, a count that is missing, 0 or
// negative give no records. Reading stops at the first record that is cut
// short or whose string length is negative or runs past the end of the file;
// the records before it are returned. A record whose name is not usable
// (IsUsableGroupName; for instance 260 bytes or more, or holding "/") is
// skipped and reading goes on. Directory and last scan texts longer than 259
// bytes are cut to 259. Every shape but a whole file — a missing or negative
// count, a record cut short, a skipped record, bytes behind the last record —
// marks the contents damaged.
GroupFileContents ReadGroupFile(const std::string& path);

// The bytes of a group file holding `records` in the given order.
std::string EncodeGroupFile(const std::vector<GroupRecord>& records);

// Replaces the file at path with `records`, atomically: a temporary file next
// to it is written, flushed and renamed over it, so a failure at any point
// leaves the previous file whole. On failure returns false with `error` set to
// the system's description of the failure (may be empty).
bool WriteGroupFile(const std::string& path, const std::vector<GroupRecord>& records,
                    std::string& error);

}  // namespace vexlo
