// Building yEnc posts for tests and the fixture's seeding tool, the way
// posting programs write them: data lines of `lineLength` characters (one
// more when an escape pair ends the line), with NUL, LF, CR and "=" escaped
// everywhere, a tab or blank escaped at the start and end of a line and a
// "." at its start.
#pragma once

#include <string>
#include <vector>

#include "support/inn_fixture.h"

namespace vexlo::test {

inline constexpr size_t kYencLineLength = 128;

// The yEnc data lines of `data` (no =ybegin, =ypart or =yend).
std::vector<std::string> YencodeLines(const std::string& data, size_t lineLength = kYencLineLength);

// Part `part` (one-based) of `parts` of a file posted as yEnc: the bytes
// [begin, end) of data, framed by
//   =ybegin part=P total=T line=L size=S name=NAME
//   =ypart begin=B end=E                       (B, E one-based)
//   =yend size=N part=P pcrc32=HEX crc32=HEX   (crc32 in the last part only)
// With parts = 1 it is a single-part block: "=ybegin line=L size=S name=NAME",
// no =ypart, and "=yend size=S crc32=HEX".
std::vector<std::string> YencPartBody(const std::string& fileName, const std::string& data,
                                      int part, int parts, size_t begin, size_t end,
                                      size_t lineLength = kYencLineLength);

// A file posted as a yEnc multi-part binary of `parts` articles of nearly
// equal size, as MakeUuencodedPosts does it for uuencoding (the same
// subjects, message-ids and parts < 1 rule).
std::vector<Article> MakeYencodedPosts(const std::string& group, const std::string& fileName,
                                       const std::string& data, int parts,
                                       const std::string& poster,
                                       const std::string& subjectFormat = "%s (%d/%d)");

}  // namespace vexlo::test
