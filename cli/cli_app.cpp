#include "cli/cli_app.h"

#include <cstdio>
#include <filesystem>

#include "cli/help.h"
#include "cli/password.h"
#include "core/app_dirs.h"
#include "decode/file_utils.h"
#include "frame/settings_rules.h"
#include "platform/profile_store.h"
#include "tasks/main_controller.h"

namespace vexlo::cli {

CCliApp::CCliApp(std::string appDir) : context_(std::move(appDir), box_) {
    RegisterStandardHandlers(handlers_);
}

CCliApp::~CCliApp() = default;

CMainController& CCliApp::Controller() {
    if (!controller_) controller_ = std::make_unique<CMainController>(context_, handlers_);
    return *controller_;
}

bool CCliApp::LockAppDir() {
    std::string why;
    if (lock_.TryAcquire(context_.DataPath() + "_CLI.LCK", &why)) return true;
    std::fprintf(stderr, "vexlo: %s\n", why.c_str());
    return false;
}

bool CCliApp::OpenData(bool changes) {
    if (changes) {
        if (DirectoryExists(context_.DataPath())) {
            if (!LockAppDir()) return false;
        } else {
            readBeforeLock_ = true;
        }
    }
    // A command that only reads never changes a working file, not even a
    // damaged one (no copy kept, nothing deleted).
    Controller().Load(changes ? FileAccess::kOwner : FileAccess::kReadOnly);
    return true;
}

bool CCliApp::Begin(bool lock) {
    if (!begun_) {
        if (!CreateAppDirectories(context_.AppDir(), context_.messageBox)) {
            context_.messageBox.Show(kCreateDirsHaltText, MessageIcon::Stop);
            return false;
        }
        context_.log.OpenLog(GetDebugLogPath(context_.AppDir()));
        begun_ = true;
    }
    if (!lock || lock_.Held()) return true;
    if (!LockAppDir()) return false;
    // What was read before DATA/ existed is stale if another vexlo-cli wrote
    // files meanwhile.
    if (readBeforeLock_ && (FileExists(Controller().Groups().GroupFilePath()) ||
                            FileExists(Controller().Queue().QueuePath()))) {
        std::fprintf(stderr,
                     "vexlo: another vexlo-cli changed this directory meanwhile; try "
                     "again\n");
        return false;
    }
    return true;
}

int CCliApp::Run(CArgs args) {
    std::string command = args.Next("command");
    if (!IsCommand(command) || command == "help") throw CUsageError("unknown command " + command);
    // Reading the profile creates nothing.
    context_.settings.Load(context_.profile);
    context_.stats.LoadHistory(context_.profile);
    if (command == "server") return CmdServer(args);
    if (command == "set") return CmdSet(args);
    if (command == "queue") return CmdQueue(args);
    if (command == "run") return CmdRun(args);
    if (command == "stats") return CmdStats(args);
    if (command == "test") return CmdTest(args);
    if (command == "group") return CmdGroup(args);
    if (command == "groups") return CmdGroups(args);
    if (command == "scan") return CmdScan(args);
    if (command == "list") return CmdList(args);
    if (command == "get") return CmdGet(args);
    return CmdJoin(args);
}

namespace {
// How `server` reports the encryption: nothing for plain text.
std::string EncryptionText(const CAppSettings& s) {
    if (s.GetTls() == kTlsNone) return "";
    std::string text = std::string(", ") + kTlsModeTexts[s.GetTls()];
    if (s.GetTlsVerify() == 0) return text + " without certificate check";
    if (!s.GetTlsCaFile().empty()) text += ", also trusting " + s.GetTlsCaFile();
    return text;
}
}  // namespace

int CCliApp::CmdServer(CArgs& args) {
    std::string host = args.Next("server host");
    std::string port, conn, retries, user, pass;
    bool hasPort = args.Option("--port", port);
    bool hasConn = args.Option("--conn", conn);
    bool hasRetries = args.Option("--retries", retries);
    bool hasUser = args.Option("--user", user);
    bool hasPass = args.Option("--pass", pass);
    bool noAuth = args.Flag("--no-auth");
    const bool tls = args.Flag("--tls"), startTls = args.Flag("--starttls");
    const bool noTls = args.Flag("--no-tls"), noVerify = args.Flag("--no-verify");
    std::string caFile;
    const bool hasCa = args.Option("--ca", caFile, false);
    if (!args.Rest().empty()) throw CUsageError("server takes one host");
    if (noAuth && (hasUser || hasPass))
        throw CUsageError("--no-auth goes without --user and --pass");
    if (int(tls) + int(startTls) + int(noTls) > 1)
        throw CUsageError("choose one of --tls, --starttls and --no-tls");
    if ((noVerify || hasCa) && !tls && !startTls)
        throw CUsageError("--no-verify and --ca go with --tls or --starttls");
    CAppSettings& s = context_.settings;
    // The Server page's checks and texts, on everything before anything is stored.
    ServerPageValues page = ServerPageFromSettings(s);
    page.server = host;
    if (hasPort) page.port = port;
    if (hasConn) {
        int count = ParseNumber(conn, "--conn");
        if (count < 1 || count > kMaxConnections) throw CUsageError("--conn must be 1 to 8");
        page.connections = count - 1;
    }
    int retryCount = s.GetRetries();
    if (hasRetries) retryCount = ParseNumber(retries, "--retries");
    if (hasUser || hasPass) {
        page.login = true;
        if (hasUser) page.user = user;
        if (!hasPass && !page.user.empty()) {
            if (const char* refusal = ReadPassword(pass)) {
                context_.messageBox.Show(refusal, MessageIcon::Stop);
                return kExitUsage;
            }
        }
        page.password = page.confirm = pass;
    } else if (noAuth) {
        page.login = false;
    }
    // --tls and --starttls describe the encryption whole: verified unless
    // --no-verify, with --ca's file or none.
    if (tls || startTls) {
        page.tls = tls ? kTlsImplicit : kTlsStartTls;
        page.tlsVerify = !noVerify;
        page.tlsCaFile = hasCa ? std::filesystem::absolute(caFile).lexically_normal().string() : "";
    } else if (noTls) {
        page.tls = kTlsNone;
    }
    const char* refusal = CheckServerPage(page);
    if (!refusal && (retryCount < 0 || retryCount > 65535)) refusal = kRetriesInvalidText;
    if (refusal) {
        context_.messageBox.Show(refusal, MessageIcon::Stop);
        return kExitUsage;
    }
    if (!Begin(true)) return kExitTaskError;
    ApplyServerPage(page, s);
    s.SetRetries(retryCount);
    // A Conn outside 1..8 in the file is repaired to 1; the default channels
    // of new downloads stay within the channels there are.
    s.GetChannelMask();
    if (!s.SetAffinity(s.GetAffinity())) s.SetAffinity(1);
    s.Save(context_.profile);
    std::printf("Server %s:%d, %d channel(s), %d retries, login %s%s\n", s.GetServer().c_str(),
                s.GetPort(), s.GetConn(), s.GetRetries(), s.GetAuth() == 1 ? "on" : "off",
                EncryptionText(s).c_str());
    return kExitOk;
}

int CCliApp::CmdStats(CArgs& args) {
    if (!args.Rest().empty()) throw CUsageError("stats takes no arguments");
    const CTransferStats::Counters all = context_.stats.AllTime();
    auto last = [&](const char* key) {
        return FormatThousands(context_.profile.GetProfileString(kLastRunSection, key, "0"));
    };
    std::printf("%-9s %33s   %33s\n", "", "All time", "Last run");
    std::printf("%-9s %16s %16s   %16s %16s\n", "", "SENT", "RECEIVED", "SENT", "RECEIVED");
    auto row = [&](const char* title, const CInt96& sent, const CInt96& received,
                   const char* sentKey, const char* receivedKey) {
        std::printf("%-9s %16s %16s   %16s %16s\n", title, FormatThousands(sent.ToString()).c_str(),
                    FormatThousands(received.ToString()).c_str(), last(sentKey).c_str(),
                    last(receivedKey).c_str());
    };
    row("Files", all.fileXmit, all.fileRecv, "FileXMIT", "FileRECV");
    row("Articles", all.bodyXmit, all.bodyRecv, "BodyXMIT", "BodyRECV");
    row("Bytes", all.byteXmit, all.byteRecv, "ByteXMIT", "ByteRECV");
    return kExitOk;
}

void CCliApp::SaveCounters() {
    const CTransferStats::Counters run = context_.stats.Run();
    CProfileBatch batch(context_.profile);
    context_.stats.SaveHistory(context_.profile);
    for (auto [key, value] : {std::pair{"ByteXMIT", &run.byteXmit},
                              {"ByteRECV", &run.byteRecv},
                              {"BodyXMIT", &run.bodyXmit},
                              {"BodyRECV", &run.bodyRecv},
                              {"FileXMIT", &run.fileXmit},
                              {"FileRECV", &run.fileRecv}})
        context_.profile.WriteProfileString(kLastRunSection, key, value->ToString());
}

int CCliApp::CmdRun(CArgs& args) {
    if (!args.Rest().empty()) throw CUsageError("run takes no arguments");
    if (!Begin(true)) return kExitTaskError;
    return RunQueue(nullptr);
}

}  // namespace vexlo::cli
