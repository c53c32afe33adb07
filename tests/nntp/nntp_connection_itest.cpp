// CNntpConnection against the real INN servers of the test fixture: one walk
// (greeting, login, GROUP, QUIT) in plain text, over NNTPS and over STARTTLS,
// through every certificate check that opens or refuses the connection, and
// the login passing only encrypted. (Pipelined BODY commands and their
// dot-stuffed lines in each mode: retrieve_binary_itest.cpp; a connection cut
// in the middle of a reply: nntp_connection_test.cpp and the download tests.)
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/number_readers.h"
#include "nntp/nntp_connection.h"
#include "support/inn_fixture.h"
#include "support/nntp_relay.h"

namespace vexlo {
namespace {
using test::Inn;

TEST(NntpConnectionInn, OneWalkInPlainTextOverNntpsAndOverStartTls) {
    ASSERT_NE(Inn().anonTlsPort, 0) << "the INN fixture was started without its TLS ports";
    // {verify, CA file, host name, password ("": no login), error ("" when it
    // opens)}. The fixture's certificate reads as self-signed until its
    // authority is trusted. In plain text the certificate settings do not matter.
    const std::string ca = Inn().caFile;
    const struct {
        bool verify;
        std::string caFile, hostName, password, error;
    } checks[] = {
        {true, "", "", "", "TLS: certificate not trusted (self-signed): 127.0.0.1"},
        {true, ca, "", "", ""},
        {true, ca, test::kInnTlsHost, "", ""},
        {true, ca, "localhost", "", ""},
        {true, ca, "wrong.vexlo.test", "",
         "TLS: certificate does not match the host name: wrong.vexlo.test"},
        {false, "", "wrong.vexlo.test", "", ""},
        {true, "/no/such/ca.pem", "", "", "TLS: CA file cannot be read: /no/such/ca.pem"},
        {true, ca, "", "secret", ""},
        {true, ca, "", "wrong", "481 Authentication failed"},
    };
    // The plain-text logins go through a relay that notes what it can read.
    test::CNntpRelay loginRelay(Inn().authPort);
    for (const int mode : {kTlsNone, kTlsImplicit, kTlsStartTls}) {
        for (const auto& check : checks) {
            const std::string expected =
                mode == kTlsNone && check.error.starts_with("TLS: ") ? "" : check.error;
            SCOPED_TRACE("mode " + std::to_string(mode) + ", " + check.caFile + ", " +
                         check.hostName + ", " + check.password);
            const bool login = !check.password.empty();
            const uint16_t port = mode == kTlsImplicit
                                      ? (login ? Inn().authTlsPort : Inn().anonTlsPort)
                                      : (login ? loginRelay.Port() : Inn().anonPort);
            CNntpConnection conn;
            conn.SetTls({mode, check.verify, check.caFile, check.hostName});
            EXPECT_EQ(conn.Connect(0x7F000001, port, login ? 1 : 0, "tester", check.password),
                      expected.empty() ? 1 : 0);
            EXPECT_EQ(conn.GetError(), expected);
            EXPECT_EQ(conn.IsTlsRefused(), expected.starts_with("TLS: "));
            if (!expected.empty()) continue;
            EXPECT_EQ(conn.IsEncrypted(), mode != kTlsNone);
            EXPECT_TRUE(conn.GetBanner().starts_with("200 ")) << conn.GetBanner();
            ASSERT_TRUE(conn.Send("GROUP misc.test\r\n"));
            EXPECT_TRUE(conn.ReadLine() > 0 && ReplyCode(conn.GetLine()) == 211) << conn.GetLine();
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

}  // namespace
}  // namespace vexlo
