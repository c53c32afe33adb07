// The uuencode decoder's stateless pieces and the naming of output files.
//
// The retrieval runs every body line through these: IsBeginLine spots the
// "begin 644 name" line that opens an attachment, ParseBeginFileName takes a
// safe file name from it, DecodeUuLine turns each following line into bytes,
// and MakeUniqueFileName finds a free name when the output file exists.
// The "end" line and the lone "`" line are the caller's business.
//
// Every function works on the caller's buffers only; safe on any thread.
// Paths use "/" as separator.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vexlo {

// Longest body line the retrieval hands to DecodeUuLine.
inline constexpr int kUuLineLimit = 768;
// Byte buffer DecodeUuLine needs: one line carries at most 63 bytes.
inline constexpr size_t kUuDecodeBufferSize = 64;

// True for "begin", a blank, three digits, a blank and at least one more
// character. The word may be in any case; four mode digits are refused.
bool IsBeginLine(std::string_view line);

// Takes the file name from a begin line: the text from the 11th character on,
// without enclosing double quotes and outer blanks, cleaned by CleanFileName.
// False when nothing is left, or only "." or "..".
bool ParseBeginFileName(std::string_view line, std::string& name);

// The file name of an attachment as posted (after "begin 644 ", or yEnc's
// name=): without one enclosing double quote at each end and outer blanks,
// cleaned by CleanFileName. False when nothing is left, or only "." or "..".
bool CleanAttachmentName(std::string_view posted, std::string& name);

// Removes blanks (code 32 only) from both ends.
void TrimSpaces(std::string& text);

// Replaces every character that could lead out of the save-to directory or is
// not plain 7-bit text (\ / < > : " | *, codes below 32 and above 127) with "_".
void CleanFileName(std::string& text);

// Decodes one encoded line into out, which must hold kUuDecodeBufferSize bytes.
// On success count is the number of bytes the line carries (0..63) and the
// first count bytes of out are them. False when the line is empty, longer than
// limit, or too short for the count its first character announces.
// No allocation: it runs once for every body line.
bool DecodeUuLine(std::string_view line, unsigned char* out, int limit, int& count);
// The same without the vector instructions DecodeUuLine uses where the
// processor has them; what both must agree with.
bool DecodeUuLinePortable(std::string_view line, unsigned char* out, int limit, int& count);

// When a file exists at path, replaces path with the first free "stem-n.ext"
// (n = 1..9998; the extension starts at the last "." of the last path element,
// a dot at the path's very first character doesn't count). False when all
// candidates are taken. Reserves nothing: two callers may pick the same name.
bool MakeUniqueFileName(std::string& path);
// The same with another test of a taken name than FileExists.
bool MakeUniqueFileName(std::string& path, const std::function<bool(const std::string&)>& taken);

}  // namespace vexlo
