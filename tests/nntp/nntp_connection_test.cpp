// CNntpConnection against scripted peers: greetings, log-in replies, line
// endings and failures that a real news server does not produce on demand;
// the line rules in plain text and on the decrypted stream alike; STARTTLS
// that a server refuses or answers with injected clear text, and TLS
// handshakes that fail. (The certificate checks against the real server:
// nntp_connection_itest.cpp.)
#include "nntp/nntp_connection.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "support/script_peer.h"
#include "support/tls_peer.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CScriptPeer;

// Connects in `mode`, trusting the peers' certificate for "localhost".
int ConnectTo(CNntpConnection& conn, const CScriptPeer& peer, int useLogin = 0,
              int mode = kTlsNone) {
    conn.SetTls(
        {.mode = mode, .caFile = test::SelfSignedLocalhost().pemPath, .hostName = "localhost"});
    return conn.Connect(CScriptPeer::kAddress, peer.Port(), useLogin, "tester", "secret");
}

TEST(NntpConnect, GreetingsLoginRepliesAndTheirTexts) {
    const std::string long200 = "200 " + std::string(700, 'b');
    const std::string line255 = "502 " + std::string(251, 'y');
    const std::string line256 = "502 " + std::string(252, 'z');
    const std::string unknown = "ERROR: Unknown Server Response";
    const std::string noResponse = "ERROR(0): No Server Response [CONNECT]";
    const std::string ready = "200 ready\r\n", pass = ready + "381 Enter password\r\n";
    // {bytes sent ("": silence; nullopt: closes at once), useLogin, banner,
    // error ("" when the connection opens)}. The banner keeps at most 511
    // characters and is never cut like the error text (252 characters and
    // "..."). The login only when asked with exactly 1; only 381 leads on to
    // PASS, even a success code. One connection object serves all: bytes left
    // unread must not leak into the next banner.
    const struct {
        std::optional<std::string> bytes;
        int useLogin;
        std::string banner, error;
    } cases[] = {
        {"201 news.example ready\r\nleftover\r\n", 2, "201 news.example ready", ""},
        {long200 + "\r\nleftover\r\n", -1, long200.substr(0, 511), ""},
        {"400 service not available\r\n", 0, "400 service not available",
         "400 service not available"},
        {line255 + "\r\n", 0, line255, line255},
        {line256 + "\r\n", 0, line256, line256.substr(0, 252) + "..."},
        {"2000 long code\r\n", 0, "2000 long code", unknown},  // codes: NumberReaders' tests
        {"\r\n", 0, "", noResponse},
        {std::nullopt, 0, "", noResponse},
        {"", 0, "", "ERROR(" + std::to_string(EAGAIN) + "): No Server Response [CONNECT]"},
        {pass + "281 Authentication succeeded\r\nleftover\r\n", 1, "200 ready", ""},
        {ready + "281 Authentication succeeded\r\n", 1, "200 ready",
         "281 Authentication succeeded"},
        {ready + "38 what\r\n", 1, "200 ready", "ERROR: Unknown USER Response"},
        {ready + "\r\n", 1, "200 ready", "ERROR: Logging In (USER)"},
        {pass + "482 Authentication commands issued out of sequence\r\n", 1, "200 ready",
         "482 Authentication commands issued out of sequence"},
        {pass + "2810 odd\r\n", 1, "200 ready", "ERROR: Unknown PASS Response"},
        {pass + "\r\n", 1, "200 ready", "ERROR: Logging In (PASS)"},
    };
    CScriptPeer peer(
        [&, n = 0](CPeerSession& s) mutable {
            const std::optional<std::string>& bytes = cases[n++].bytes;
            if (!bytes) return;
            s.Write(*bytes);
            s.WaitForClose();
        },
        static_cast<int>(std::size(cases)));
    CNntpConnection conn(300);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.value_or("(closed)"));
        EXPECT_EQ(ConnectTo(conn, peer, c.useLogin), c.error.empty() ? 1 : 0);
        EXPECT_EQ(conn.GetBanner(), c.banner);
        EXPECT_EQ(conn.GetError(), c.error);
        EXPECT_EQ(conn.GetSocket() != CNntpConnection::kInvalidSocket, c.error.empty());
        conn.Quit();
    }
    EXPECT_EQ(conn.Send("DATE\r\n"), 0);
    EXPECT_EQ(conn.GetError(), "Error Sending To Remote Host");
    EXPECT_EQ(conn.Quit(), -1);  // nothing left to close
}

TEST(NntpReadLine, LineRulesHoldInPlainTextAndOverTls) {
    const int max = CNntpConnection::kMaxLineLength;
    std::string longLine;
    for (int i = 0; i < 2 * max + 100; ++i) longLine += static_cast<char>('a' + i % 26);
    // The first lines come 3 bytes at a time (TCP segments, TLS records), so
    // they are gathered across receives; the rest at once, each reader
    // taking only its line. Then the server hangs up in plain text (a cut in
    // the middle of a reply) and falls silent over TLS.
    const std::string trickle = "200 ready\r\nabc\r\r\n\r\nbare\n1234567\nabc\r\r\nabcdefg\r\n";
    const std::string rest =
        "..dot\r\n.\r\n" + longLine + "\r\n" + std::string(max, 'e') + "\r\nnext\r\n";
    for (const bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted ? "TLS" : "plain text");
        CScriptPeer peer([&](CPeerSession& s) {
            std::optional<test::CTlsPeerSession> tls;
            if (encrypted) tls.emplace(s);
            for (const auto& [bytes, piece] : {std::pair{trickle, size_t{3}}, {rest, rest.size()}})
                encrypted ? tls->Write(bytes, piece) : s.WriteInPieces(bytes, piece);
            encrypted ? static_cast<void>(s.WaitForClose()) : s.Close();
        });
        CNntpConnection conn(300);
        ASSERT_EQ(ConnectTo(conn, peer, 0, encrypted ? kTlsImplicit : kTlsNone), 1)
            << conn.GetError();
        EXPECT_EQ(conn.IsEncrypted(), encrypted);
        const auto expectLines = [&conn](const std::vector<std::string>& lines) {
            for (const std::string& line : lines) {
                ASSERT_EQ(conn.ReadLine(), static_cast<int>(line.size()));
                EXPECT_EQ(conn.GetLine(), line);
                EXPECT_EQ(conn.GetLine().data()[line.size()], '\0');
            }
        };
        expectLines({"abc", "", "bare"});  // an empty line is not the end
        // ReadReply removes only a final CR LF pair; a small buffer leaves the
        // rest for the next read, and a CR LF pair split by it is lost by neither.
        char reply[CNntpConnection::kReplyBufferSize];
        EXPECT_EQ(conn.ReadReply(reply, 1), 0);
        for (const auto& [capacity, piece] :
             {std::pair{768, "1234567\n"}, {768, "abc\r"}, {5, "abcd"}, {5, "efg\r"}, {5, "\n"}}) {
            EXPECT_EQ(conn.ReadReply(reply, capacity), static_cast<int>(strlen(piece)));
            EXPECT_STREQ(reply, piece);
        }
        // Dot-stuffing is left to the caller. Longer than the limit: in
        // pieces; exactly the limit: its CR LF comes back as an empty line.
        expectLines({"..dot", ".", longLine.substr(0, max), longLine.substr(max, max),
                     longLine.substr(2 * max), std::string(max, 'e'), "", "next"});
        // The cut fails the read, the silence times out; either closes, and
        // further reads fail at once instead of touching a stale handle.
        EXPECT_EQ(conn.ReadLine(), -1);
        EXPECT_EQ(conn.GetLastReadError(), encrypted ? EAGAIN : 0);
        EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
        EXPECT_FALSE(conn.IsEncrypted());
        EXPECT_EQ(conn.ReadLine(), -1);
        EXPECT_EQ(conn.ReadReply(reply, sizeof reply), -1);
    }
}

TEST(TlsConnect, StartTlsRefusedOrAnsweredWithInjectedClearTextNeverLogsInInClearText) {
    std::vector<std::string> plain, encrypted;  // read once the peer's thread has ended
    {
        CScriptPeer peer(
            [&, n = 0](CPeerSession& s) mutable {
                s.Write("200 ready\r\n");
                plain.push_back(s.ReadLine());
                if (++n == 1) {
                    s.Write("580 Can not initiate TLS negotiation\r\n");
                    plain.push_back(s.ReadLine());  // "" once the client has closed
                    return;
                }
                // Clear text behind the 382 would otherwise pass for the USER reply.
                s.Write("382 Continue with TLS negotiation\r\n281 injected\r\n");
                test::CTlsPeerSession tls(s);
                encrypted.push_back(tls.ReadLine());
                tls.Write("381 Enter password\r\n");
                encrypted.push_back(tls.ReadLine());
                tls.Write("281 Authentication succeeded\r\n");
                encrypted.push_back(tls.ReadLine());
            },
            2);
        CNntpConnection conn;
        EXPECT_EQ(ConnectTo(conn, peer, 1, kTlsStartTls), 0);
        EXPECT_EQ(conn.GetError(),
                  "TLS: server refused STARTTLS: 580 Can not initiate TLS negotiation");
        EXPECT_TRUE(conn.IsTlsRefused());
        EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
        ASSERT_EQ(ConnectTo(conn, peer, 1, kTlsStartTls), 1) << conn.GetError();
        EXPECT_TRUE(conn.IsEncrypted());
        conn.Quit();
    }
    EXPECT_EQ(plain, (std::vector<std::string>{"STARTTLS\r\n", "", "STARTTLS\r\n"}));
    EXPECT_EQ(encrypted, (std::vector<std::string>{"AUTHINFO USER tester\r\n",
                                                   "AUTHINFO PASS secret\r\n", "QUIT\r\n"}));
}

TEST(TlsConnect, HandshakeFailuresSayWhetherConnectingAgainCanHelp) {
    // {the reason in the text, refused} for what the server does after the
    // client's hello: a connection lost on the way may work next time; plain
    // text where TLS was expected is a setting to mend (its reason is the
    // TLS library's).
    const std::pair<std::string, bool> cases[] = {{"connection closed", false},
                                                  {"Connection reset by peer", false},
                                                  {"timed out", false},
                                                  {"", true}};
    CScriptPeer peer(
        [n = 0](CPeerSession& s) mutable {
            char hello[4096];
            recv(s.Fd(), hello, sizeof hello, 0);
            const linger reset{1, 0};  // a close that sends RST
            switch (n++) {
                case 1:
                    setsockopt(s.Fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
                    [[fallthrough]];
                case 0:
                    return s.Close();
                case 3:
                    s.Write("200 plain text server\r\n");
                    [[fallthrough]];
                default:
                    s.WaitForClose();
            }
        },
        static_cast<int>(std::size(cases)));
    for (const auto& [reason, refused] : cases) {
        CNntpConnection conn(300);
        EXPECT_EQ(ConnectTo(conn, peer, 0, kTlsImplicit), 0);
        const std::string error(conn.GetError());
        EXPECT_TRUE(error.starts_with("TLS: handshake failed (" + reason)) << error;
        EXPECT_TRUE(error.ends_with("): localhost")) << error;
        EXPECT_TRUE(conn.IsTlsFailure());
        EXPECT_EQ(conn.IsTlsRefused(), refused) << error;
        EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    }
}

}  // namespace
}  // namespace vexlo
