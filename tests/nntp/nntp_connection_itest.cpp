// CNntpConnection against the real INN servers of the test fixture: greeting,
// login, the lines of GROUP, XOVER, BODY and LIST, QUIT, and a connection cut
// in the middle of a response.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/number_readers.h"
#include "nntp/nntp_connection.h"
#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "support/test_data.h"

namespace vexlo {
namespace {
using test::Inn;

constexpr uint32_t kLoopback = 0x7F000001;

// Sends a command; the status line ("" when the connection failed).
std::string Command(CNntpConnection& conn, const std::string& command) {
    return conn.Send(command + "\r\n") && conn.ReadLine() > 0 ? std::string(conn.GetLine()) : "";
}

// The lines of a multi-line block up to ".", as they came (still stuffed).
std::vector<std::string> ReadBlock(CNntpConnection& conn) {
    std::vector<std::string> lines;
    while (conn.ReadLine() >= 0 && conn.GetLine() != ".") lines.emplace_back(conn.GetLine());
    return lines;
}

// A group of this run's own with `count` articles whose bodies are `body`.
std::string PostGroup(const std::string& tag, int count, const std::vector<std::string>& body) {
    const std::string group = test::CreateUniqueGroup("alt.binaries.test.nntp" + tag);
    std::vector<test::Article> articles;
    for (int i = 1; i <= count; ++i)
        articles.push_back({test::UniqueMessageId("nntpconn"), group,
                            "connection test " + tag + " " + std::to_string(i), "T <t@x>", "",
                            body});
    std::string error;
    EXPECT_TRUE(!group.empty() && test::PostArticles(articles, &error)) << error;
    return group;
}

TEST(NntpConnectionInn, AnonymousConnectKeepsGreetingAsBannerAndQuitCloses) {
    CNntpConnection conn;
    ASSERT_EQ(conn.Connect(kLoopback, Inn().anonPort, 0, "", ""), 1) << conn.GetError();
    EXPECT_EQ(ReplyCode(conn.GetBanner()), 200) << conn.GetBanner();
    EXPECT_NE(conn.GetBanner().find("INN"), std::string_view::npos);
    EXPECT_EQ(conn.GetError(), "");
    EXPECT_EQ(conn.Quit(), 0);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_EQ(conn.Send("DATE\r\n"), 0);
    EXPECT_EQ(conn.GetError(), "Error Sending To Remote Host");
    EXPECT_EQ(conn.Quit(), -1);
}

TEST(NntpConnectionInn, LoginWithGoodAndBadPassword) {
    CNntpConnection conn;
    ASSERT_EQ(conn.Connect(kLoopback, Inn().authPort, 1, "tester", "secret"), 1) << conn.GetError();
    EXPECT_EQ(Command(conn, "GROUP alt.binaries.test").substr(0, 4), "211 ");
    conn.Quit();
    EXPECT_EQ(conn.Connect(kLoopback, Inn().authPort, 1, "tester", "wrong"), 0);
    EXPECT_EQ(conn.GetError(), "481 Authentication failed");
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    // Without logging in the server greets, then refuses commands.
    ASSERT_EQ(conn.Connect(kLoopback, Inn().authPort, 0, "", ""), 1) << conn.GetError();
    EXPECT_EQ(Command(conn, "GROUP alt.binaries.test").substr(0, 4), "480 ");
    conn.Quit();
}

TEST(NntpConnectionInn, ReadsGroupXoverBodyAndListLines) {
    const std::vector<std::string> body = {
        "begin 644 test.bin", ".", "..two dots", ".leading dot", "", std::string(900, 'L'), "end"};
    const std::string group = PostGroup("r", 3, body);
    CNntpConnection conn;
    ASSERT_EQ(conn.Connect(kLoopback, Inn().anonPort, 0, "", ""), 1) << conn.GetError();
    char reply[CNntpConnection::kReplyBufferSize];
    ASSERT_TRUE(conn.Send("GROUP " + group + "\r\n"));
    ASSERT_GT(conn.ReadReply(reply, sizeof reply), 0);
    EXPECT_EQ(std::string(reply), "211 3 1 3 " + group);

    EXPECT_EQ(ReplyCode(Command(conn, "XOVER 1-3")), 224);
    const std::vector<std::string> overview = ReadBlock(conn);
    ASSERT_EQ(overview.size(), 3u);
    for (size_t i = 0; i < overview.size(); ++i) {
        const std::vector<std::string> fields = test::SplitTabs(overview[i]);
        ASSERT_GE(fields.size(), 8u) << overview[i];
        EXPECT_EQ(fields[0], std::to_string(i + 1));
        EXPECT_EQ(fields[1], "connection test r " + std::to_string(i + 1));
        EXPECT_EQ(fields[7], std::to_string(body.size()));  // line count
    }
    // The lines come as sent on the wire: dot-stuffed, not undone here.
    const std::vector<std::string> stuffed = {
        "begin 644 test.bin", "..", "...two dots", "..leading dot", "", body[5], "end"};
    for (int article = 1; article <= 3; ++article) {
        EXPECT_EQ(ReplyCode(Command(conn, "BODY " + std::to_string(article))), 222);
        EXPECT_EQ(ReadBlock(conn), stuffed) << "article " << article;
    }
    EXPECT_EQ(ReplyCode(Command(conn, "BODY 999")), 423);

    EXPECT_EQ(ReplyCode(Command(conn, "LIST")), 215);
    bool listed = false;
    for (const std::string& line : ReadBlock(conn))
        listed = listed || line.starts_with(group + " ");
    EXPECT_TRUE(listed);
    EXPECT_EQ(conn.Quit(), 0);
}

TEST(NntpConnectionInn, ConnectionCutMidResponseFailsAndCloses) {
    std::vector<std::string> body;
    for (int i = 0; i < 3000; ++i)
        body.push_back("M" + std::string(60, static_cast<char>('A' + i % 26)));
    const std::string group = PostGroup("c", 1, body);

    test::CNntpRelay relay(Inn().anonPort);
    relay.Arm(1, 50000, test::CNntpRelay::Action::kCut);  // well inside the body
    CNntpConnection conn;
    ASSERT_EQ(conn.Connect(kLoopback, relay.Port(), 0, "", ""), 1) << conn.GetError();
    ASSERT_EQ(Command(conn, "GROUP " + group).substr(0, 4), "211 ");
    ASSERT_EQ(ReplyCode(Command(conn, "BODY 1")), 222);
    size_t lines = 0;
    int n = 0;
    while ((n = conn.ReadLine()) >= 0) {
        ASSERT_NE(conn.GetLine(), ".") << "the whole body came through the relay";
        ASSERT_EQ(conn.GetLine(), body[lines]) << "line " << lines;
        ++lines;
    }
    EXPECT_EQ(n, -1);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_EQ(conn.GetLastReadError(), 0);
    EXPECT_GT(lines, 500u);
    EXPECT_LT(lines, body.size());
    // Further reads fail at once instead of touching a stale handle.
    EXPECT_EQ(conn.ReadLine(), -1);
    char reply[16];
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), -1);
}

}  // namespace
}  // namespace vexlo
