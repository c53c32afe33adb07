// CNntpConnection against the real INN servers of the test fixture: one walk
// (greeting, login, GROUP, pipelined BODY, QUIT) in plain text, over NNTPS and
// over STARTTLS, through every certificate check that opens or refuses the
// connection; the login passing only encrypted; and a connection cut in the
// middle of a response.
#include <gtest/gtest.h>

#include <map>
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

// The lines of a multi-line block up to ".", as they came (still stuffed).
std::vector<std::string> ReadBlock(CNntpConnection& conn) {
    std::vector<std::string> lines;
    while (conn.ReadLine() >= 0 && conn.GetLine() != ".") lines.emplace_back(conn.GetLine());
    return lines;
}

// A group of this run's own with two articles of the same long body, which
// opens with the lines dot-stuffing changes, posted once for all tests.
struct Posted {
    std::string group;
    std::vector<std::string> body, stuffed;  // as posted; as sent on the wire
};
const Posted& TestGroup() {
    static const Posted posted = [] {
        Posted p{test::CreateUniqueGroup("alt.binaries.test.nntpconn"),
                 {"begin 644 test.bin", ".", "..two dots", ".leading dot", ""},
                 {"begin 644 test.bin", "..", "...two dots", "..leading dot", ""}};
        for (int i = 0; i < 3000; ++i) {
            p.body.push_back("M" + std::string(60, static_cast<char>('A' + i % 26)));
            p.stuffed.push_back(p.body.back());
        }
        std::vector<test::Article> articles;
        for (int i = 1; i <= 2; ++i)
            articles.push_back({test::UniqueMessageId("nntpconn"), p.group,
                                "connection test " + std::to_string(i), "T <t@x>", "", p.body});
        std::string error;
        EXPECT_TRUE(!p.group.empty() && test::PostArticles(articles, &error)) << error;
        return p;
    }();
    return posted;
}

TEST(NntpConnectionInn, OneWalkInPlainTextOverNntpsAndOverStartTls) {
    ASSERT_NE(Inn().anonTlsPort, 0) << "the INN fixture was started without its TLS ports";
    const Posted& posted = TestGroup();
    // {TLS settings (the mode comes from the loop), password ("": no login),
    // error ("" when it opens)}. The fixture's certificate reads as
    // self-signed until its authority is trusted; verification is on unless
    // turned off. In plain text the certificate settings do not matter.
    const std::string otherName = "TLS: certificate does not match the host name: wrong.vexlo.test";
    const struct {
        TlsSettings tls;
        std::string password, error;
    } checks[] = {
        {{.caFile = "", .hostName = ""},
         "",
         "TLS: certificate not trusted (self-signed): 127.0.0.1"},
        {{.caFile = Inn().caFile, .hostName = ""}, "", ""},
        {{.caFile = Inn().caFile, .hostName = test::kInnTlsHost}, "", ""},
        {{.caFile = Inn().caFile, .hostName = "localhost"}, "", ""},
        {{.caFile = Inn().caFile, .hostName = "wrong.vexlo.test"}, "", otherName},
        {{.verify = false, .caFile = "", .hostName = "wrong.vexlo.test"}, "", ""},
        {{.caFile = "/no/such/ca.pem", .hostName = ""},
         "",
         "TLS: CA file cannot be read: /no/such/ca.pem"},
        {{.caFile = Inn().caFile, .hostName = ""}, "secret", ""},
        {{.caFile = Inn().caFile, .hostName = ""}, "wrong", "481 Authentication failed"},
    };
    // The plain-text logins go through a relay that notes what it can read.
    test::CNntpRelay loginRelay(Inn().authPort);
    for (const int mode : {kTlsNone, kTlsImplicit, kTlsStartTls}) {
        for (auto check : checks) {
            check.tls.mode = mode;
            if (mode == kTlsNone && check.error.starts_with("TLS: ")) check.error = "";
            SCOPED_TRACE("mode " + std::to_string(mode) + ", " + check.tls.caFile + ", " +
                         check.tls.hostName + ", " + check.password);
            const bool login = !check.password.empty();
            const uint16_t port = mode == kTlsImplicit
                                      ? (login ? Inn().authTlsPort : Inn().anonTlsPort)
                                      : (login ? loginRelay.Port() : Inn().anonPort);
            CNntpConnection conn;
            conn.SetTls(check.tls);
            EXPECT_EQ(conn.Connect(kLoopback, port, login ? 1 : 0, "tester", check.password),
                      check.error.empty() ? 1 : 0);
            EXPECT_EQ(conn.GetError(), check.error);
            EXPECT_EQ(conn.IsTlsRefused(), check.error.starts_with("TLS: "));
            if (!check.error.empty()) continue;
            EXPECT_EQ(conn.IsEncrypted(), mode != kTlsNone);
            EXPECT_TRUE(conn.GetBanner().starts_with("200 ")) << conn.GetBanner();
            char reply[CNntpConnection::kReplyBufferSize];
            ASSERT_TRUE(conn.Send("GROUP " + posted.group + "\r\n"));
            ASSERT_GT(conn.ReadReply(reply, sizeof reply), 0);
            EXPECT_EQ(std::string(reply), "211 2 1 2 " + posted.group);
            // Two BODY commands at once, as downloads pipeline them. The lines
            // come as sent on the wire: dot-stuffed, not undone here.
            ASSERT_TRUE(conn.Send("BODY 1\r\nBODY 2\r\n"));
            for (int article = 1; article <= 2; ++article) {
                EXPECT_TRUE(conn.ReadLine() > 0 && ReplyCode(conn.GetLine()) == 222);
                EXPECT_TRUE(ReadBlock(conn) == posted.stuffed) << "article " << article;
            }
            EXPECT_EQ(conn.Quit(), 0);
        }
    }
    // The relay read the plain-text logins (connections 1 and 2); of the
    // STARTTLS ones (3 and 4) nothing but the command itself.
    std::map<std::string, std::string> seen;
    for (const std::string& line : loginRelay.Commands())
        seen[line.substr(0, line.find(' '))] += line.substr(line.find(' ') + 1) + "\n";
    EXPECT_TRUE(seen["1"].starts_with("AUTHINFO USER tester\nAUTHINFO PASS secret\n")) << seen["1"];
    for (const char* connection : {"3", "4"}) {
        EXPECT_TRUE(seen[connection].starts_with("STARTTLS\n")) << seen[connection];
        EXPECT_EQ(seen[connection].find("AUTHINFO"), std::string::npos) << seen[connection];
    }
}

TEST(NntpConnectionInn, ConnectionCutMidResponseFailsAndCloses) {
    const Posted& posted = TestGroup();
    test::CNntpRelay relay(Inn().anonPort);
    relay.Arm(1, 50000, test::CNntpRelay::Action::kCut);  // well inside the body
    CNntpConnection conn;
    ASSERT_EQ(conn.Connect(kLoopback, relay.Port(), 0, "", ""), 1) << conn.GetError();
    ASSERT_TRUE(conn.Send("GROUP " + posted.group + "\r\nBODY 1\r\n"));
    for (const int status : {211, 222})
        ASSERT_TRUE(conn.ReadLine() > 0 && ReplyCode(conn.GetLine()) == status);
    size_t lines = 0;
    int n = 0;
    while ((n = conn.ReadLine()) >= 0) {
        ASSERT_NE(conn.GetLine(), ".") << "the whole body came through the relay";
        ASSERT_EQ(conn.GetLine(), posted.stuffed[lines]) << "line " << lines;
        ++lines;
    }
    EXPECT_EQ(n, -1);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_EQ(conn.GetLastReadError(), 0);
    EXPECT_GT(lines, 500u);
    EXPECT_LT(lines, posted.body.size());
    // Further reads fail at once instead of touching a stale handle.
    EXPECT_EQ(conn.ReadLine(), -1);
    char reply[16];
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), -1);
}

}  // namespace
}  // namespace vexlo
