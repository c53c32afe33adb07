// Encrypted connections against the real news server's TLS ports: downloads
// over NNTPS and STARTTLS come out byte-identical; the certificate checks
// refuse the fixture's certificate until its authority is trusted or
// verification is off; the login passes only encrypted; and a refused
// certificate shows its text where connection failures show.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "../tasks/engine_harness.h"
#include "nntp/nntp_connection.h"
#include "nntp/server_test.h"
#include "nntp/server_test_thread.h"
#include "support/inn_fixture.h"
#include "support/nntp_relay.h"
#include "support/raw_nntp_client.h"
#include "support/test_data.h"

namespace vexlo {
namespace {

using test::Inn;
using test::ReadFileBytes;

constexpr uint32_t kLoopback = 0x7F000001;
const std::string kSelfSigned = "TLS: certificate not trusted (self-signed): 127.0.0.1";

TlsSettings InnTls(int mode, bool verify = true, bool trustFixture = true,
                   std::string hostName = "") {
    TlsSettings tls;
    tls.mode = mode;
    tls.verify = verify;
    tls.caFile = trustFixture ? Inn().caFile : "";
    tls.hostName = std::move(hostName);
    return tls;
}

class TlsITest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(Inn().anonTlsPort, 0) << "the INN fixture was started without its TLS ports";
    }
};

// A binary posted to both servers, with its article numbers and line counts.
struct Binary {
    std::string group, subject, data;
    std::vector<uint32_t> articles, lines;
};

::testing::AssertionResult PostBinary(Binary* binary) {
    binary->group = test::CreateUniqueGroup("alt.binaries.test.tls");
    binary->data = test::RandomBytes(300000, 16);
    const auto posts =
        test::MakeUuencodedPosts(binary->group, "secret.bin", binary->data, 3, "Poster <p@x>");
    std::string error;
    if (binary->group.empty() || !test::PostArticles(posts, &error))
        return ::testing::AssertionFailure() << "posting failed: " << error;
    test::CRawNntpClient client;
    std::vector<std::string> overview;
    if (!client.Connect(Inn().anonPort, &error) ||
        client.Command("GROUP " + binary->group).empty() ||
        client.Command("XOVER 1-").rfind("224", 0) != 0 || !client.ReadBlock(&overview))
        return ::testing::AssertionFailure() << "no overview of " << binary->group;
    std::map<std::string, std::vector<std::string>> byId;
    for (const std::string& line : overview) {
        auto fields = test::SplitTabs(line);
        if (fields.size() >= 8) byId[fields[4]] = fields;
    }
    for (const auto& post : posts) {
        const auto& fields = byId[post.messageId];
        if (fields.empty()) return ::testing::AssertionFailure() << post.messageId << " not found";
        binary->articles.push_back(static_cast<uint32_t>(std::stoul(fields[0])));
        binary->lines.push_back(static_cast<uint32_t>(std::stoul(fields[7])));
    }
    binary->subject = posts.front().subject;
    return ::testing::AssertionSuccess();
}

// An engine on `port` with the settings' encryption, the login when asked.
std::unique_ptr<test::CEngineHarness> Engine(uint16_t port, const TlsSettings& tls, bool login) {
    auto engine = std::make_unique<test::CEngineHarness>(Inn().host, port, 2);
    RegisterStandardHandlers(engine->handlers);
    CAppSettings& settings = engine->context.settings;
    settings.SetRetries(2);
    settings.SetTls(tls.mode);
    settings.SetTlsVerify(tls.verify ? 1 : 0);
    settings.SetTlsCaFile(tls.caFile);
    if (login) {
        settings.SetAuth(1);
        settings.SetUser("tester");
        settings.SetPass("secret");
    }
    engine->Open();
    return engine;
}

// Queues the binary as a DECODE task and runs the queue until it has ended.
CTask* Download(test::CEngineHarness& engine, const Binary& binary) {
    CTask task(&engine.context.settings);
    MakeDownloadTask(
        task, {binary.group, binary.subject, engine.dir / "out/", binary.articles, binary.lines});
    engine.controller->QueueTask(task, false);
    CTask* queued = engine.Queue().Row(engine.Queue().Count() - 1).task.get();
    engine.controller->StartCommand();
    const bool ended = engine.PumpUntil(
        [&] {
            const uint32_t result = queued->GetResult();
            return (result == kResultCompleted || result == kResultError) &&
                   queued->GetAssigned() == 0;
        },
        60000);
    EXPECT_TRUE(ended) << queued->GetStatusText();
    return queued;
}

TEST_F(TlsITest, DownloadsComeOutByteIdenticalOverNntpsAndStartTls) {
    Binary binary;
    ASSERT_TRUE(PostBinary(&binary));
    const struct {
        const char* name;
        uint16_t port;
        TlsSettings tls;
        bool login;
    } cases[] = {
        {"NNTPS", Inn().anonTlsPort, InnTls(kTlsImplicit), false},
        {"STARTTLS", Inn().anonPort, InnTls(kTlsStartTls), false},
        {"NNTPS, login", Inn().authTlsPort, InnTls(kTlsImplicit), true},
        {"STARTTLS, login", Inn().authPort, InnTls(kTlsStartTls), true},
        {"NNTPS, not verified", Inn().anonTlsPort, InnTls(kTlsImplicit, false, false), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = Engine(c.port, c.tls, c.login);
        CTask* task = Download(*engine, binary);
        EXPECT_EQ(task->GetResult(), kResultCompleted) << task->GetStatusText();
        EXPECT_TRUE(ReadFileBytes(engine->dir / "out/secret.bin") == binary.data);
    }
}

TEST_F(TlsITest, CertificateChecksOnBothEncryptions) {
    const struct {
        TlsSettings tls;
        std::string error;  // "" when the connection opens
    } checks[] = {
        {InnTls(kTlsImplicit, true, false), kSelfSigned},
        {InnTls(kTlsImplicit), ""},
        {InnTls(kTlsImplicit, true, true, test::kInnTlsHost), ""},
        {InnTls(kTlsImplicit, true, true, "localhost"), ""},
        {InnTls(kTlsImplicit, true, true, "wrong.vexlo.test"),
         "TLS: certificate does not match the host name: wrong.vexlo.test"},
        {InnTls(kTlsImplicit, false, false, "wrong.vexlo.test"), ""},
    };
    for (int mode : {kTlsImplicit, kTlsStartTls}) {
        for (auto check : checks) {
            SCOPED_TRACE((mode == kTlsImplicit ? "NNTPS: " : "STARTTLS: ") + check.error);
            check.tls.mode = mode;
            CNntpConnection conn;
            conn.SetTls(check.tls);
            const uint16_t port = mode == kTlsImplicit ? Inn().anonTlsPort : Inn().anonPort;
            EXPECT_EQ(conn.Connect(kLoopback, port, 0, "", ""), check.error.empty() ? 1 : 0);
            EXPECT_EQ(conn.GetError(), check.error);
            EXPECT_EQ(conn.IsTlsRefused(), !check.error.empty());
            if (!check.error.empty()) continue;
            EXPECT_TRUE(conn.GetBanner().starts_with("200 ")) << conn.GetBanner();
            ASSERT_EQ(conn.Send("GROUP alt.binaries.test\r\n"), 1);
            char reply[CNntpConnection::kReplyBufferSize];
            ASSERT_GT(conn.ReadReply(reply, sizeof reply), 0);
            EXPECT_STREQ(reply, "211 0 1 0 alt.binaries.test");
            conn.Quit();
        }
    }
}

TEST_F(TlsITest, TheLoginPassesOnlyEncrypted) {
    // Through a relay that notes what it can read: with STARTTLS only the
    // command itself; in plain text the login, for contrast.
    for (int mode : {kTlsStartTls, kTlsNone}) {
        test::CNntpRelay relay(Inn().authPort);
        for (const char* password : {"secret", "wrong"}) {
            CNntpConnection conn;
            conn.SetTls(InnTls(mode));
            const int opened = conn.Connect(kLoopback, relay.Port(), 1, "tester", password);
            EXPECT_EQ(opened, password == std::string("secret") ? 1 : 0) << conn.GetError();
            if (!opened) {
                EXPECT_TRUE(conn.GetError().starts_with("481 ")) << conn.GetError();
            }
            EXPECT_EQ(conn.IsEncrypted(), opened && mode == kTlsStartTls);
            conn.Quit();
        }
        std::string seen;
        for (const std::string& command : relay.Commands()) seen += command + "\n";
        if (mode == kTlsStartTls) {
            EXPECT_TRUE(seen.starts_with("1 STARTTLS\n")) << seen;
            EXPECT_EQ(seen.find("AUTHINFO"), std::string::npos) << seen;
        } else {
            EXPECT_TRUE(seen.starts_with("1 AUTHINFO USER tester\n1 AUTHINFO PASS secret\n"))
                << seen;
        }
    }
}

TEST_F(TlsITest, ARefusedCertificateShowsInTheServerTestTheGroupListAndTheTask) {
    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext app(dir.Path(), box);
    ASSERT_TRUE(app.Start());
    ServerLogin login{kLoopback, Inn().anonTlsPort, 0, "", "", InnTls(kTlsImplicit, true, false)};
    for (const ServerTestRow& row : RunServerTest(app, login, Inn().host, 2, nullptr, nullptr)) {
        EXPECT_EQ(row.icon, kIconFailed);
        EXPECT_EQ(row.result, kSelfSigned);
    }
    std::atomic<int> abort{0};
    std::string error;
    EXPECT_EQ(RunListJob(login, dir / "_GROUPS.TMP", abort, app.stats, nullptr, error), -1);
    EXPECT_EQ(error, kSelfSigned);

    // Not verified: the rows show the greeting, and the log what was accepted.
    login.tls = InnTls(kTlsImplicit, false, false);
    login.tls.log = &app.log;
    for (const ServerTestRow& row : RunServerTest(app, login, Inn().host, 1, nullptr, nullptr))
        EXPECT_TRUE(row.result.starts_with("200 ")) << row.result;
    app.Finish();
    EXPECT_NE(ReadFileBytes(dir / "DEBUG.TXT")
                  .find("TLS: certificate of 127.0.0.1 accepted without verification "
                        "(TlsVerify 0): not trusted (self-signed)\n"),
              std::string::npos);

    // A channel does not retry what cannot work: the task ends at once.
    Binary binary{"alt.binaries.test", "nothing (1/1)", "", {1}, {10}};
    auto engine = Engine(Inn().anonTlsPort, InnTls(kTlsImplicit, true, false), false);
    CTask* task = Download(*engine, binary);
    EXPECT_EQ(task->GetResult(), kResultError);
    EXPECT_EQ(task->GetStatusText(), kSelfSigned);
    EXPECT_EQ(task->GetInProgress(), 0u);
}

}  // namespace
}  // namespace vexlo
