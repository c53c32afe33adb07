// CNntpConnection against a scripted peer: greetings, log-in replies, line
// endings and failures that a real news server does not produce on demand.
#include "nntp/nntp_connection.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "support/script_peer.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CScriptPeer;

// A peer that sends `bytes` (a greeting and more) and waits for the client to leave.
CScriptPeer::Script Sends(std::string bytes) {
    return [bytes](CPeerSession& s) {
        s.Write(bytes);
        s.WaitForClose();
    };
}

int ConnectTo(CNntpConnection& conn, const CScriptPeer& peer, int useLogin = 0) {
    return conn.Connect(CScriptPeer::kAddress, peer.Port(), useLogin, "tester", "secret");
}

TEST(NntpConnect, GreetingsThatOpenTheConnection) {
    const std::string long200 = "200 " + std::string(700, 'b');
    // {greeting, banner}: the banner keeps at most 511 characters; login only
    // when asked with exactly 1.
    for (const auto& [greeting, banner] :
         {std::pair<std::string, std::string>{"201 news.example ready", "201 news.example ready"},
          {long200, long200.substr(0, 511)}}) {
        for (int useLogin : {0, 2, -1}) {
            CScriptPeer peer(Sends(greeting + "\r\n"));
            CNntpConnection conn;
            ASSERT_EQ(ConnectTo(conn, peer, useLogin), 1) << conn.GetError();
            EXPECT_EQ(conn.GetBanner(), banner);
            EXPECT_EQ(conn.GetError(), "");
            conn.Quit();
        }
    }
}

TEST(NntpConnect, FailedGreetingsAndTheirTexts) {
    const std::string line300 = "502 " + std::string(296, 'x');
    const std::string line255 = "502 " + std::string(251, 'y');
    const std::string line256 = "502 " + std::string(252, 'z');
    const std::string noResponse = "ERROR(0): No Server Response [CONNECT]";
    // {bytes sent ("": silence; nullopt: closes at once), error text}; error
    // texts are cut to 252 characters and "...".
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"400 service not available\r\n", "400 service not available"},
        {line300 + "\r\n", line300.substr(0, 252) + "..."},
        {line255 + "\r\n", line255},
        {line256 + "\r\n", line256.substr(0, 252) + "..."},
        {"20 short code\r\n", "ERROR: Unknown Server Response"},
        {"2000 long code\r\n", "ERROR: Unknown Server Response"},
        {"hello\r\n", "ERROR: Unknown Server Response"},
        {"\r\n", noResponse},
        {std::nullopt, noResponse},
        {"", "ERROR(" + std::to_string(EAGAIN) + "): No Server Response [CONNECT]"},
    };
    for (const auto& [bytes, error] : cases) {
        SCOPED_TRACE(bytes.value_or("(closed)"));
        CScriptPeer peer(bytes ? Sends(*bytes) : [](CPeerSession&) {});
        CNntpConnection conn(300);
        EXPECT_EQ(ConnectTo(conn, peer), 0);
        EXPECT_EQ(conn.GetError(), error);
        EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
        if (bytes && bytes->starts_with("502 x")) {
            EXPECT_EQ(conn.GetBanner(), line300);  // the banner is not cut
        }
    }
    CNntpConnection conn;
    EXPECT_EQ(conn.Connect(CScriptPeer::kAddress, test::UnusedLoopbackPort(), 0, "", ""), 0);
    EXPECT_EQ(conn.GetError(), "ERROR(111): No Connection To Server!");
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

TEST(NntpLogin, RepliesToUserAndPass) {
    // {USER reply, PASS reply, error ("" for success)}; only 381 leads on to
    // PASS, even a success code.
    const struct {
        const char *userReply, *passReply, *error;
    } cases[] = {
        {"381 Enter password\r\n", "281 Authentication succeeded\r\n", ""},
        {"281 Authentication succeeded\r\n", "", "281 Authentication succeeded"},
        {"481 Authentication failed\r\n", "", "481 Authentication failed"},
        {"38 what\r\n", "", "ERROR: Unknown USER Response"},
        {"381 Enter password\r\n", "482 Authentication commands issued out of sequence\r\n",
         "482 Authentication commands issued out of sequence"},
        {"381 Enter password\r\n", "2810 odd\r\n", "ERROR: Unknown PASS Response"},
        {"381 Enter password\r\n", "\r\n", "ERROR: Logging In (PASS)"},
        {"\r\n", "", "ERROR: Logging In (USER)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        std::string sent;
        {
            CScriptPeer peer([&](CPeerSession& s) {
                s.Write("200 ready\r\n");
                sent = s.ReadLine();
                s.Write(c.userReply);
                if (std::string(c.userReply).starts_with("381")) {
                    sent += s.ReadLine();
                    s.Write(c.passReply);
                }
                s.WaitForClose();
            });
            CNntpConnection conn;
            EXPECT_EQ(ConnectTo(conn, peer, 1), *c.error ? 0 : 1);
            EXPECT_EQ(conn.GetError(), c.error);
            EXPECT_EQ(conn.GetSocket() != CNntpConnection::kInvalidSocket, !*c.error);
            conn.Quit();
        }
        if (!*c.error) {
            EXPECT_EQ(sent, "AUTHINFO USER tester\r\nAUTHINFO PASS secret\r\n");
        }
    }
}

TEST(NntpReadLine, LineEndsLongLinesAndMixingWithReadReply) {
    const int max = CNntpConnection::kMaxLineLength;
    std::string longLine;
    for (int i = 0; i < 2 * max + 100; ++i) longLine += static_cast<char>('a' + i % 26);
    // Everything arrives at once; each reader takes only its line.
    CScriptPeer peer(
        Sends("200 ready\r\nabc\r\r\n\r\nbare\n1234567\nabc\r\r\nabcdefg\r\n..dot\r\n.\r\n" +
              longLine + "\r\n" + std::string(max, 'e') + "\r\nnext\r\n"));
    CNntpConnection conn;
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    EXPECT_EQ(conn.ReadLine(), 3);
    EXPECT_EQ(conn.GetLine(), "abc");
    EXPECT_EQ(conn.ReadLine(), 0);  // an empty line is not the end
    EXPECT_EQ(conn.ReadLine(), 4);
    EXPECT_EQ(conn.GetLine(), "bare");
    // ReadReply removes only a final CR LF pair; a small buffer leaves the
    // rest for the next read, and a CR LF pair split by it is lost by neither.
    char reply[CNntpConnection::kReplyBufferSize];
    EXPECT_EQ(conn.ReadReply(reply, 1), 0);
    for (const auto& [capacity, piece] :
         {std::pair{768, "1234567\n"}, {768, "abc\r"}, {5, "abcd"}, {5, "efg\r"}, {5, "\n"}}) {
        EXPECT_EQ(conn.ReadReply(reply, capacity), static_cast<int>(strlen(piece)));
        EXPECT_STREQ(reply, piece);
    }
    EXPECT_EQ(conn.ReadLine(), 5);
    EXPECT_EQ(conn.GetLine(), "..dot");  // dot-stuffing is left to the caller
    EXPECT_EQ(conn.ReadLine(), 1);
    EXPECT_EQ(conn.GetLine().data()[1], '\0');
    // Longer than the limit: in pieces; exactly the limit: its CR LF comes
    // back as an empty line.
    for (const std::string& piece :
         {longLine.substr(0, max), longLine.substr(max, max), longLine.substr(2 * max),
          std::string(max, 'e'), std::string(), std::string("next")}) {
        ASSERT_EQ(conn.ReadLine(), static_cast<int>(piece.size()));
        EXPECT_EQ(conn.GetLine(), piece);
    }
    conn.Quit();
}

TEST(NntpReadLine, AssemblesLinesFromManySmallWritesAndTimesOutOnSilence) {
    std::string body;
    for (int i = 0; i < 40; ++i) body += "line " + std::to_string(i) + " of the body\r\n";
    CScriptPeer peer([&](CPeerSession& s) {
        s.Write("200 ready\r\n");
        s.WriteInPieces(body + ".\r\n", 7);
        s.WaitForClose();
    });
    CNntpConnection conn(300);
    ASSERT_EQ(ConnectTo(conn, peer), 1);
    for (int i = 0; i < 40; ++i) {
        ASSERT_GT(conn.ReadLine(), 0);
        EXPECT_EQ(conn.GetLine(), "line " + std::to_string(i) + " of the body");
    }
    EXPECT_EQ(conn.ReadLine(), 1);
    // Then the server falls silent: the read times out and closes.
    EXPECT_EQ(conn.ReadLine(), -1);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_EQ(conn.GetLastReadError(), EAGAIN);
}

}  // namespace
}  // namespace vexlo
