// Injecting articles as a streaming news peer (MODE STREAM, TAKETHIS).
//
// innd hands connections from 127.0.0.1 to its reader process, so the feeder
// binds its socket to 127.0.0.2, the address the servers list as a peer. Articles
// are written back to back while a second thread reads the 239/439 replies, so
// the rate is set by the server, not by round trips.
#include <sys/socket.h>

#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>
#include <thread>

#include "support/inn_fixture.h"
#include "support/loopback_socket.h"

namespace vexlo::test {

namespace {

constexpr const char* kFeedAddress = "127.0.0.2";
constexpr size_t kSendChunk = 1 << 20;

std::string NowDate() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    std::ostringstream text;
    text.imbue(std::locale::classic());  // English day and month names
    text << std::put_time(&utc, "%a, %d %b %Y %H:%M:%S GMT");
    return text.str();
}

// A line break in a header or a body line, or a blank in the message-id,
// would break the stream in a way the server cannot tell: refused here.
bool BreaksTheStream(const Article& article) {
    std::string text = article.messageId + article.newsgroups + article.subject + article.from;
    for (const std::string& line : article.bodyLines) text += line;
    return (text + article.date).find_first_of("\r\n") != std::string::npos ||
           article.messageId.find_first_of(" \t") != std::string::npos;
}

void AppendTakeThis(const Article& a, const std::string& now, std::string* out) {
    out->append("TAKETHIS " + a.messageId + "\r\nPath: vexlo-seed!not-for-mail\r\nFrom: " + a.from +
                "\r\nNewsgroups: " + a.newsgroups + "\r\nSubject: " + a.subject +
                "\r\nMessage-ID: " + a.messageId + "\r\nDate: " + (a.date.empty() ? now : a.date) +
                "\r\n\r\n");
    for (const std::string& line : a.bodyLines) {
        if (!line.empty() && line.front() == '.') out->push_back('.');
        out->append(line).append("\r\n");
    }
    out->append(".\r\n");
}

}  // namespace

bool PostArticlesTo(uint16_t port, const std::vector<Article>& articles, std::string* error) {
    auto fail = [&](const std::string& text) {
        if (error != nullptr) *error = "server on port " + std::to_string(port) + ": " + text;
        return false;
    };
    for (const Article& article : articles)
        if (BreaksTheStream(article)) return fail(article.messageId + ": a line break or blank");
    std::string reason;
    CSocketFd socket = ConnectLoopback(port, kFeedAddress, 120, &reason);
    if (!socket.IsOpen()) return fail(reason);
    CLineReader reader(socket.Get());
    std::string line;
    if (!reader.ReadLine(&line) || line.rfind("200", 0) != 0)
        return fail("refused the feed: " + line + reader.LastError());
    if (!SendAll(socket.Get(), "MODE STREAM\r\n") || !reader.ReadLine(&line) ||
        line.rfind("203", 0) != 0) {
        return fail("no streaming (is " + std::string(kFeedAddress) +
                    " a peer in incoming.conf?): " + line + reader.LastError());
    }

    // Reads one reply per article; keeps the first refusal. A 4xx other than
    // 439 (400 and the like) ends the feed.
    size_t refused = 0;
    std::string firstRefusal, failure;
    std::thread replyThread([&] {
        std::string reply;
        for (size_t i = 0; i < articles.size() && failure.empty(); ++i) {
            if (!reader.ReadLine(&reply))
                failure = reader.LastError() + " after " + std::to_string(i) + " replies";
            else if (reply.rfind("239 ", 0) != 0 && refused++ == 0)
                firstRefusal = reply;
            if (reply.rfind("4", 0) == 0 && reply.rfind("439", 0) != 0)
                failure = "server ended the feed: " + reply;
        }
    });
    const std::string now = NowDate();
    std::string buffer;
    bool sent = true;
    for (size_t i = 0; sent && i < articles.size(); ++i) {
        AppendTakeThis(articles[i], now, &buffer);
        if (buffer.size() >= kSendChunk || i + 1 == articles.size()) {
            sent = SendAll(socket.Get(), buffer, &reason);
            buffer.clear();
        }
    }
    // A broken send leaves the reply thread waiting; closing our side ends its read.
    if (!sent) ::shutdown(socket.Get(), SHUT_RDWR);
    replyThread.join();
    if (!failure.empty()) return fail(failure);
    if (!sent) return fail(reason);
    if (refused > 0)
        return fail(std::to_string(refused) + " of " + std::to_string(articles.size()) +
                    " articles refused, first: " + firstRefusal);
    SendAll(socket.Get(), "QUIT\r\n");
    return true;
}

bool PostArticles(const std::vector<Article>& articles, std::string* error) {
    const InnServer& inn = Inn();
    return PostArticlesTo(inn.anonPort, articles, error) &&
           PostArticlesTo(inn.authPort, articles, error);
}

}  // namespace vexlo::test
