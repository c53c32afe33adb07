// Helpers of the header scan that need no server: the overview line splitter,
// the range and article numbers of a group's stored data, and the resume
// point of an interrupted scan's .XOV.
//
// Stateless; safe on any thread (the files they read are the caller's concern).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo {

// Fields of an overview line: 0 article number, 1 subject, 2 poster, 3 date,
// 4 message-id, 5 references, 6 bytes, 7 lines, 8 the rest of the line.
using OverviewFields = std::array<std::string_view, 9>;

// Splits at TAB characters; the line ends at its first NUL, if any. Valid only
// when 8 TABs are found (so a standard 8-field line without a trailing TAB is
// refused); field 8 is then everything behind the 8th TAB.
bool SplitOverviewLine(std::string_view line, OverviewFields& fields);

// Index of the first entry equal to `value` in an ascending list, or -1.
int FindInSortedList(const std::vector<uint32_t>& list, uint32_t value);

// True when the group's .MSG and .BIN both exist, both have an 8-byte header,
// and the two headers are equal; oldFirst/oldLast get that range.
bool GetScanRange(const std::string& dataDir, const std::string& groupName, uint32_t& oldFirst,
                  uint32_t& oldLast);

// Append the article number of every whole record of the group's .MSG (resp.
// of every part of every whole binary record of its .BIN) to `list`, then sort
// it ascending. Reading stops at the first record cut short or damaged.
void LoadMessageNumbers(const std::string& dataDir, const std::string& groupName,
                        std::vector<uint32_t>& list);
void LoadBinaryNumbers(const std::string& dataDir, const std::string& groupName,
                       std::vector<uint32_t>& list);

// Examines a leftover .XOV: its header range and the article numbers of its
// first and last whole records. A record cut short (or damaged) at the end is
// cut off the file. False when the file is missing or cannot be opened for
// reading and writing; a file without a whole header or without one whole
// record is deleted and false returned.
bool GetOverviewResumeInfo(const std::string& xovPath, uint32_t& headerStart, uint32_t& headerEnd,
                           uint32_t& firstArticle, uint32_t& lastArticle);

}  // namespace vexlo
