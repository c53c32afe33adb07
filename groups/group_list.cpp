#include "groups/group_list.h"

#include <algorithm>
#include <utility>

#include "core/app_context.h"
#include "core/app_settings.h"
#include "groups/group_file.h"
#include "groups/group_files.h"
#include "platform/file.h"

namespace vexlo {

namespace {

// The text with its first `placeholder` ("%s" or "%d") replaced by `value`.
std::string Fill(std::string text, std::string_view placeholder, std::string_view value) {
    size_t at = text.find(placeholder);
    if (at != std::string::npos) text.replace(at, placeholder.size(), value);
    return text;
}

std::string CutText(std::string_view text) {
    return std::string(text.substr(0, kMaxTextLength));
}

constexpr size_t kMaxSystemErrorText = 511;

}  // namespace

CGroupList::CGroupList(CAppContext& app) : app_(app) {}

void CGroupList::Notify(GroupListChange::Kind kind, int row) const {
    if (listener_) listener_(GroupListChange{kind, row});
}

std::string CGroupList::GroupFilePath() const {
    return app_.DataPath() + kGroupFileName;
}

void CGroupList::LoadGroupFile(FileAccess access) {
    GroupFileContents file = ReadGroupFile(GroupFilePath());
    damagedUncopied_ = false;
    // Sorting stably keeps equal names in file order, as inserting them one by
    // one behind their equals would.
    std::stable_sort(file.records.begin(), file.records.end(),
                     [](const GroupRecord& a, const GroupRecord& b) {
                         return CompareGroupNames(a.name, b.name) < 0;
                     });
    Notify(GroupListChange::Kind::BeginReset);
    rows_.clear();
    rows_.reserve(file.records.size());
    for (GroupRecord& record : file.records) rows_.push_back(Row{std::move(record), false});
    Notify(GroupListChange::Kind::EndReset);
    if (!file.damaged) return;
    std::string text;
    if (file.truncated) {
        text = Fill(kGroupFileIncompleteText, "%d", std::to_string(file.expected));
        text = Fill(std::move(text), "%d", std::to_string(rows_.size()));
    } else {
        text = Fill(kGroupFileDamagedText, "%d", std::to_string(rows_.size()));
    }
    if (access == FileAccess::kOwner) {
        // The next save replaces the file: its bytes are kept first.
        std::string copy = KeepDamagedCopy(GroupFilePath());
        damagedUncopied_ = copy.empty();
        if (!copy.empty()) text += DamagedCopyNote(copy);
    }
    app_.messageBox.Show(text, MessageIcon::Exclamation);
}

bool CGroupList::SaveGroupFile() {
    if (damagedUncopied_) {
        if (KeepDamagedCopy(GroupFilePath()).empty()) {
            app_.messageBox.Show(kGroupFileSaveErrorText, MessageIcon::Exclamation);
            return false;
        }
        damagedUncopied_ = false;
    }
    std::vector<GroupRecord> records;
    records.reserve(rows_.size());
    for (const Row& row : rows_) records.push_back(row.record);
    std::string error;
    if (WriteGroupFile(GroupFilePath(), records, error)) return true;
    app_.messageBox.Show(kGroupFileSaveErrorText, MessageIcon::Exclamation);
    if (!error.empty()) {
        app_.messageBox.Show(std::string_view(error).substr(0, kMaxSystemErrorText),
                             MessageIcon::Information);
    }
    return false;
}

int CGroupList::FindGroup(std::string_view name) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (GroupNamesEqual(rows_[i].record.name, name)) return static_cast<int>(i);
    }
    return -1;
}

size_t CGroupList::InsertPosition(std::string_view name) const {
    auto it =
        std::upper_bound(rows_.begin(), rows_.end(), name, [](std::string_view n, const Row& row) {
            return CompareGroupNames(n, row.record.name) < 0;
        });
    return static_cast<size_t>(it - rows_.begin());
}

int CGroupList::AddGroup(std::string_view name, std::string_view saveToDirectory) {
    if (!IsUsableGroupName(name)) return 0;
    Row row;
    row.record.name = std::string(name);
    row.record.saveToDirectory = CutText(saveToDirectory);
    size_t at = InsertPosition(name);
    Notify(GroupListChange::Kind::BeginInsert, static_cast<int>(at));
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    Notify(GroupListChange::Kind::EndInsert, static_cast<int>(at));
    return 1;
}

bool CGroupList::AddNewGroup(std::string_view name, std::string_view saveToDirectory) {
    if (GroupExists(name)) {
        app_.messageBox.Show(Fill(kGroupAlreadyListedText, "%s", name), MessageIcon::Information);
        return false;
    }
    if (AddGroup(name, saveToDirectory) == 0) {
        app_.messageBox.Show(Fill(kGroupNameRefusedText, "%s", name), MessageIcon::Stop);
        return false;
    }
    return true;
}

void CGroupList::UpdateGroupAfterScan(std::string_view name, int32_t binCount, int32_t newCount,
                                      int32_t msgCount, std::time_t when) {
    int row = FindGroup(name);
    if (row < 0) return;
    GroupRecord& record = rows_[static_cast<size_t>(row)].record;
    record.binCount = binCount;
    record.newCount = newCount;
    record.msgCount = msgCount;
    record.lastScan = FormatScanTime(when);
    Notify(GroupListChange::Kind::RowChanged, row);
}

bool CGroupList::GetSaveToDirectory(std::string_view name, std::string& out) const {
    int row = FindGroup(name);
    if (row < 0) return false;
    out = Group(row).saveToDirectory;
    if (!out.empty() && out.back() != '/') out.push_back('/');
    return true;
}

void CGroupList::SetSaveToDirectory(int row, std::string_view directory) {
    rows_[static_cast<size_t>(row)].record.saveToDirectory = CutText(directory);
    Notify(GroupListChange::Kind::RowChanged, row);
}

void CGroupList::Select(int row, bool selected) {
    Row& r = rows_[static_cast<size_t>(row)];
    if (r.selected == selected) return;
    r.selected = selected;
    Notify(GroupListChange::Kind::SelectionChanged, row);
}

void CGroupList::SelectAll() {
    bool changed = false;
    for (Row& row : rows_) changed |= !std::exchange(row.selected, true);
    if (changed) Notify(GroupListChange::Kind::SelectionChanged);
}

void CGroupList::ClearSelection() {
    bool changed = false;
    for (Row& row : rows_) changed |= std::exchange(row.selected, false);
    if (changed) Notify(GroupListChange::Kind::SelectionChanged);
}

int CGroupList::SelectedCount() const {
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.selected; }));
}

std::vector<int> CGroupList::SelectedRows() const {
    std::vector<int> selected;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].selected) selected.push_back(static_cast<int>(i));
    }
    return selected;
}

int CGroupList::FirstSelected() const {
    std::vector<int> selected = SelectedRows();
    return selected.empty() ? -1 : selected.front();
}

void CGroupList::SelectEmptyGroups() {
    bool changed = false;
    for (Row& row : rows_) {
        if (row.record.binCount == 0 && row.record.newCount == 0)
            changed |= !std::exchange(row.selected, true);
    }
    if (changed) Notify(GroupListChange::Kind::SelectionChanged);
}

int CGroupList::DeleteSelectedGroups() {
    return ClearGroupsUnderLock(GroupCommand::Delete);
}

int CGroupList::ResetSelectedGroups() {
    return ClearGroupsUnderLock(GroupCommand::Reset);
}

int CGroupList::ClearGroupsUnderLock(GroupCommand command) {
    const bool remove = command == GroupCommand::Delete;
    std::vector<int> selected = SelectedRows();
    std::string question;
    if (selected.size() == 1) {
        question = Fill(remove ? kDeleteOneGroupText : kResetOneGroupText, "%s",
                        Group(selected.front()).name);
    } else {
        question = Fill(remove ? kDeleteGroupsText : kResetGroupsText, "%d",
                        std::to_string(selected.size()));
    }
    int done = 0;
    if (app_.messageBox.Show(question, MessageIcon::Question, MessageButtons::YesNo) ==
        MessageAnswer::Yes) {
        // Last to first, so removing a row leaves the rows still to visit in place.
        for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
            size_t at = static_cast<size_t>(*it);
            // The message boxes let the main loop run; a row may have gone meanwhile.
            if (at >= rows_.size()) continue;
            std::string name = rows_[at].record.name;
            if (!LockGroupOrSkip(name, command)) continue;
            CNamedLockHolder hold(app_.locks, name);
            if (at >= rows_.size() || rows_[at].record.name != name) continue;
            if (remove) {
                Notify(GroupListChange::Kind::BeginRemove, static_cast<int>(at));
                rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
                Notify(GroupListChange::Kind::EndRemove, static_cast<int>(at));
            } else {
                GroupRecord& record = rows_[at].record;
                record.binCount = record.newCount = record.msgCount = 0;
                record.lastScan = kNeverScanned;
                Notify(GroupListChange::Kind::RowChanged, static_cast<int>(at));
            }
            RemoveGroupDataFiles(name);
            ++done;
        }
    }
    if (remove) Notify(GroupListChange::Kind::FocusList);
    return done;
}

bool CGroupList::LockGroupOrSkip(const std::string& name, GroupCommand command) {
    const char* text = command == GroupCommand::Delete ? kDeleteLockedText : kResetLockedText;
    while (app_.locks.TryLock(name) == 0) {
        MessageAnswer answer = app_.messageBox.Show(
            Fill(text, "%s", name), MessageIcon::Exclamation, MessageButtons::RetryCancel);
        if (answer != MessageAnswer::Retry) return false;
    }
    return true;
}

void CGroupList::RemoveGroupDataFiles(const std::string& name) const {
    // A missing file or one that cannot be removed is no error: the next scan
    // finds no .MSG/.BIN pair either way, or reports its own trouble.
    const std::string dataPath = app_.DataPath();
    RemoveFile(GroupDataFile(dataPath, name, kBinExt));
    RemoveFile(GroupDataFile(dataPath, name, kMsgExt));
    // A killed scan's committed next pair would otherwise come back at the
    // group's next scan (groups/scan_commit.h).
    const GroupFilePaths paths = GroupFilePaths::Make(dataPath, name);
    RemoveFile(paths.nextBin);
    RemoveFile(paths.nextMsg);
}

std::string CGroupList::SelectedSaveToPreset() const {
    std::vector<int> selected = SelectedRows();
    if (selected.empty()) return {};
    const std::string& first = Group(selected.front()).saveToDirectory;
    for (int row : selected) {
        if (Group(row).saveToDirectory != first) return {};
    }
    return first;
}

void CGroupList::SetSelectedSaveToDirectory(std::string_view folder, bool subfolder) {
    for (int row : SelectedRows()) {
        std::string directory(folder);
        if (subfolder) directory += Group(row).name;
        SetSaveToDirectory(row, directory);
    }
}

std::vector<std::string> CGroupList::ScanGroupNames(bool selectedOnly, bool scanToTop) const {
    std::vector<std::string> names;
    for (const Row& row : rows_) {
        if ((!selectedOnly || row.selected) && !row.record.name.empty())
            names.push_back(row.record.name);
    }
    if (scanToTop) std::reverse(names.begin(), names.end());
    return names;
}

}  // namespace vexlo
