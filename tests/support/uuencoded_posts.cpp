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

std::string FormatSubject(const std::string& format, const std::string& fileName, int part,
                          int parts) {
    std::string subject(format.size() + fileName.size() + 64, '\0');
    int length = std::snprintf(subject.data(), subject.size(), format.c_str(), fileName.c_str(),
                               part, parts);
    if (length < 0) return fileName;
    subject.resize(static_cast<size_t>(length));
    return subject;
}

// A message-id's left part: letters, digits, "-" and "_", with single dots
// between them (servers refuse a leading, trailing or doubled dot).
std::string IdSafe(const std::string& text) {
    std::string safe;
    for (char c : text) {
        if (kNameCharacters.find(c) != std::string::npos)
            safe += c;
        else if (c == '.' && !safe.empty() && safe.back() != '.')
            safe += '.';
        else if (c != '.')
            safe += '-';
    }
    while (!safe.empty() && safe.back() == '.') safe.pop_back();
    return safe.empty() ? "post" : safe;
}

}  // namespace

std::vector<std::string> UuencodeLines(const std::string& data) {
    std::vector<std::string> lines;
    lines.reserve(data.size() / kBytesPerLine + 1);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    for (size_t offset = 0; offset < data.size(); offset += kBytesPerLine) {
        size_t count = std::min(kBytesPerLine, data.size() - offset);
        std::string line(1, UuChar(static_cast<unsigned>(count)));
        for (size_t i = 0; i < count; i += 3) {
            unsigned b0 = bytes[offset + i];
            unsigned b1 = i + 1 < count ? bytes[offset + i + 1] : 0;
            unsigned b2 = i + 2 < count ? bytes[offset + i + 2] : 0;
            line += UuChar(b0 >> 2);
            line += UuChar((b0 << 4) | (b1 >> 4));
            line += UuChar((b1 << 2) | (b2 >> 6));
            line += UuChar(b2);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string UniqueMessageId(const std::string& hint) {
    static std::atomic<uint64_t> counter{0};
    static const uint64_t startMicros =
        static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count());
    char unique[64];
    std::snprintf(unique, sizeof(unique), "%llx.%d.%llu",
                  static_cast<unsigned long long>(startMicros), static_cast<int>(::getpid()),
                  static_cast<unsigned long long>(++counter));
    return "<" + IdSafe(hint) + "." + unique + "@vexlo.test>";
}

std::vector<Article> MakeUuencodedPosts(const std::string& group, const std::string& fileName,
                                        const std::string& data, int parts,
                                        const std::string& poster,
                                        const std::string& subjectFormat) {
    if (parts < 1) parts = 1;
    std::vector<std::string> lines = UuencodeLines(data);
    const size_t total = lines.size();
    const auto n = static_cast<size_t>(parts);
    std::vector<Article> posts;
    posts.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        Article post;
        const int part = static_cast<int>(i) + 1;
        post.messageId = UniqueMessageId(fileName + ".part" + std::to_string(part) + "of" +
                                         std::to_string(parts));
        post.newsgroups = group;
        post.subject = FormatSubject(subjectFormat, fileName, part, parts);
        post.from = poster;
        if (i == 0) post.bodyLines.push_back("begin 644 " + fileName);
        // Part i holds lines [total*i/n, total*(i+1)/n): counts differ by one at most.
        for (size_t line = total * i / n; line < total * (i + 1) / n; ++line) {
            post.bodyLines.push_back(std::move(lines[line]));
        }
        if (i + 1 == n) {
            post.bodyLines.push_back("`");
            post.bodyLines.push_back("end");
        }
        posts.push_back(std::move(post));
    }
    return posts;
}

}  // namespace vexlo::test
