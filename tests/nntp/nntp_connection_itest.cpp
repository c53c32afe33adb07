// CNntpConnection against the real INN servers of the test fixture: greeting,
// login, the lines of GROUP, XOVER, BODY and LIST, QUIT, and a connection cut
// in the middle of a response.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/number_readers.h"
#include "nntp/address.h"
#include "nntp/nntp_connection.h"
#include "support/inn_fixture.h"
#include "support/test_data.h"

namespace vexlo {
namespace {
using test::SplitTabs;

using test::Inn;

uint32_t InnAddress() {
    uint32_t address = 0;
    EXPECT_EQ(ParseDottedAddress(Inn().host, &address), 1);
    return address;
}

std::string Reply(CNntpConnection& conn, const std::string& command) {
    if (!conn.Send(command)) return "";
    char reply[CNntpConnection::kReplyBufferSize];
    return conn.ReadReply(reply, sizeof reply) > 0 ? reply : "";
}

// Reads the lines of a multi-line block up to ".", as they came (still stuffed).
std::vector<std::string> ReadBlock(CNntpConnection& conn) {
    std::vector<std::string> lines;
    for (;;) {
        const int n = conn.ReadLine();
        if (n < 0) {
            ADD_FAILURE() << "connection failed inside a block";
            return lines;
        }
        if (conn.GetLine() == ".") return lines;
        lines.emplace_back(conn.GetLine());
    }
}

// A group of this test run's own, with `count` articles whose bodies hold
// `bodyLines`.
struct PostedGroup {
    std::string name;
    std::vector<std::string> subjects;
};

PostedGroup PostGroup(const std::string& tag, int count, const std::vector<std::string>& body) {
    PostedGroup group;
    group.name = test::CreateUniqueGroup("alt.binaries.test.nntp" + tag);
    EXPECT_FALSE(group.name.empty());
    std::vector<test::Article> articles;
    for (int i = 1; i <= count; ++i) {
        test::Article a;
        a.messageId = test::UniqueMessageId("nntpconn");
        a.newsgroups = group.name;
        a.subject =
            "connection test " + tag + " (" + std::to_string(i) + "/" + std::to_string(count) + ")";
        a.from = "Test Poster <poster@example.com>";
        a.bodyLines = body;
        group.subjects.push_back(a.subject);
        articles.push_back(a);
    }
    std::string error;
    EXPECT_TRUE(test::PostArticles(articles, &error)) << error;
    return group;
}

TEST(NntpConnectionInn, AnonymousConnectKeepsGreetingAsBanner) {
    CNntpConnection conn;
    ASSERT_EQ(conn.Connect(InnAddress(), Inn().anonPort, 0, "", ""), 1) << conn.GetError();
    EXPECT_EQ(ReplyCode(conn.GetBanner()), 200) << conn.GetBanner();
    EXPECT_NE(conn.GetBanner().find("INN"), std::string_view::npos);
    EXPECT_EQ(conn.GetError(), "");
    EXPECT_EQ(Reply(conn, "MODE READER\r\n").substr(0, 2), "20");
    EXPECT_EQ(conn.Quit(), 0);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_EQ(conn.Send("DATE\r\n"), 0);
}

TEST(NntpConnectionInn, LoginWithGoodAndBadPassword) {
    {
        CNntpConnection conn;
        ASSERT_EQ(conn.Connect(InnAddress(), Inn().authPort, 1, "tester", "secret"), 1)
            << conn.GetError();
        EXPECT_EQ(conn.GetError(), "");
        EXPECT_EQ(Reply(conn, "GROUP alt.binaries.test\r\n").substr(0, 4), "211 ");
        conn.Quit();
    }
    {
        CNntpConnection conn;
        EXPECT_EQ(conn.Connect(InnAddress(), Inn().authPort, 1, "tester", "wrong"), 0);
        EXPECT_EQ(conn.GetError(), "481 Authentication failed");
        EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    }
    {
        // Without logging in the server greets, then refuses commands.
        CNntpConnection conn;
        ASSERT_EQ(conn.Connect(InnAddress(), Inn().authPort, 0, "", ""), 1) << conn.GetError();
        EXPECT_EQ(Reply(conn, "GROUP alt.binaries.test\r\n").substr(0, 4), "480 ");
        conn.Quit();
    }
}

TEST(NntpConnectionInn, ReadsGroupXoverBodyAndListLines) {
    const std::vector<std::string> body = {
        "begin 644 test.bin",
        ".",
        "..two dots",
        ".leading dot",
        "",
        std::string(900, 'L'),
        "M86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7I!0D-$149'2$E*2TQ-3D]045)3",
        "end"};
    const PostedGroup group = PostGroup("r", 3, body);

    CNntpConnection conn;
    ASSERT_EQ(conn.Connect(InnAddress(), Inn().anonPort, 0, "", ""), 1) << conn.GetError();

    const std::string groupReply = Reply(conn, "GROUP " + group.name + "\r\n");
    ASSERT_EQ(groupReply, "211 3 1 3 " + group.name);

    ASSERT_TRUE(conn.Send("XOVER 1-3\r\n"));
    ASSERT_GT(conn.ReadLine(), 0);
    EXPECT_EQ(ReplyCode(conn.GetLine()), 224) << conn.GetLine();
    const std::vector<std::string> overview = ReadBlock(conn);
    ASSERT_EQ(overview.size(), 3u);
    for (size_t i = 0; i < overview.size(); ++i) {
        const std::vector<std::string> fields = SplitTabs(overview[i]);
        ASSERT_GE(fields.size(), 8u) << overview[i];
        EXPECT_EQ(fields[0], std::to_string(i + 1));
        EXPECT_EQ(fields[1], group.subjects[i]);
        EXPECT_EQ(fields[7], std::to_string(body.size()));  // line count
    }

    for (int article = 1; article <= 3; ++article) {
        ASSERT_TRUE(conn.Send("BODY " + std::to_string(article) + "\r\n"));
        ASSERT_GT(conn.ReadLine(), 0);
        EXPECT_EQ(ReplyCode(conn.GetLine()), 222) << conn.GetLine();
        const std::vector<std::string> lines = ReadBlock(conn);
        // The lines come as sent on the wire: dot-stuffed, not undone here.
        const std::vector<std::string> expected = {
            "begin 644 test.bin",  "..",    "...two dots", "..leading dot", "",
            std::string(900, 'L'), body[6], "end"};
        EXPECT_EQ(lines, expected) << "article " << article;
    }

    ASSERT_TRUE(conn.Send("BODY 999\r\n"));
    ASSERT_GT(conn.ReadLine(), 0);
    EXPECT_EQ(ReplyCode(conn.GetLine()), 423) << conn.GetLine();

    ASSERT_TRUE(conn.Send("LIST\r\n"));
    ASSERT_GT(conn.ReadLine(), 0);
    EXPECT_EQ(ReplyCode(conn.GetLine()), 215) << conn.GetLine();
    bool listed = false;
    for (const std::string& line : ReadBlock(conn))
        listed = listed || line.starts_with(group.name + " ");
    EXPECT_TRUE(listed);

    EXPECT_EQ(conn.Quit(), 0);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
}

// Forwards one client connection to the news server and closes both sides once
// `cutAfter` bytes have come back from the server.
class CCuttingRelay {
  public:
    CCuttingRelay(uint16_t serverPort, size_t cutAfter) {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            throw std::runtime_error("relay: cannot listen");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, serverPort, cutAfter] { Run(serverPort, cutAfter); });
    }
    ~CCuttingRelay() {
        thread_.join();
        close(listener_);
    }
    uint16_t Port() const { return port_; }
    size_t Forwarded() const { return forwarded_; }

  private:
    void Run(uint16_t serverPort, size_t cutAfter) {
        pollfd lp{listener_, POLLIN, 0};
        if (poll(&lp, 1, 10000) != 1) return;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(serverPort);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (client >= 0 && server >= 0 &&
            connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            char buf[4096];
            for (size_t total = 0; total < cutAfter;) {
                pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
                if (poll(p, 2, 10000) < 1) break;
                if (p[0].revents != 0) {
                    const ssize_t n = recv(client, buf, sizeof buf, 0);
                    if (n <= 0 || send(server, buf, static_cast<size_t>(n), MSG_NOSIGNAL) != n)
                        break;
                }
                if (p[1].revents != 0) {
                    const size_t want = std::min(sizeof buf, cutAfter - total);
                    const ssize_t n = recv(server, buf, want, 0);
                    if (n <= 0 || send(client, buf, static_cast<size_t>(n), MSG_NOSIGNAL) != n)
                        break;
                    total += static_cast<size_t>(n);
                    forwarded_ = total;
                }
            }
        }
        if (server >= 0) close(server);
        if (client >= 0) close(client);
    }

    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<size_t> forwarded_{0};
    std::thread thread_;
};

TEST(NntpConnectionInn, ConnectionCutMidResponseFailsAndCloses) {
    std::vector<std::string> body;
    for (int i = 0; i < 3000; ++i)
        body.push_back("M" + std::string(60, static_cast<char>('A' + i % 26)));
    const PostedGroup group = PostGroup("c", 1, body);

    // The cut falls inside the body, well after greeting and status lines.
    CCuttingRelay relay(Inn().anonPort, 50000);
    CNntpConnection conn;
    ASSERT_EQ(conn.Connect(INADDR_LOOPBACK, relay.Port(), 0, "", ""), 1)
        << conn.GetError() << " / " << conn.GetBanner();
    ASSERT_EQ(Reply(conn, "GROUP " + group.name + "\r\n").substr(0, 4), "211 ");
    ASSERT_TRUE(conn.Send("BODY 1\r\n"));
    ASSERT_GT(conn.ReadLine(), 0);
    ASSERT_EQ(ReplyCode(conn.GetLine()), 222) << conn.GetLine();
    size_t lines = 0;
    int n = 0;
    while ((n = conn.ReadLine()) >= 0) {
        ASSERT_NE(conn.GetLine(), ".") << "the whole body came through the relay";
        ASSERT_EQ(conn.GetLine(), body[lines]) << "line " << lines;
        ++lines;
    }
    EXPECT_EQ(n, -1);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_GT(lines, 500u);
    EXPECT_LT(lines, body.size());
}

}  // namespace
}  // namespace vexlo
