// CNntpConnection with TLS against scripted peers: the line rules over the
// decrypted stream, the certificate checks and their texts, STARTTLS that a
// server refuses or answers with injected clear text, and handshakes that fail.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "core/named_locks.h"
#include "nntp/nntp_connection.h"
#include "support/script_peer.h"
#include "support/temp_dir.h"
#include "support/tls_peer.h"

namespace vexlo {
namespace {

using test::CPeerSession;
using test::CScriptPeer;
using test::CTlsPeerSession;
using test::SelfSignedLocalhost;

TlsSettings Tls(int mode, bool verify = true, std::string caFile = SelfSignedLocalhost().pemPath,
                std::string hostName = "localhost") {
    TlsSettings tls;
    tls.mode = mode;
    tls.verify = verify;
    tls.caFile = std::move(caFile);
    tls.hostName = std::move(hostName);
    return tls;
}

int ConnectTo(CNntpConnection& conn, const CScriptPeer& peer, int useLogin = 0) {
    return conn.Connect(CScriptPeer::kAddress, peer.Port(), useLogin, "tester", "secret");
}

// The lines a plain-text peer received, shared with the test.
struct Received {
    std::mutex mutex;
    std::vector<std::string> lines;
    void Add(std::string line) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(std::move(line));
    }
};

TEST(TlsReadLine, EveryLineRuleHoldsOnTheDecryptedStream) {
    const int max = CNntpConnection::kMaxLineLength;
    std::string longLine;
    for (int i = 0; i < max + 100; ++i) longLine += static_cast<char>('a' + i % 26);
    CScriptPeer peer([&](CPeerSession& s) {
        CTlsPeerSession tls(s);
        tls.Write("200 ready\r\n");
        tls.Write("abc\r\r\n\r\nbare\n1234567\n", 3);  // lines cut across tiny records
        tls.Write(longLine + "\r\n.\r\n");
        s.WaitForClose();  // then silence
    });
    CNntpConnection conn(300);
    conn.SetTls(Tls(kTlsImplicit));
    ASSERT_EQ(ConnectTo(conn, peer), 1) << conn.GetError();
    EXPECT_TRUE(conn.IsEncrypted());
    EXPECT_EQ(conn.GetBanner(), "200 ready");
    EXPECT_EQ(conn.ReadLine(), 3);
    EXPECT_EQ(conn.GetLine(), "abc");
    EXPECT_EQ(conn.ReadLine(), 0);
    EXPECT_EQ(conn.ReadLine(), 4);
    char reply[CNntpConnection::kReplyBufferSize];
    EXPECT_EQ(conn.ReadReply(reply, sizeof reply), 8);  // a bare LF is kept
    EXPECT_STREQ(reply, "1234567\n");
    for (const std::string& piece :
         {longLine.substr(0, max), longLine.substr(max), std::string(".")}) {
        ASSERT_EQ(conn.ReadLine(), static_cast<int>(piece.size()));
        EXPECT_EQ(conn.GetLine(), piece);
    }
    EXPECT_EQ(conn.ReadLine(), -1);
    EXPECT_EQ(conn.GetLastReadError(), EAGAIN);
    EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    EXPECT_FALSE(conn.IsEncrypted());
}

TEST(TlsConnect, CertificateChecksOfASelfSignedServer) {
    const std::string pem = SelfSignedLocalhost().pemPath;
    struct Case {
        TlsSettings tls;
        std::string error;  // "" when the connection opens
    } cases[] = {
        {Tls(kTlsImplicit, true, ""), "TLS: certificate not trusted (self-signed): localhost"},
        {Tls(kTlsImplicit), ""},
        {Tls(kTlsImplicit, true, pem, ""), ""},  // the dotted address against the IP name
        {Tls(kTlsImplicit, true, pem, "wrong.example"),
         "TLS: certificate does not match the host name: wrong.example"},
        {Tls(kTlsImplicit, false, "", "wrong.example"), ""},
        {Tls(kTlsImplicit, true, "/no/such/ca.pem"),
         "TLS: CA file cannot be read: /no/such/ca.pem"},
    };
    CScriptPeer peer(
        [](CPeerSession& s) {
            CTlsPeerSession tls(s);
            tls.Write("200 ready\r\n");
            tls.ReadLine();  // QUIT
        },
        static_cast<int>(std::size(cases)));
    test::CTempDir dir;
    CNamedLocks locks;
    CDebugLog log(locks);
    ASSERT_TRUE(log.OpenLog(dir / "DEBUG.TXT"));
    for (Case& c : cases) {
        SCOPED_TRACE(c.error);
        c.tls.log = &log;
        CNntpConnection conn;
        conn.SetTls(c.tls);
        EXPECT_EQ(ConnectTo(conn, peer), c.error.empty() ? 1 : 0);
        EXPECT_EQ(conn.GetError(), c.error);
        EXPECT_EQ(conn.IsTlsFailure(), !c.error.empty());
        EXPECT_EQ(conn.IsTlsRefused(), !c.error.empty());
        if (c.error.empty()) {
            EXPECT_EQ(conn.GetBanner(), "200 ready");
            conn.Quit();
        }
    }
    log.CloseLog();
    EXPECT_EQ(test::ReadFileBytes(dir / "DEBUG.TXT"),
              "TLS: certificate of wrong.example accepted without verification (TlsVerify 0): "
              "not trusted (self-signed)\n");
}

TEST(TlsConnect, StartTlsRefusedEndsTheConnectionBeforeTheLogin) {
    for (const char* refusal :
         {"502 Command unavailable", "580 Can not initiate TLS negotiation"}) {
        SCOPED_TRACE(refusal);
        Received received;
        {
            CScriptPeer peer([&](CPeerSession& s) {
                s.Write("200 ready\r\n");
                received.Add(s.ReadLine());
                s.Write(std::string(refusal) + "\r\n");
                received.Add(s.ReadLine());  // "" once the client has closed
            });
            CNntpConnection conn;
            conn.SetTls(Tls(kTlsStartTls));
            EXPECT_EQ(ConnectTo(conn, peer, 1), 0);
            EXPECT_EQ(conn.GetError(), std::string("TLS: server refused STARTTLS: ") + refusal);
            EXPECT_TRUE(conn.IsTlsRefused());
            EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
            EXPECT_EQ(conn.GetBanner(), "200 ready");
        }  // the peer's script has ended
        EXPECT_EQ(received.lines, (std::vector<std::string>{"STARTTLS\r\n", ""}));
    }
}

TEST(TlsConnect, StartTlsDropsInjectedClearTextAndLogsInEncrypted) {
    Received plain, encrypted;
    {
        CScriptPeer peer([&](CPeerSession& s) {
            s.Write("200 ready\r\n");
            plain.Add(s.ReadLine());
            // Clear text behind the 382 would otherwise pass for the USER reply.
            s.Write("382 Continue with TLS negotiation\r\n281 injected\r\n");
            CTlsPeerSession tls(s);
            encrypted.Add(tls.ReadLine());
            tls.Write("381 Enter password\r\n");
            encrypted.Add(tls.ReadLine());
            tls.Write("281 Authentication succeeded\r\n");
            encrypted.Add(tls.ReadLine());
        });
        CNntpConnection conn;
        conn.SetTls(Tls(kTlsStartTls));
        ASSERT_EQ(ConnectTo(conn, peer, 1), 1) << conn.GetError();
        EXPECT_TRUE(conn.IsEncrypted());
        EXPECT_EQ(conn.GetBanner(), "200 ready");
        conn.Quit();
    }  // the peer's script has ended
    EXPECT_EQ(plain.lines, std::vector<std::string>{"STARTTLS\r\n"});
    EXPECT_EQ(encrypted.lines, (std::vector<std::string>{"AUTHINFO USER tester\r\n",
                                                         "AUTHINFO PASS secret\r\n", "QUIT\r\n"}));
}

TEST(TlsConnect, HandshakeFailuresSayWhetherConnectingAgainCanHelp) {
    // {what the server does, refused}: plain text where TLS was expected is a
    // setting to mend; a connection closed on the way may work next time.
    const std::pair<CScriptPeer::Script, bool> cases[] = {
        {[](CPeerSession& s) {
             s.Write("200 plain text server\r\n");
             s.WaitForClose();
         },
         true},
        {[](CPeerSession&) {}, false},
    };
    for (const auto& [script, refused] : cases) {
        CScriptPeer peer(script);
        CNntpConnection conn(2000);
        conn.SetTls(Tls(kTlsImplicit));
        EXPECT_EQ(ConnectTo(conn, peer), 0);
        EXPECT_TRUE(conn.GetError().starts_with("TLS: handshake failed (")) << conn.GetError();
        EXPECT_TRUE(conn.GetError().ends_with("): localhost")) << conn.GetError();
        EXPECT_TRUE(conn.IsTlsFailure());
        EXPECT_EQ(conn.IsTlsRefused(), refused) << conn.GetError();
        EXPECT_EQ(conn.GetSocket(), CNntpConnection::kInvalidSocket);
    }
}

}  // namespace
}  // namespace vexlo
