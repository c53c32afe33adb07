#include "cli/cli_app.h"

#include <cstdio>

#include "cli/queue_printer.h"
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

int CCliApp::Run(CArgs args) {
    std::string command = args.Next("command");
    if (!context_.Start()) return kExitTaskError;
    if (command == "server") return CmdServer(args);
    if (command == "queue") return CmdQueue(args);
    if (command == "run") return CmdRun(args);
    if (command == "stats") return CmdStats(args);
    if (command == "test") return CmdTest(args);
    if (command == "group") return CmdGroup(args);
    if (command == "groups") return CmdGroups(args);
    if (command == "scan") return CmdScan(args);
    if (command == "list") return CmdList(args);
    if (command == "get") return CmdGet(args);
    if (command == "join") return CmdJoin(args);
    throw CUsageError("unknown command " + command);
}

int CCliApp::CmdServer(CArgs& args) {
    std::string host = args.Next("server host");
    int port = context_.settings.GetPort(), conn = context_.settings.GetConn();
    int retries = context_.settings.GetRetries();
    std::string user, pass;
    args.IntOption("--port", port);
    args.IntOption("--conn", conn);
    args.IntOption("--retries", retries);
    bool hasUser = args.Option("--user", user);
    bool hasPass = args.Option("--pass", pass);
    bool noAuth = args.Flag("--no-auth");
    if (!args.Rest().empty()) throw CUsageError("server takes one host");
    if (!LockAppDir()) return kExitTaskError;
    CAppSettings& s = context_.settings;
    // The same checks and texts as the settings page.
    if (host.empty() || !s.SetServer(host)) {
        context_.messageBox.Show("Server Address Not Specified", MessageIcon::Stop);
        return kExitUsage;
    }
    if (!s.SetPort(port)) {
        context_.messageBox.Show("Server Port Invalid.  Valid Numbers Are From 1 to 65535.",
                                 MessageIcon::Stop);
        return kExitUsage;
    }
    if (!s.SetConn(conn)) throw CUsageError("--conn must be 1 to 8");
    if (!s.SetRetries(retries)) {
        context_.messageBox.Show("Invalid Max Auto-Retry Value", MessageIcon::Stop);
        return kExitUsage;
    }
    if (hasUser || hasPass) {
        if (user.empty()) {
            context_.messageBox.Show("Authorization Info: Username Not Specified",
                                     MessageIcon::Stop);
            return kExitUsage;
        }
        if (pass.empty()) {
            context_.messageBox.Show("Authorization Info: Password Not Specified",
                                     MessageIcon::Stop);
            return kExitUsage;
        }
        s.SetUser(user);
        s.SetPass(pass);
        s.SetAuth(1);
    } else if (noAuth) {
        s.SetAuth(0);
    }
    s.GetChannelMask();
    s.SetAffinity(s.GetAffinity());
    s.Save(context_.profile);
    std::printf("Server %s:%d, %d channel(s), %d retries, login %s\n", s.GetServer().c_str(),
                s.GetPort(), s.GetConn(), s.GetRetries(), s.GetAuth() == 1 ? "on" : "off");
    return kExitOk;
}

int CCliApp::CmdStats(CArgs& args) {
    if (!args.Rest().empty()) throw CUsageError("stats takes no arguments");
    auto show = [](const char* title, const CTransferStats::Counters& c) {
        std::printf("%s\n", title);
        std::printf("  %-9s %20s %20s\n", "", "SENT", "RECEIVED");
        std::printf("  %-9s %20s %20s\n", "Files", FormatThousands(c.fileXmit.ToString()).c_str(),
                    FormatThousands(c.fileRecv.ToString()).c_str());
        std::printf("  %-9s %20s %20s\n", "Articles",
                    FormatThousands(c.bodyXmit.ToString()).c_str(),
                    FormatThousands(c.bodyRecv.ToString()).c_str());
        std::printf("  %-9s %20s %20s\n", "Bytes", FormatThousands(c.byteXmit.ToString()).c_str(),
                    FormatThousands(c.byteRecv.ToString()).c_str());
    };
    show("All time", context_.stats.AllTime());
    return kExitOk;
}

int CCliApp::CmdQueue(CArgs& args) {
    std::string action = args.Empty() ? "list" : args.Next("queue action");
    if (action != "list" && !LockAppDir()) return kExitTaskError;
    CMainController& controller = Controller();
    CDownloadQueue& queue = controller.Queue();
    controller.Load();
    if (action == "list") {
        if (!args.Rest().empty()) throw CUsageError("queue list takes no arguments");
        PrintQueue(queue);
        return kExitOk;
    }
    if (action == "clear") {
        if (!args.Rest().empty()) throw CUsageError("queue clear takes no arguments");
        queue.RemoveAllNotRunning();
    } else if (action == "delete" || action == "requeue") {
        std::vector<std::string> ids = args.Rest();
        if (ids.empty()) throw CUsageError("queue " + action + " needs task IDs");
        // Every ID is checked before anything changes: a mistyped ID leaves
        // the queue as it was.
        std::vector<size_t> rows;
        for (const auto& text : ids) {
            uint32_t id = static_cast<uint32_t>(ParseNumber(text, "task ID"));
            size_t before = rows.size();
            for (size_t i = 0; i < queue.Count(); ++i)
                if (queue.Row(i).task->GetId() == id) rows.push_back(i);
            if (rows.size() == before) throw CUsageError("no task with ID " + text);
        }
        queue.ClearSelection();
        for (size_t row : rows) queue.Select(row, true);
        if (action == "delete")
            queue.DeleteSelected();
        else
            queue.RequeueSelected();
    } else {
        throw CUsageError("unknown queue action " + action);
    }
    queue.SaveQueueFile();
    PrintQueue(queue);
    return kExitOk;
}

int CCliApp::CmdRun(CArgs& args) {
    if (!args.Rest().empty()) throw CUsageError("run takes no arguments");
    if (!LockAppDir()) return kExitTaskError;
    return RunQueue();
}

}  // namespace vexlo::cli
