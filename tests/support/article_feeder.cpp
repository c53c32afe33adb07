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
constexpr int kTimeoutSeconds = 120;
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

// Refuses what would break the wire format or that the server would reject for
// reasons a test did not mean to check.
bool Validate(const Article& article, std::string* reason) {
    const std::string& id = article.messageId;
    std::string text = article.newsgroups + article.subject + article.from + article.date;
    for (const std::string& line : article.bodyLines) text += line;
    if (id.size() < 3 || id.front() != '<' || id.back() != '>' ||
        id.find_first_of(" \t\r\n") != std::string::npos) {
        *reason = "bad message-id '" + id + "'";
    } else if (article.newsgroups.empty() || article.from.empty()) {
        *reason = id + ": newsgroups and from are required";
    } else if (text.find_first_of("\r\n") != std::string::npos) {
        *reason = id + ": a header or a body line holds a line break";
    } else {
        return true;
    }
    return false;
}

void AppendTakeThis(const Article& article, const std::string& now, std::string* out) {
    out->append("TAKETHIS ").append(article.messageId).append("\r\n");
    out->append("Path: vexlo-seed!not-for-mail\r\n");
    out->append("From: ").append(article.from).append("\r\n");
    out->append("Newsgroups: ").append(article.newsgroups).append("\r\n");
    out->append("Subject: ").append(article.subject).append("\r\n");
    out->append("Message-ID: ").append(article.messageId).append("\r\n");
    out->append("Date: ").append(article.date.empty() ? now : article.date).append("\r\n");
    out->append("\r\n");
    for (const std::string& line : article.bodyLines) {
        if (!line.empty() && line.front() == '.') out->push_back('.');
        out->append(line).append("\r\n");
    }
    out->append(".\r\n");
}

// Reads one reply per article; keeps the first refusal.
struct ReplyCounter {
    size_t refused = 0;
    std::string firstRefusal;
    std::string failure;  // the connection broke

    void Run(CLineReader* reader, size_t expected) {
        std::string line;
        for (size_t i = 0; i < expected; ++i) {
            if (!reader->ReadLine(&line)) {
                failure = reader->LastError() + " after " + std::to_string(i) + " replies";
                return;
            }
            if (line.rfind("239 ", 0) == 0) continue;
            if (firstRefusal.empty()) firstRefusal = line;
            ++refused;
            if (line.rfind("4", 0) == 0 && line.rfind("439", 0) != 0) {
                failure = "server ended the feed: " + line;  // 400 and the like
                return;
            }
        }
    }
};

}  // namespace

bool PostArticlesTo(uint16_t port, const std::vector<Article>& articles, std::string* error) {
    std::string where = "server on port " + std::to_string(port);
    auto fail = [&](const std::string& text) {
        if (error != nullptr) *error = where + ": " + text;
        return false;
    };
    std::string reason;
    for (const Article& article : articles) {
        if (!Validate(article, &reason)) return fail(reason);
    }
    CSocketFd socket = ConnectLoopback(port, kFeedAddress, kTimeoutSeconds, &reason);
    if (!socket.IsOpen()) return fail(reason);
    CLineReader reader(socket.Get());
    std::string line;
    if (!reader.ReadLine(&line)) return fail("no greeting: " + reader.LastError());
    if (line.rfind("200", 0) != 0) return fail("refused the feed: " + line);
    if (!SendAll(socket.Get(), "MODE STREAM\r\n", &reason)) return fail(reason);
    if (!reader.ReadLine(&line)) return fail("no reply to MODE STREAM: " + reader.LastError());
    if (line.rfind("203", 0) != 0) {
        return fail("no streaming (is " + std::string(kFeedAddress) +
                    " a peer in incoming.conf?): " + line);
    }

    ReplyCounter replies;
    std::thread replyThread([&] { replies.Run(&reader, articles.size()); });
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

    if (!replies.failure.empty()) return fail(replies.failure);
    if (!sent) return fail(reason);
    if (replies.refused > 0) {
        return fail(std::to_string(replies.refused) + " of " + std::to_string(articles.size()) +
                    " articles refused, first: " + replies.firstRefusal);
    }
    SendAll(socket.Get(), "QUIT\r\n", &reason);
    return true;
}

bool PostArticles(const std::vector<Article>& articles, std::string* error) {
    const InnServer& inn = Inn();
    std::string authError;
    bool authOk = false;
    std::thread auth([&] { authOk = PostArticlesTo(inn.authPort, articles, &authError); });
    std::string anonError;
    bool anonOk = PostArticlesTo(inn.anonPort, articles, &anonError);
    auth.join();
    if (error != nullptr) {
        *error = anonOk ? authError : authOk ? anonError : anonError + "; " + authError;
    }
    return anonOk && authOk;
}

}  // namespace vexlo::test
