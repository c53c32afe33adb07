// yEnc posts for tests: the encoder and the framing of each part.
#include "support/yenc_encoder.h"

#include <cstdio>
#include <utility>

#include "decode/crc32.h"

namespace vexlo::test {

std::vector<std::string> YencodeLines(const std::string& data, size_t lineLength) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(static_cast<unsigned char>(data[i]) + 42);
        const bool first = line.empty();
        const bool last = line.size() + 1 >= lineLength || i + 1 == data.size();
        const bool escape = c == 0 || c == '\n' || c == '\r' || c == '=' ||
                            ((c == '\t' || c == ' ') && (first || last)) || (c == '.' && first);
        if (escape) line += '=';
        line += static_cast<char>(escape ? c + 64 : c);
        if (line.size() >= lineLength || i + 1 == data.size())
            lines.push_back(std::exchange(line, std::string()));
    }
    return lines;
}

std::vector<std::string> YencPartBody(const std::string& fileName, const std::string& data,
                                      int part, int parts, size_t begin, size_t end,
                                      size_t lineLength) {
    // The CRC-32 of data[from, to) in hexadecimal.
    const auto crc = [&](size_t from, size_t to) {
        char text[16];
        std::snprintf(text, sizeof text, "%08x", Crc32(0, data.data() + from, to - from));
        return std::string(text);
    };
    const std::string head = " line=" + std::to_string(lineLength) +
                             " size=" + std::to_string(data.size()) + " name=" + fileName;
    const std::string p = std::to_string(part);
    std::vector<std::string> body;
    if (parts == 1) body.push_back("=ybegin" + head);
    if (parts != 1) {
        body.push_back("=ybegin part=" + p + " total=" + std::to_string(parts) + head);
        body.push_back("=ypart begin=" + std::to_string(begin + 1) + " end=" + std::to_string(end));
    }
    for (std::string& line : YencodeLines(data.substr(begin, end - begin), lineLength))
        body.push_back(std::move(line));
    std::string trailer = "=yend size=" + std::to_string(end - begin);
    if (parts != 1) trailer += " part=" + p + " pcrc32=" + crc(begin, end);
    if (part == parts) trailer += " crc32=" + crc(0, data.size());
    body.push_back(trailer);
    return body;
}

std::vector<Article> MakeYencodedPosts(const std::string& group, const std::string& fileName,
                                       const std::string& data, int parts,
                                       const std::string& poster,
                                       const std::string& subjectFormat) {
    // Subjects and message-ids as for a uuencoded post; the bodies are replaced.
    std::vector<Article> posts =
        MakeUuencodedPosts(group, fileName, "", parts, poster, subjectFormat);
    const size_t n = posts.size();
    for (size_t i = 0; i < n; ++i) {
        posts[i].bodyLines =
            YencPartBody(fileName, data, static_cast<int>(i) + 1, static_cast<int>(n),
                         data.size() * i / n, data.size() * (i + 1) / n);
    }
    return posts;
}

}  // namespace vexlo::test
