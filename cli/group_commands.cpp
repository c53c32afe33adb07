// Commands on newsgroups: the group list, the server's group list and the
// server connection test.
#include <algorithm>
#include <cstdio>

#include "cli/cli_app.h"
#include "cli/interrupt.h"
#include "cli/visible_text.h"
#include "decode/file_utils.h"
#include "groups/group_folder.h"
#include "groups/group_list.h"
#include "groups/group_record.h"
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
                    g.msgCount, g.lastScan.c_str(), Visible(g.saveToDirectory).c_str());
    }
}

// Names a group list cannot hold are refused before anything is read.
void RequireUsableNames(const std::vector<std::string>& names) {
    for (const auto& name : names)
        if (!IsUsableGroupName(name))
            throw CUsageError("\"" + Visible(name) + "\" cannot be used as a newsgroup name");
}

// An existing folder for the save-to commands (relative to the application
// directory), with its trailing "/"; nullptr, or the dialogs' refusal text.
const char* SaveToFolder(const std::string& appDir, const std::string& dir, std::string& folder) {
    return CheckSaveToFolder(dir.front() == '/' ? dir : appDir + dir, folder);
}

}  // namespace
void SelectGroups(CGroupList& groups, const std::vector<std::string>& names) {
    groups.ClearSelection();
    for (const auto& name : names) {
        int row = groups.FindGroup(name);
        if (row < 0) throw CUsageError("no newsgroup " + Visible(name) + " in the group list");
        groups.Select(row, true);
    }
}

int CCliApp::CmdGroup(CArgs& args) {
    const std::string action = args.Empty() ? "list" : args.Next("group action");
    CGroupList& groups = Controller().Groups();
    if (action == "list") {
        if (!args.Rest().empty()) throw CUsageError("group list takes no arguments");
        OpenData(false);
        PrintGroups(groups);
        return kExitOk;
    }
    if (action == "add") {
        const std::string name = args.Next("group name");
        std::string dir;
        const bool hasDir = args.Option("--dir", dir, /*allowEmpty=*/false);
        if (!args.Rest().empty()) throw CUsageError("group add takes one name");
        RequireUsableNames({name});
        if (!OpenData(true)) return kExitTaskError;
        if (groups.GroupExists(name))
            return groups.AddNewGroup(name, dir) ? kExitOk : kExitTaskError;
        if (!Begin(true)) return kExitTaskError;
        if (hasDir) {
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
        if (!groups.AddNewGroup(name, dir)) return kExitTaskError;
    } else if (action == "remove" || action == "reset" || action == "dir") {
        const bool subfolder = action == "dir" && args.Flag("--subfolder");
        std::vector<std::string> names = args.Rest();
        std::string folder;
        if (action == "dir") {
            if (names.size() < 2) throw CUsageError("group dir needs group names and a directory");
            const std::string dir = names.back();
            names.pop_back();
            if (dir.empty()) throw CUsageError("group dir needs a directory");
            if (const char* refusal = SaveToFolder(context_.AppDir(), dir, folder)) {
                context_.messageBox.Show(refusal, MessageIcon::Stop);
                return kExitUsage;
            }
        }
        if (names.empty()) throw CUsageError("group " + action + " needs group names");
        if (!OpenData(true)) return kExitTaskError;
        SelectGroups(groups, names);
        if (!Begin(true)) return kExitTaskError;
        if (action == "remove") {
            groups.DeleteSelectedGroups();
        } else if (action == "reset") {
            groups.ResetSelectedGroups();
        } else {
            // As the save-to folder dialog: the folder and the box are kept for next time.
            groups.SetSelectedSaveToDirectory(folder, subfolder);
            context_.settings.SetSaveDefault(folder);
            context_.settings.SetOption(OPT_GROUP_SUBFOLDER, subfolder ? 1 : 0);
            context_.settings.Save(context_.profile);
        }
    } else {
        throw CUsageError("unknown group action " + action);
    }
    if (!groups.SaveGroupFile()) return kExitTaskError;
    PrintGroups(groups);
    return kExitOk;
}

int CCliApp::CmdGroups(CArgs& args) {
    const std::string action = args.Next("groups action");
    if (action == "fetch") return GroupsFetch(args);
    if (action == "list") {
        // The server group list dialog starts with this filter.
        std::string filter = kDefaultServerGroupFilter;
        args.Option("--filter", filter);
        if (!args.Rest().empty()) throw CUsageError("groups list takes only --filter");
        const std::string path = context_.DataPath() + kServerGroupListFileName;
        if (!FileExists(path)) {
            std::fprintf(
                stderr, "vexlo: no server group list yet; fetch it with: vexlo-cli groups fetch\n");
            return kExitTaskError;
        }
        std::vector<std::string> names;
        if (!ReadServerGroupList(path, filter, names)) {
            context_.messageBox.Show(kGroupListOpenErrorText, MessageIcon::Exclamation);
            return kExitTaskError;
        }
        std::stable_sort(
            names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return CompareGroupNames(a, b) < 0; });
        for (const auto& name : names) std::printf("%s\n", Visible(name).c_str());
        std::printf("%zu groups%s\n", names.size(),
                    filter.empty() ? "" : (" containing \"" + Visible(filter) + "\"").c_str());
        return kExitOk;
    }
    if (action != "add") throw CUsageError("unknown groups action " + action);
    const bool subfolder = args.Flag("--subfolder");
    std::string dir, folder;
    const bool hasDir = args.Option("--dir", dir, /*allowEmpty=*/false);
    const std::vector<std::string> names = args.Rest();
    if (names.empty()) throw CUsageError("groups add needs group names");
    if (subfolder && !hasDir) throw CUsageError("--subfolder goes with --dir");
    RequireUsableNames(names);
    if (hasDir) {
        if (const char* refusal = SaveToFolder(context_.AppDir(), dir, folder)) {
            context_.messageBox.Show(refusal, MessageIcon::Stop);
            return kExitUsage;
        }
    }
    if (!OpenData(true) || !Begin(true)) return kExitTaskError;
    CGroupList& groups = Controller().Groups();
    if (hasDir) {
        AddServerGroups(groups, names, folder, subfolder, context_.messageBox);
        context_.settings.SetSaveDefault(folder);
        context_.settings.SetOption(OPT_GROUP_SUBFOLDER, subfolder ? 1 : 0);
        context_.settings.Save(context_.profile);
    } else {
        // Like `group add`: each group into a folder of its own under downloads/.
        AddServerGroups(groups, names, context_.AppDir() + "downloads/", true, context_.messageBox);
    }
    if (!groups.SaveGroupFile()) return kExitTaskError;
    PrintGroups(groups);
    return kExitOk;
}

int CCliApp::GroupsFetch(CArgs& args) {
    std::string filter;
    args.Option("--filter", filter);
    if (!args.Rest().empty()) throw CUsageError("groups fetch takes only --filter");
    if (!Begin(false)) return kExitTaskError;
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
        std::fprintf(stderr, "vexlo: %s\n",
                     result.errorText.empty() ? "the group list was not fetched"
                                              : Visible(result.errorText).c_str());
        return gInterrupted ? InterruptedExitStatus() : kExitTaskError;
    }
    std::vector<std::string> names;
    ReadServerGroupList(context_.DataPath() + kServerGroupListFileName, filter, names);
    for (const auto& name : names) std::printf("%s\n", Visible(name).c_str());
    std::printf("Group Refresh Complete - %d Groups Read (%zu shown)\n", result.count,
                names.size());
    return kExitOk;
}

int CCliApp::CmdTest(CArgs& args) {
    int connections = context_.settings.GetConn();
    args.IntOption("--connections", connections);
    if (!args.Rest().empty()) throw CUsageError("test takes only --connections");
    if (connections < 1 || connections > 8) throw CUsageError("--connections must be 1 to 8");
    if (!Begin(false)) return kExitTaskError;
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
    login.tls = TlsFromSettings(s, &context_.log);
    CInterruptGuard guard;
    std::printf("Testing %s, Port %d\n", s.GetServer().c_str(), s.GetPort());
    bool allOk = true;
    RunServerTest(context_, login, s.GetServer(), connections, &gInterrupted,
                  [&](const ServerTestRow& row) {
                      std::printf("  Channel %d: %s %s\n", row.channel, row.ok ? "OK  " : "FAIL",
                                  Visible(row.result).c_str());
                      std::fflush(stdout);
                      allOk = allOk && row.ok;
                  });
    return allOk ? kExitOk : kExitTaskError;
}

}  // namespace vexlo::cli
