#include "groups/server_group_list.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "core/app_context.h"
#include "core/app_settings.h"
#include "decode/file_utils.h"
#include "groups/group_list.h"
#include "groups/group_record.h"
#include "groups/server_group_file.h"
#include "tasks/task_messages.h"

namespace vexlo {

namespace {

// `format` with its printf-style fields filled; the texts are short fixed ones.
template <typename... Args>
std::string Format(const char* format, Args... args) {
    int n = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<size_t>(std::max(n, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string SelectionText(int selected, int total) {
    if (total == 0) return kNoItemsText;
    return Format(kItemsSelectedText, selected, total);
}

bool FilterEditDiffers(std::string_view edit, std::string_view filter) {
    return !std::equal(edit.begin(), edit.end(), filter.begin(), filter.end(),
                       [](char a, char b) { return FoldCase(a) == FoldCase(b); });
}

AddGroupsResult AddServerGroups(CGroupList& groups, const std::vector<std::string>& names,
                                std::string_view folder, bool subfolder, IMessageBox& messageBox) {
    AddGroupsResult result;
    std::string skippedName;
    for (const std::string& row : names) {
        std::string_view name = std::string_view(row).substr(0, kMaxTextLength);
        if (groups.GroupExists(name)) {
            ++result.skipped;
            skippedName = name;
            continue;
        }
        std::string directory(folder);
        if (subfolder) directory.append(name);
        result.added += groups.AddGroup(name, directory);
    }
    if (result.skipped == 1) {
        messageBox.Show(Format(kGroupNotAddedText, skippedName.c_str()), MessageIcon::Information);
    } else if (result.skipped > 1) {
        messageBox.Show(Format(kGroupsSkippedText, result.skipped), MessageIcon::Information);
    }
    return result;
}

CServerGroupList::CServerGroupList(CAppContext& app, CGroupList& groups)
    : app_(app),
      groups_(groups),
      allPath_(app.DataPath() + kServerGroupListFileName),
      tempPath_(app.DataPath() + kServerGroupTempFileName) {}

CServerGroupList::~CServerGroupList() {
    // A refresh still running when the model goes away is not waited out.
    if (worker_) worker_->SetAbort(1);
    Close();
}

void CServerGroupList::Open() {
    controls_ = Controls{};
    filterEdit_ = filter_;
    worker_ = StartServerWorker(app_, notify_, tempPath_);
    if (!worker_) controls_.refresh = false;
    Changed(Change::Controls);
    if (!FileExists(allPath_)) {
        app_.messageBox.Show(kNoServerGroupListText, MessageIcon::Information);
    } else {
        LoadGroupListFile();
    }
    UpdateSelectionText();
}

void CServerGroupList::Close() {
    if (!worker_) return;
    worker_->Stop();
    worker_.reset();
    refreshing_ = false;
}

void CServerGroupList::SetFilterEdit(std::string_view text) {
    filterEdit_ = std::string(text.substr(0, kMaxServerGroupFilter));
    controls_.apply = FilterEditDiffers(filterEdit_, filter_);
    Changed(Change::Controls);
}

void CServerGroupList::ApplyFilter() {
    filter_ = filterEdit_;
    controls_.apply = false;
    Changed(Change::Filter);
    Changed(Change::Controls);
    LoadGroupListFile();
    UpdateSelectionText();
}

void CServerGroupList::LoadGroupListFile() {
    std::vector<std::string> names;
    if (!ReadServerGroupList(allPath_, filter_, names)) {
        app_.messageBox.Show(kGroupListOpenErrorText, MessageIcon::Exclamation);
        return;
    }
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return CompareGroupNames(a, b) < 0;
    });
    rows_ = std::move(names);
    selected_.assign(rows_.size(), false);
    controls_.add = false;  // nothing is selected in the new rows
    Changed(Change::Rows);
    Changed(Change::Controls);
}

void CServerGroupList::Select(int row, bool selected) {
    selected_[static_cast<size_t>(row)] = selected;
    controls_.add = SelectedCount() > 0 && !refreshing_;
    Changed(Change::Selection);
    Changed(Change::Controls);
    UpdateSelectionText();
}

void CServerGroupList::SelectRange(int first, int last, bool selected) {
    for (int row = first; row <= last; ++row) selected_[static_cast<size_t>(row)] = selected;
    controls_.add = SelectedCount() > 0 && !refreshing_;
    Changed(Change::Selection);
    Changed(Change::Controls);
    UpdateSelectionText();
}

void CServerGroupList::SelectAll() {
    selected_.assign(rows_.size(), true);
    controls_.add = !rows_.empty() && !refreshing_;
    Changed(Change::Selection);
    Changed(Change::Controls);
    UpdateSelectionText();
}

int CServerGroupList::SelectedCount() const {
    return static_cast<int>(std::count(selected_.begin(), selected_.end(), true));
}

void CServerGroupList::SetStatus(std::string text) {
    status_ = std::move(text);
    Changed(Change::Status);
}

void CServerGroupList::UpdateSelectionText() {
    SetStatus(SelectionText(SelectedCount(), Count()));
}

bool CServerGroupList::Refresh() {
    if (!worker_ || refreshing_) return false;
    refreshing_ = true;
    controls_.ok = false;
    controls_.add = false;
    controls_.refresh = false;
    controls_.cancel = true;
    Changed(Change::Controls);
    worker_->SetAbort(0);
    worker_->Post(WM_WORKER_LIST);
    return true;
}

void CServerGroupList::Cancel() {
    if (worker_) worker_->SetAbort(1);
    controls_.cancel = false;
    Changed(Change::Controls);
    SetStatus(kAbortingText);
}

int CServerGroupList::ProcessMessages(uint32_t timeoutMs) {
    int handled = 0;
    ThreadMessage message;
    if (!notify_.GetFor(message, timeoutMs)) return 0;
    for (;;) {
        if (message.message == WM_TASK_DONE) OnNotice(ReadWorkerNotice(message));
        ++handled;
        std::optional<ThreadMessage> next = notify_.Peek();
        if (!next) break;
        message = *next;
    }
    return handled;
}

void CServerGroupList::OnNotice(const WorkerNotice& notice) {
    if (notice.kind == kWorkerNoticeProgress) {
        SetStatus(Format(kGroupsReadText, notice.count));
    } else if (notice.kind == kWorkerNoticeComplete) {
        SetStatus(Format(kGroupRefreshCompleteText, notice.count));
        InstallServerGroupList(tempPath_, allPath_, app_.messageBox);
        EndRefresh();
        LoadGroupListFile();
    } else {
        SetStatus(worker_ ? worker_->GetErrorText() : std::string());
        EndRefresh();
    }
    if (notice.kind != kWorkerNoticeProgress) {
        controls_.add = SelectedCount() > 0;
        Changed(Change::Controls);
    }
}

void CServerGroupList::EndRefresh() {
    refreshing_ = false;
    controls_.ok = true;
    controls_.refresh = true;
    controls_.cancel = false;
    Changed(Change::Controls);
}

AddGroupsResult CServerGroupList::Add(std::string_view folder, bool subfolder) {
    if (SelectedCount() == 0) {
        UpdateSelectionText();
        return {};
    }
    std::vector<std::string> names;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (selected_[i]) names.push_back(rows_[i]);
    return AddServerGroups(groups_, names, folder, subfolder, app_.messageBox);
}

FetchGroupListResult FetchServerGroupList(CAppContext& app, const std::atomic<bool>* abort,
                                          const std::function<void(int count)>& progress) {
    constexpr uint32_t kPollMs = 100;
    FetchGroupListResult result;
    const std::string tempPath = app.DataPath() + kServerGroupTempFileName;
    CThreadMessageQueue notify;
    std::unique_ptr<CServerTestThread> worker =
        StartServerWorker(app, notify, tempPath, &result.errorText);
    if (!worker) return result;
    worker->Post(WM_WORKER_LIST);
    for (;;) {
        if (abort != nullptr && abort->load()) worker->SetAbort(1);
        ThreadMessage message;
        if (!notify.GetFor(message, kPollMs)) continue;
        if (message.message != WM_TASK_DONE) continue;
        WorkerNotice notice = ReadWorkerNotice(message);
        if (notice.kind == kWorkerNoticeProgress) {
            if (progress) progress(notice.count);
            continue;
        }
        if (notice.kind == kWorkerNoticeComplete) {
            result.completed = true;
            result.count = notice.count;
            result.installed = InstallServerGroupList(
                tempPath, app.DataPath() + kServerGroupListFileName, app.messageBox);
        } else {
            result.count = -1;
            result.errorText = worker->GetErrorText();
        }
        break;
    }
    worker->Stop();
    return result;
}

}  // namespace vexlo
