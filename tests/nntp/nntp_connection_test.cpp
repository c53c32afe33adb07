// CNntpConnection against a scripted peer: greetings, log-in replies, line
// endings and failures that a real news server does not produce on demand.
#include "nntp/nntp_connection.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/script_peer.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CScriptPeer;

constexpr int kShortTimeoutMs = 300;

// A peer that greets with `greeting` and then waits for the client to leave.
CScriptPeer::Script Greets(std::string greeting) {
    return [greeting](CPeerSession& s) {
        s.Write(greeting);
        s.WaitForClose();
    };
}

// A peer that greets with 200 and then sends `bytes` and waits.
CScriptPeer::Script Serves(std::string bytes) {
    return Greets("200 scripted ready\r\n" + bytes);
}

int ConnectTo(CNntpConnection& conn, const CScriptPeer& peer, int useLogin = 0) {
    return conn.Connect(CScriptPeer::kAddress, peer.Port(), useLogin, "tester", "secret");
}

TEST(NntpConnect, AcceptsGreetings200And201AndKeepsTheBanner) {
    for (const char* greeting : {"200 news.example ready (posting ok)", "201 news.example ready"}) {
        std::string quitLine;
        {
            CScriptPeer peer([&](CPeerSession& s) {
                s.Write(std::string(greeting) + "\r\n");
                quitLine = s.ReadLine();
            });
            CNntpConnection conn;
            ASSERT_EQ(ConnectTo(conn, peer), 1) << conn.GetError();
            EXPECT_EQ(conn.GetBanner(), greeting);
            EXPECT_EQ(conn.GetError(), "");
            EXPECT_NE(conn.GetSocket(), CNntpConnection::kInvalidSocket);
            EXPECT_EQ(conn.Quit(), 0);
            EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
        }
        EXPECT_EQ(quitLine, "QUIT\r\n");
    }
}

TEST(NntpConnect, RejectingGreetingBecomesTheErrorText) {
    CScriptPeer peer(Greets("400 service not available\r\n"));
    CNntpConnection conn;
    EXPECT_EQ(ConnectTo(conn, peer), 0);
    EXPECT_EQ(conn.GetError(), "400 service not available");
    EXPECT_EQ(conn.GetBanner(), "400 service not available");
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
}

TEST(NntpConnect, LongServerLinesAreCutTo252CharactersAndDots) {
    const std::string line300 = "502 " + std::string(296, 'x');
    const std::string line255 = "502 " + std::string(251, 'y');
    const std::string line256 = "502 " + std::string(252, 'z');
    {
        CScriptPeer peer(Greets(line300 + "\r\n"));
        CNntpConnection conn;
        EXPECT_EQ(ConnectTo(conn, peer), 0);
        EXPECT_EQ(conn.GetError(), line300.substr(0, 252) + "...");
        EXPECT_EQ(conn.GetError().size(), 255u);
        EXPECT_EQ(conn.GetBanner(), line300);
    }
    {
        CScriptPeer peer(Greets(line255 + "\r\n"));
        CNntpConnection conn;
        EXPECT_EQ(ConnectTo(conn, peer), 0);
        EXPECT_EQ(conn.GetError(), line255);
    }
    {
        CScriptPeer peer(Greets(line256 + "\r\n"));
        CNntpConnection conn;
        EXPECT_EQ(ConnectTo(conn, peer), 0);
        EXPECT_EQ(conn.GetError(), line256.substr(0, 252) + "...");
    }
}

TEST(NntpConnect, BannerKeepsAtMost511Characters) {
    const std::string greeting = "200 " + std::string(700, 'b');
    CScriptPeer peer(Greets(greeting + "\r\n"));
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    EXPECT_EQ(conn.GetBanner(), greeting.substr(0, 511));
    conn.Quit();
}

TEST(NntpConnect, GreetingWithoutThreeDigitCodeIsUnknown) {
    for (const char* greeting : {"20 short code\r\n", "2000 long code\r\n", "hello\r\n"}) {
        CScriptPeer peer(Greets(greeting));
        CNntpConnection conn;
        EXPECT_EQ(ConnectTo(conn, peer), 0) << greeting;
        EXPECT_EQ(conn.GetError(), "ERROR: Unknown Server Response") << greeting;
        EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    }
}

TEST(NntpConnect, SilentServerTimesOut) {
    CScriptPeer peer([](CPeerSession& s) { s.WaitForClose(); });
    CNntpConnection conn(kShortTimeoutMs);
    EXPECT_EQ(ConnectTo(conn, peer), 0);
    EXPECT_EQ(conn.GetError(),
              "ERROR(" + std::to_string(EAGAIN) + "): No Server Response [CONNECT]");
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
}

TEST(NntpConnect, ServerClosingAtOnceGivesNoServerResponse) {
    CScriptPeer peer([](CPeerSession&) {});
    CNntpConnection conn;
    EXPECT_EQ(ConnectTo(conn, peer), 0);
    EXPECT_EQ(conn.GetError(), "ERROR(0): No Server Response [CONNECT]");
}

TEST(NntpConnect, EmptyGreetingLineGivesNoServerResponse) {
    CScriptPeer peer(Greets("\r\n"));
    CNntpConnection conn;
    EXPECT_EQ(ConnectTo(conn, peer), 0);
    EXPECT_EQ(conn.GetError(), "ERROR(0): No Server Response [CONNECT]");
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
}

TEST(NntpConnect, RefusedConnection) {
    CNntpConnection conn;
    EXPECT_EQ(conn.Connect(CScriptPeer::kAddress, test::UnusedLoopbackPort(), 0, "", ""), 0);
    EXPECT_EQ(conn.GetError(), "ERROR(111): No Connection To Server!");
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
}

// A server that answers USER and PASS with the given lines and records what
// the client sent.
struct LoginServer {
    LoginServer(std::string user, std::string pass)
        : userReply(std::move(user)), passReply(std::move(pass)) {}
    std::string userReply, passReply;
    std::string userLine, passLine;
    CScriptPeer::Script Script() {
        return [this](CPeerSession& s) {
            s.Write("200 ready\r\n");
            userLine = s.ReadLine();
            s.Write(userReply);
            if (userReply.starts_with("381")) {
                passLine = s.ReadLine();
                s.Write(passReply);
            }
            s.WaitForClose();
        };
    }
};

TEST(NntpLogin, UserThenPassSucceedsWith381And281) {
    LoginServer server{"381 Enter password\r\n", "281 Authentication succeeded\r\n"};
    {
        CScriptPeer peer(server.Script());
        CNntpConnection conn;
        ASSERT_EQ(ConnectTo(conn, peer, 1), 1) << conn.GetError();
        EXPECT_EQ(conn.GetError(), "");
        EXPECT_EQ(conn.GetBanner(), "200 ready");
        conn.Quit();
    }
    EXPECT_EQ(server.userLine, "AUTHINFO USER tester\r\n");
    EXPECT_EQ(server.passLine, "AUTHINFO PASS secret\r\n");
}

TEST(NntpLogin, LoginOnlyWhenAskedWithExactlyOne) {
    for (int useLogin : {0, 2, -1}) {
        CScriptPeer peer(Greets("200 ready\r\n"));
        CNntpConnection conn;
        EXPECT_EQ(ConnectTo(conn, peer, useLogin), 1) << useLogin;
        conn.Quit();
    }
}

TEST(NntpLogin, FailuresAndTheirTexts) {
    struct Case {
        const char* userReply;
        const char* passReply;
        const char* error;
    };
    const Case cases[] = {
        // Only 381 leads on to PASS, even a success code.
        {"281 Authentication succeeded\r\n", "", "281 Authentication succeeded"},
        {"481 Authentication failed\r\n", "", "481 Authentication failed"},
        {"38 what\r\n", "", "ERROR: Unknown USER Response"},
        {"381 Enter password\r\n", "482 Authentication commands issued out of sequence\r\n",
         "482 Authentication commands issued out of sequence"},
        {"381 Enter password\r\n", "2810 odd\r\n", "ERROR: Unknown PASS Response"},
        {"381 Enter password\r\n", "\r\n", "ERROR: Logging In (PASS)"},
        {"\r\n", "", "ERROR: Logging In (USER)"},
    };
    for (const Case& c : cases) {
        LoginServer server{c.userReply, c.passReply};
        CScriptPeer peer(server.Script());
        CNntpConnection conn;
        EXPECT_EQ(ConnectTo(conn, peer, 1), 0) << c.error;
        EXPECT_EQ(conn.GetError(), c.error);
        EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    }
}

TEST(NntpLogin, ServerGoneBeforeUserReply) {
    CScriptPeer peer([](CPeerSession& s) {
        s.Write("200 ready\r\n");
        s.ReadLine();
    });
    CNntpConnection conn;
    EXPECT_EQ(ConnectTo(conn, peer, 1), 0);
    EXPECT_EQ(conn.GetError(), "ERROR: Logging In (USER)");
}

TEST(NntpReadLine, RemovesTrailingCarriageReturnsAndLineFeeds) {
    CScriptPeer peer(Serves("abc\r\r\n\r\nbare\ncr only\r\n.\r\n"));
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    EXPECT_EQ(conn.ReadLine(), 3);
    EXPECT_EQ(conn.GetLine(), "abc");
    EXPECT_EQ(conn.ReadLine(), 0);  // an empty line is not the end
    EXPECT_EQ(conn.GetLine(), "");
    EXPECT_EQ(conn.ReadLine(), 4);
    EXPECT_EQ(conn.GetLine(), "bare");
    EXPECT_EQ(conn.ReadLine(), 7);
    EXPECT_EQ(conn.ReadLine(), 1);
    EXPECT_EQ(conn.GetLine(), ".");
    EXPECT_EQ(conn.GetLine().data()[1], '\0');
    conn.Quit();
}

TEST(NntpReadReply, RemovesOnlyAFinalCrLfPair) {
    CScriptPeer peer(Serves("1234567\nabc\r\r\n211 0 1 0 misc.test\r\n"));
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    char reply[CNntpConnection::kReplyBufferSize];
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), 8);
    EXPECT_STREQ(reply, "1234567\n");
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), 4);
    EXPECT_STREQ(reply, "abc\r");
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), 19);
    EXPECT_STREQ(reply, "211 0 1 0 misc.test");
    conn.Quit();
}

TEST(NntpReadReply, SmallBufferLeavesTheRestForTheNextRead) {
    CScriptPeer peer(Serves("abcdefg\r\n"));
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    char reply[5];
    EXPECT_EQ(conn.ReadReply(reply, 1), 0);
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), 4);
    EXPECT_STREQ(reply, "abcd");
    // The CR LF pair is split by the limit, so neither piece loses it.
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), 4);
    EXPECT_STREQ(reply, "efg\r");
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), 1);
    EXPECT_STREQ(reply, "\n");
    conn.Quit();
}

TEST(NntpReadLine, MixesWithReadReplyWithoutLosingBytes) {
    // Everything arrives in one segment; each reader takes only its line.
    CScriptPeer peer(
        Serves("211 2 1 2 alt.test\r\n224 follows\r\n1\tsubj\r\n..dot\r\n.\r\n"
               "211 0 1 0 misc.test\r\n"));
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    char reply[CNntpConnection::kReplyBufferSize];
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), 18);
    EXPECT_EQ(conn.ReadLine(), 11);
    EXPECT_EQ(conn.GetLine(), "224 follows");
    EXPECT_EQ(conn.ReadLine(), 6);
    EXPECT_EQ(conn.GetLine(), "1\tsubj");
    EXPECT_EQ(conn.ReadLine(), 5);
    EXPECT_EQ(conn.GetLine(), "..dot");  // dot-stuffing is left to the caller
    EXPECT_EQ(conn.ReadLine(), 1);
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), 19);
    EXPECT_STREQ(reply, "211 0 1 0 misc.test");
    conn.Quit();
}

TEST(NntpReadLine, SplitsLinesLongerThanTheLimit) {
    const int max = CNntpConnection::kMaxLineLength;
    std::string longLine;
    for (int i = 0; i < 2 * max + 100; ++i) longLine += static_cast<char>('a' + i % 26);
    const std::string exact(max, 'e');
    CScriptPeer peer(Serves(longLine + "\r\n" + exact + "\r\n" + "next\r\n"));
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    EXPECT_EQ(conn.ReadLine(), max);
    EXPECT_EQ(conn.GetLine(), longLine.substr(0, max));
    EXPECT_EQ(conn.ReadLine(), max);
    EXPECT_EQ(conn.GetLine(), longLine.substr(max, max));
    EXPECT_EQ(conn.ReadLine(), 100);
    EXPECT_EQ(conn.GetLine(), longLine.substr(2 * max));
    // A line of exactly the limit: its CR LF comes back as an empty line.
    EXPECT_EQ(conn.ReadLine(), max);
    EXPECT_EQ(conn.ReadLine(), 0);
    EXPECT_EQ(conn.ReadLine(), 4);
    conn.Quit();
}

TEST(NntpReadLine, AssemblesLinesFromManySmallWrites) {
    std::string body;
    for (int i = 0; i < 40; ++i) body += "line " + std::to_string(i) + " of the body\r\n";
    body += ".\r\n";
    CScriptPeer peer([&](CPeerSession& s) {
        s.Write("200 ready\r\n");
        s.WriteInPieces(body, 7);
        s.WaitForClose();
    });
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    for (int i = 0; i < 40; ++i) {
        const std::string expected = "line " + std::to_string(i) + " of the body";
        ASSERT_EQ(conn.ReadLine(), static_cast<int>(expected.size()));
        EXPECT_EQ(conn.GetLine(), expected);
    }
    EXPECT_EQ(conn.ReadLine(), 1);
    conn.Quit();
}

TEST(NntpReadLine, PeerClosingMidLineFailsAndCloses) {
    CScriptPeer peer([](CPeerSession& s) {
        s.Write("200 ready\r\nwhole line\r\nhalf a li");
        s.Close();
    });
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    EXPECT_EQ(conn.ReadLine(), 10);
    EXPECT_EQ(conn.ReadLine(), -1);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_EQ(conn.GetLastReadError(), 0);
    // Further reads fail at once instead of touching a stale handle.
    EXPECT_EQ(conn.ReadLine(), -1);
    char reply[16];
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), -1);
}

TEST(NntpReadLine, SilentServerTimesOutAndCloses) {
    CScriptPeer peer(Serves("first\r\n"));
    CNntpConnection conn(kShortTimeoutMs);
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    EXPECT_EQ(conn.ReadLine(), 5);
    EXPECT_EQ(conn.ReadLine(), -1);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_EQ(conn.GetLastReadError(), EAGAIN);
}

TEST(NntpSend, SendsAsItStandsAndFailsWhenClosed) {
    std::string received;
    {
        CScriptPeer peer([&](CPeerSession& s) {
            s.Write("200 ready\r\n");
            received = s.ReadLine();
            received += s.ReadLine();
        });
        CNntpConnection conn;
        ASSERT_EQ(ConnectTo(conn, peer), 1);
        EXPECT_EQ(conn.Send("GROUP alt.binaries.test\r\n"), 1);
        EXPECT_EQ(conn.GetError(), "");
        conn.Quit();
        EXPECT_EQ(conn.Send("BODY 1\r\n"), 0);
        EXPECT_EQ(conn.GetError(), "Error Sending To Remote Host");
        EXPECT_EQ(conn.Quit(), -1);
    }
    EXPECT_EQ(received, "GROUP alt.binaries.test\r\nQUIT\r\n");
}

TEST(NntpConnect, ReconnectStartsWithAnEmptyBuffer) {
    // Bytes left unread from the first connection must not leak into the next.
    CScriptPeer peer(
        [n = 0](CPeerSession& s) mutable {
            s.Write(++n == 1 ? "200 first\r\nleftover\r\n" : "200 second\r\nfresh\r\n");
            s.WaitForClose();
        },
        2);
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    conn.Quit();
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    EXPECT_EQ(conn.GetBanner(), "200 second");
    EXPECT_EQ(conn.ReadLine(), 5);
    EXPECT_EQ(conn.GetLine(), "fresh");
    conn.Quit();
}

}  // namespace
}  // namespace vexlo
