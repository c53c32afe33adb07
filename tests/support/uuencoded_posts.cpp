// Building articles: uuencoded multi-part posts and unique message-ids.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "support/inn_fixture.h"

namespace vexlo::test {

namespace {

constexpr size_t kBytesPerLine = 45;

// uuencode's character for a 6-bit value; common encoders write "`" for zero.
char UuChar(unsigned value) {
    value &= 0x3f;
    return value == 0 ? '`' : static_cast<char>(value + 32);
}

// A message-id's left part: letters, digits, "-" and "_", with single dots
// between them (servers refuse a leading, trailing or doubled dot).
std::string IdSafe(const std::string& text) {
    std::string safe;
    for (char c : text) {
        if (kNameCharacters.find(c) != std::string::npos)
            safe += c;
        else if (c != '.')
            safe += '-';
        else if (!safe.empty() && safe.back() != '.')
            safe += '.';
    }
    while (!safe.empty() && safe.back() == '.') safe.pop_back();
    return safe.empty() ? "post" : safe;
}

}  // namespace

std::vector<std::string> UuencodeLines(const std::string& data) {
    std::vector<std::string> lines;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    for (size_t offset = 0; offset < data.size(); offset += kBytesPerLine) {
        const size_t count = std::min(kBytesPerLine, data.size() - offset);
        std::string line(1, UuChar(static_cast<unsigned>(count)));
        for (size_t i = offset; i < offset + count; i += 3) {
            const unsigned b0 = bytes[i], b1 = i + 1 < data.size() ? bytes[i + 1] : 0,
                           b2 = i + 2 < data.size() ? bytes[i + 2] : 0;
            for (unsigned value : {b0 >> 2, (b0 << 4) | (b1 >> 4), (b1 << 2) | (b2 >> 6), b2})
                line += UuChar(value);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string UniqueMessageId(const std::string& hint) {
    static std::atomic<uint64_t> counter{0};
    static const auto start = std::chrono::system_clock::now().time_since_epoch().count();
    return "<" + IdSafe(hint) + "." + std::to_string(start) + "." + std::to_string(::getpid()) +
           "." + std::to_string(++counter) + "@vexlo.test>";
}

std::vector<Article> MakeUuencodedPosts(const std::string& group, const std::string& fileName,
                                        const std::string& data, int parts,
                                        const std::string& poster,
                                        const std::string& subjectFormat) {
    const size_t n = static_cast<size_t>(std::max(parts, 1));
    std::vector<std::string> lines = UuencodeLines(data);
    std::vector<Article> posts(n);
    for (size_t i = 0; i < n; ++i) {
        Article& post = posts[i];
        const std::string part = std::to_string(i + 1), total = std::to_string(n);
        post.messageId = UniqueMessageId(fileName + ".part" + part + "of" + total);
        post.newsgroups = group;
        std::vector<char> subject(subjectFormat.size() + fileName.size() + 64);
        std::snprintf(subject.data(), subject.size(), subjectFormat.c_str(), fileName.c_str(),
                      static_cast<int>(i + 1), static_cast<int>(n));
        post.subject = subject.data();
        post.from = poster;
        if (i == 0) post.bodyLines.push_back("begin 644 " + fileName);
        // Part i holds lines [total*i/n, total*(i+1)/n): counts differ by one at most.
        post.bodyLines.insert(post.bodyLines.end(), lines.begin() + lines.size() * i / n,
                              lines.begin() + lines.size() * (i + 1) / n);
        if (i + 1 == n) post.bodyLines.insert(post.bodyLines.end(), {"`", "end"});
    }
    return posts;
}

}  // namespace vexlo::test
