// Commands on a group's headers: scans, header lists and queueing downloads
// from them.
#include <algorithm>
#include <cstdio>

#include "cli/cli_app.h"
#include "cli/visible_text.h"
#include "groups/group_list.h"
#include "groups/group_record.h"
#include "groups/header_list.h"
#include "tasks/main_controller.h"

namespace vexlo::cli {

namespace {

// Header lists are only kept for groups of the group list; any other name is
// most likely mistyped.
void RequireGroup(const CGroupList& groups, const std::string& name) {
    if (groups.FindGroup(name) < 0)
        throw CUsageError("no newsgroup " + Visible(name) + " in the group list");
}

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

// A directory given on the command line, relative to the application directory.
std::string Absolute(const std::string& appDir, const std::string& dir) {
    return dir.empty() || dir.front() == '/' ? dir : appDir + dir;
}

// The SCAN NEW task of `group` that waits in the queue, or null. A scan that
// was stopped (or its process killed) stays queued; running a second one
// beside it would scan the same articles twice, and the second scan would
// find nothing new.
const CTask* WaitingScan(const CDownloadQueue& queue, const std::string& group) {
    for (size_t i = 0; i < queue.Count(); ++i) {
        const CTask& task = *queue.Row(i).task;
        if (queue.Row(i).icon == RowIcon::Waiting && task.GetType() == kTaskScanNew &&
            GroupNamesEqual(task.GetGroupName(), group))
            return &task;
    }
    return nullptr;
}

}  // namespace

int CCliApp::CmdScan(CArgs& args) {
    const bool all = args.Flag("--all");
    const std::vector<std::string> names = args.Rest();
    if (all == !names.empty()) throw CUsageError("scan takes --all or group names");
    if (!OpenData(true)) return kExitTaskError;
    CMainController& controller = Controller();
    CGroupList& groups = controller.Groups();
    if (!all) SelectGroups(groups, names);
    if (!Begin(true)) return kExitTaskError;

    // This command runs its own scans only: the waiting one of a group, or a new one.
    CDownloadQueue& queue = controller.Queue();
    std::set<const CTask*> scans, before;
    std::vector<std::string> fresh;
    for (const std::string& name : groups.ScanGroupNames(!all, /*scanToTop=*/false)) {
        if (const CTask* waiting = WaitingScan(queue, name)) {
            std::printf("Task %u, waiting to scan %s, runs now.\n", waiting->GetId(), name.c_str());
            scans.insert(waiting);
        } else {
            fresh.push_back(name);
        }
    }
    for (size_t i = 0; i < queue.Count(); ++i) before.insert(queue.Row(i).task.get());
    controller.ScanGroups(fresh);
    for (size_t i = 0; i < queue.Count(); ++i)
        if (!before.count(queue.Row(i).task.get())) scans.insert(queue.Row(i).task.get());
    queue.SaveQueueFile();
    return RunQueue(&scans);
}

int CCliApp::CmdList(CArgs& args) {
    std::string group = args.Next("group name");
    CHeaderList list(context_);
    list.SetMode(args.Flag("--msg") ? HeaderMode::Messages : HeaderMode::Binaries);
    std::string filter;
    if (args.Option("--filter", filter)) list.SetFilter(filter);
    list.SetShowOnlyNew(args.Flag("--new"));
    if (!args.Rest().empty()) throw CUsageError("list takes one group");
    OpenData(false);
    RequireGroup(Controller().Groups(), group);
    if (!list.OpenGroup(group)) return kExitTaskError;
    std::printf("%6s %5s %8s  %-60s %s\n", "Index", "Life", "Lines", "Header", "From");
    for (const HeaderRow& row : list.Rows())
        std::printf("%6u %5s %8llu %c%-60s %s\n", row.index, CHeaderList::LifeText(row).c_str(),
                    static_cast<unsigned long long>(row.lines), row.isNew ? '*' : ' ',
                    Visible(list.Subject(row)).c_str(), Visible(list.Poster(row)).c_str());
    std::printf("%zu %s%s\n", list.Rows().size(),
                list.Mode() == HeaderMode::Binaries ? "binaries" : "messages",
                list.Rows().empty() ? " (scan the group first?)" : "");
    return kExitOk;
}

int CCliApp::CmdGet(CArgs& args) {
    const std::string group = args.Next("group name");
    const bool all = args.Flag("--all");
    const bool top = args.Flag("--top");
    std::string filter, dir, channels;
    const bool byFilter = args.Option("--filter", filter);
    args.Option("--dir", dir, /*allowEmpty=*/false);
    const bool hasChannels = args.Option("--channels", channels);
    const std::vector<std::string> indexes = args.Rest();
    if (static_cast<int>(all) + static_cast<int>(byFilter) + static_cast<int>(!indexes.empty()) !=
        1)
        throw CUsageError("get takes --all, --filter TEXT or indexes");
    CAppSettings& s = context_.settings;
    s.GetChannelMask();  // repairs a Conn outside 1..8
    const uint32_t affinity =
        hasChannels ? ParseChannels(channels, s.GetConn(), "--channels") : s.GetAffinity();
    dir = Absolute(context_.AppDir(), dir);

    if (!OpenData(true)) return kExitTaskError;
    CMainController& controller = Controller();
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
    if (!Begin(true)) return kExitTaskError;
    const int queued = list.QueueSelectedBinaries(controller, dir, top, affinity);
    controller.Queue().SaveQueueFile();
    if (hasChannels) {
        // As the get-and-decode dialog's: the next get starts from these channels.
        s.SetAffinity(affinity);
        s.Save(context_.profile);
    }
    std::printf("%d task(s) queued.\n", queued);
    return queued > 0 ? kExitOk : kExitTaskError;
}

int CCliApp::CmdJoin(CArgs& args) {
    const std::string group = args.Next("group name");
    const bool top = args.Flag("--top");
    std::string dir;
    args.Option("--dir", dir, /*allowEmpty=*/false);
    const std::vector<std::string> indexes = args.Rest();
    if (indexes.empty()) throw CUsageError("join needs message indexes");
    dir = Absolute(context_.AppDir(), dir);
    if (!OpenData(true)) return kExitTaskError;
    CMainController& controller = Controller();
    RequireGroup(controller.Groups(), group);
    CHeaderList list(context_);
    list.SetMode(HeaderMode::Messages);
    if (!list.OpenGroup(group)) return kExitTaskError;
    std::vector<size_t> order;
    SelectIndexes(list, indexes, &order);
    if (!Begin(true)) return kExitTaskError;
    const int queued =
        list.JoinSelectedMessages(controller, order, dir, top, context_.settings.GetAffinity());
    controller.Queue().SaveQueueFile();
    std::printf("%d task(s) queued.\n", queued);
    return queued > 0 ? kExitOk : kExitTaskError;
}

}  // namespace vexlo::cli
