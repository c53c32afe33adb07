// Commands on newsgroups: the group list, the server's group list, scans,
// header lists and queueing downloads from them.
#include <algorithm>
#include <cstdio>

#include "cli/cli_app.h"
#include "cli/interrupt.h"
#include "decode/file_utils.h"
#include "groups/group_list.h"
#include "groups/header_list.h"
#include "groups/server_group_file.h"
#include "groups/server_group_list.h"
#include "nntp/server_test.h"
#include "nntp/server_test_thread.h"
#include "tasks/main_controller.h"

namespace vexlo::cli {

namespace {

void PrintGroups(const CGroupList& groups) {
    if (groups.Count() == 0) {
        std::printf("No newsgroups. Add one with: vexlo-cli group add NAME\n");
        return;
    }
    std::printf("%-40s %6s %6s %7s  %-24s %s\n", "Newsgroup", "BIN", "NEW", "MSG", "Last Scan",
                "Save-To");
    for (int i = 0; i < groups.Count(); ++i) {
        const GroupRecord& g = groups.Group(i);
        std::printf("%-40s %6d %6d %7d  %-24s %s\n", g.name.c_str(), g.binCount, g.newCount,
                    g.msgCount, g.lastScan.c_str(), g.saveToDirectory.c_str());
    }
}

// Selects the named groups; unknown names are a usage error.
void SelectGroups(CGroupList& groups, const std::vector<std::string>& names) {
    groups.ClearSelection();
    for (const auto& name : names) {
        int row = groups.FindGroup(name);
        if (row < 0) throw CUsageError("no newsgroup " + name + " in the group list");
        groups.Select(row, true);
    }
}

// Header lists are only kept for groups of the group list; any other name is
// most likely mistyped.
void RequireGroup(const CGroupList& groups, const std::string& name) {
    if (groups.FindGroup(name) < 0)
        throw CUsageError("no newsgroup " + name + " in the group list");
}

// "1,2,5" -> the channel mask.
uint32_t ParseChannels(const std::string& text) {
    uint32_t mask = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? comma : comma - start);
        int channel = ParseNumber(part, "--channels");
        if (channel < 1 || channel > 8) throw CUsageError("channels are 1 to 8");
        mask |= 1u << (channel - 1);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return mask;
}

}  // namespace

int CCliApp::CmdGroup(CArgs& args) {
    std::string action = args.Empty() ? "list" : args.Next("group action");
    if (action != "list" && !LockAppDir()) return kExitTaskError;
    CMainController& controller = Controller();
    CGroupList& groups = controller.Groups();
    controller.Load();
    if (action == "list") {
        if (!args.Rest().empty()) throw CUsageError("group list takes no arguments");
        PrintGroups(groups);
        return kExitOk;
    }
    if (action == "add") {
        std::string name = args.Next("group name");
        std::string dir;
        if (args.Option("--dir", dir)) {
            if (dir.front() != '/') dir = context_.AppDir() + dir;
            SetTrailingBackslash(true, dir);
            if (!CreateDirectoryPath(dir)) {
                context_.messageBox.Show("Unable to create the directory " + dir,
                                         MessageIcon::Stop);
                return kExitTaskError;
            }
        } else {
            dir = context_.AppDir() + "downloads/" + name + "/";
        }
        if (!args.Rest().empty()) throw CUsageError("group add takes one name");
        if (!groups.AddNewGroup(name, dir)) return kExitTaskError;
    } else if (action == "remove" || action == "reset") {
        std::vector<std::string> names = args.Rest();
        if (names.empty()) throw CUsageError("group " + action + " needs group names");
        SelectGroups(groups, names);
        if (action == "remove")
            groups.DeleteSelectedGroups();
        else
            groups.ResetSelectedGroups();
    } else {
        throw CUsageError("unknown group action " + action);
    }
    if (!groups.SaveGroupFile()) return kExitTaskError;
    PrintGroups(groups);
    return kExitOk;
}

int CCliApp::CmdGroups(CArgs& args) {
    std::string action = args.Next("groups action");
    if (action != "fetch") throw CUsageError("unknown groups action " + action);
    std::string filter;
    args.Option("--filter", filter);
    if (!args.Rest().empty()) throw CUsageError("groups fetch takes only --filter");
    CInterruptGuard guard;
    std::printf("Fetching the group list from %s ...\n", context_.settings.GetServer().c_str());
    std::fflush(stdout);
    FetchGroupListResult result = FetchServerGroupList(context_, &gInterrupted, [](int count) {
        if (count % 5000 == 0) {
            std::printf("  %d groups read\n", count);
            std::fflush(stdout);
        }
    });
    if (!result.completed || !result.installed) {
        std::fprintf(
            stderr, "vexlo: %s\n",
            result.errorText.empty() ? "the group list was not fetched" : result.errorText.c_str());
        return gInterrupted ? kExitInterrupted : kExitTaskError;
    }
    std::vector<std::string> names;
    ReadServerGroupList(context_.DataPath() + "_GROUPS.ALL", filter, names);
    for (const auto& name : names) std::printf("%s\n", name.c_str());
    std::printf("Group Refresh Complete - %d Groups Read (%zu shown)\n", result.count,
                names.size());
    return kExitOk;
}

int CCliApp::CmdTest(CArgs& args) {
    int connections = context_.settings.GetConn();
    args.IntOption("--connections", connections);
    if (!args.Rest().empty()) throw CUsageError("test takes only --connections");
    if (connections < 1 || connections > 8) throw CUsageError("--connections must be 1 to 8");
    const CAppSettings& s = context_.settings;
    ServerLogin login;
    if (!ResolveServerAddress(s.GetServer(), &login.address)) {
        context_.messageBox.Show("Error Getting Server IP Address.", MessageIcon::Stop);
        return kExitTaskError;
    }
    login.port = static_cast<uint16_t>(s.GetPort());
    login.useLogin = s.GetAuth() == 1 ? 1 : 0;
    login.user = s.GetUser();
    login.password = s.GetPass();
    CInterruptGuard guard;
    std::printf("Testing %s, Port %d\n", s.GetServer().c_str(), s.GetPort());
    bool allOk = true;
    RunServerTest(context_, login, s.GetServer(), connections, &gInterrupted,
                  [&](const ServerTestRow& row) {
                      std::printf("  Channel %d: %s %s\n", row.channel, row.ok ? "OK  " : "FAIL",
                                  row.result.c_str());
                      std::fflush(stdout);
                      allOk = allOk && row.ok;
                  });
    return allOk ? kExitOk : kExitTaskError;
}

int CCliApp::CmdScan(CArgs& args) {
    bool all = args.Flag("--all");
    std::vector<std::string> names = args.Rest();
    if (all == !names.empty()) throw CUsageError("scan takes --all or group names");
    if (!LockAppDir()) return kExitTaskError;
    CMainController& controller = Controller();
    CGroupList& groups = controller.Groups();
    controller.Load();
    if (all) {
        controller.ScanCommand(false);
    } else {
        SelectGroups(groups, names);
        controller.ScanCommand(true);
    }
    controller.Queue().SaveQueueFile();
    return RunQueue();
}

int CCliApp::CmdList(CArgs& args) {
    std::string group = args.Next("group name");
    CHeaderList list(context_);
    list.SetMode(args.Flag("--msg") ? HeaderMode::Messages : HeaderMode::Binaries);
    std::string filter;
    if (args.Option("--filter", filter)) list.SetFilter(filter);
    list.SetShowOnlyNew(args.Flag("--new"));
    if (!args.Rest().empty()) throw CUsageError("list takes one group");
    CMainController& controller = Controller();
    controller.Load();
    RequireGroup(controller.Groups(), group);
    if (!list.OpenGroup(group)) return kExitTaskError;
    std::printf("%6s %5s %8s  %-60s %s\n", "Index", "Life", "Lines", "Header", "From");
    for (const HeaderRow& row : list.Rows())
        std::printf("%6u %5s %8llu %c%-60s %s\n", row.index, row.lifeText.c_str(),
                    static_cast<unsigned long long>(row.lines), row.isNew ? '*' : ' ',
                    row.subject.c_str(), row.poster.c_str());
    std::printf("%zu %s%s\n", list.Rows().size(),
                list.Mode() == HeaderMode::Binaries ? "binaries" : "messages",
                list.Rows().empty() ? " (scan the group first?)" : "");
    return kExitOk;
}

namespace {

// Selects rows by their stable index; unknown indexes are a usage error.
void SelectIndexes(CHeaderList& list, const std::vector<std::string>& indexes,
                   std::vector<size_t>* order = nullptr) {
    for (const auto& text : indexes) {
        uint32_t index = static_cast<uint32_t>(ParseNumber(text, "index"));
        auto it = std::find_if(list.Rows().begin(), list.Rows().end(),
                               [&](const HeaderRow& r) { return r.index == index; });
        if (it == list.Rows().end()) throw CUsageError("no row with index " + text);
        size_t row = static_cast<size_t>(it - list.Rows().begin());
        if (it->selected) throw CUsageError("index " + text + " given twice");
        list.Select(row, true);
        if (order) order->push_back(row);
    }
}

}  // namespace

int CCliApp::CmdGet(CArgs& args) {
    std::string group = args.Next("group name");
    bool all = args.Flag("--all");
    bool top = args.Flag("--top");
    std::string filter, dir, channels;
    bool byFilter = args.Option("--filter", filter);
    args.Option("--dir", dir);
    uint32_t affinity = context_.settings.GetAffinity();
    if (args.Option("--channels", channels)) affinity = ParseChannels(channels);
    std::vector<std::string> indexes = args.Rest();
    if (static_cast<int>(all) + static_cast<int>(byFilter) + static_cast<int>(!indexes.empty()) !=
        1)
        throw CUsageError("get takes --all, --filter TEXT or indexes");
    if (!dir.empty() && dir.front() != '/') dir = context_.AppDir() + dir;
    if (!LockAppDir()) return kExitTaskError;

    CMainController& controller = Controller();
    controller.Load();
    RequireGroup(controller.Groups(), group);
    CHeaderList list(context_);
    if (byFilter) list.SetFilter(filter);
    if (!list.OpenGroup(group)) return kExitTaskError;
    if (all || byFilter)
        list.SelectAll();
    else
        SelectIndexes(list, indexes);
    if (list.SelectedCount() == 0) {
        std::fprintf(stderr, "vexlo: nothing matches in %s\n", group.c_str());
        return kExitTaskError;
    }
    int queued = list.QueueSelectedBinaries(controller, dir, top, affinity);
    controller.Queue().SaveQueueFile();
    std::printf("%d task(s) queued.\n", queued);
    return queued > 0 ? kExitOk : kExitTaskError;
}

int CCliApp::CmdJoin(CArgs& args) {
    std::string group = args.Next("group name");
    bool top = args.Flag("--top");
    std::string dir;
    args.Option("--dir", dir);
    std::vector<std::string> indexes = args.Rest();
    if (indexes.empty()) throw CUsageError("join needs message indexes");
    if (!dir.empty() && dir.front() != '/') dir = context_.AppDir() + dir;
    if (!LockAppDir()) return kExitTaskError;
    CMainController& controller = Controller();
    controller.Load();
    RequireGroup(controller.Groups(), group);
    CHeaderList list(context_);
    list.SetMode(HeaderMode::Messages);
    if (!list.OpenGroup(group)) return kExitTaskError;
    std::vector<size_t> order;
    SelectIndexes(list, indexes, &order);
    int queued =
        list.JoinSelectedMessages(controller, order, dir, top, context_.settings.GetAffinity());
    controller.Queue().SaveQueueFile();
    std::printf("%d task(s) queued.\n", queued);
    return queued > 0 ? kExitOk : kExitTaskError;
}

}  // namespace vexlo::cli
