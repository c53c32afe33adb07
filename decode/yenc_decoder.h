// The yEnc decoder's stateless pieces: recognising and reading the header and
// trailer lines of a yEnc block, and decoding one data line into bytes.
//
// A yEnc block in an article body is
//   =ybegin part=P total=T line=L size=S name=NAME   (part/total: multi-part)
//   =ypart begin=B end=E                            (multi-part only)
//   data lines
//   =yend size=N part=P pcrc32=HEX crc32=HEX
// where B and E are the one-based first and last byte of the file that the
// part carries, size= of =ybegin is the whole file's, size= of =yend the
// part's, pcrc32 the part's CRC-32 and crc32 the whole file's (for a
// single-part block crc32 is the part's). A data byte d travels as
// (d + 42) mod 256; NUL, LF, CR and "=" (and, by many encoders' choice, a
// tab, blank or "." where a line would start or end with it) are escaped as
// "=" followed by (d + 42 + 64) mod 256. Fields may come in any order; name=
// is the last and runs to the end of the line.
//
// The attachment writer (decode/attachment_writer.h) drives these line by line
// and keeps the part's state. Every function works on the caller's buffers
// only; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexlo {

// "=ybegin " at the start of the line.
bool IsYbeginLine(std::string_view line);
// "=ypart " at the start of the line.
bool IsYpartLine(std::string_view line);
// "=yend" alone or followed by a blank.
bool IsYendLine(std::string_view line);

struct YencBegin {
    int64_t part = 0;   // 0: no part= field (a single-part block)
    int64_t total = 0;  // 0: no total= field
    int64_t size = -1;  // the whole file's length
    std::string name;   // as posted: the caller cleans it
};
// False when size= or name= is missing or a number is malformed.
bool ParseYbegin(std::string_view line, YencBegin& out);

struct YencPart {
    int64_t begin = 0;  // one-based, inclusive
    int64_t end = 0;
};
// False when begin= or end= is missing or malformed, begin is 0 or end < begin.
bool ParseYpart(std::string_view line, YencPart& out);

struct YencEnd {
    int64_t size = -1;  // -1: no size= field
    bool hasPcrc32 = false;
    uint32_t pcrc32 = 0;
    bool hasCrc32 = false;
    uint32_t crc32 = 0;
};
// False when a number or a checksum (one to eight hex digits) is malformed.
bool ParseYend(std::string_view line, YencEnd& out);

// Room DecodeYencLine needs in out beyond line.size() bytes: it writes whole
// blocks of 16 bytes and keeps only the decoded ones.
inline constexpr size_t kYencDecodeSlack = 16;

// Decodes one data line into out, which must hold line.size() +
// kYencDecodeSlack bytes, and returns the number of bytes. `escaped` carries
// an escape character that ended the previous line over to this one
// (encoders should not split an escape, some do): true on entry makes the
// first character an escaped one, and it is set on return when this line
// ends with a lone "=". No allocation: it runs once for every body line.
// Sixteen characters at a time on processors with SSSE3, where the escapes
// are taken out by shuffles instead of branches.
size_t DecodeYencLine(std::string_view line, unsigned char* out, bool& escaped);

// The same one character after another, as processors without SSSE3 do it;
// tests hold the two against each other.
size_t DecodeYencLinePortable(std::string_view line, unsigned char* out, bool& escaped);

}  // namespace vexlo
