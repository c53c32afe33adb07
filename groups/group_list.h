// CGroupList: the user's newsgroup list, the model behind the group bar.
//
// An ordered table of GroupRecord, kept sorted by name in ascending order with
// letters compared case-insensitively (equal names keep their insertion
// order), with a selection flag per row. It is read from DATA/_GROUPS.DAT when
// the main window is created and written back when the program closes; nothing
// is saved in between.
//
// The list decides; it draws nothing. The GUI and the command line both drive
// it: a view follows it through the listener (rows inserted, removed, changed,
// selection changed) and copies the user's selection into it with Select().
// Questions and failures go to the application's message box.
//
// Thread: owned by the main thread; every member is called there only. The one
// coordination with the channel threads is the named lock that bears a group's
// exact name: delete and reset hold it while they remove the group's .BIN and
// .MSG (a scan holds it while it rewrites them).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/damaged_file.h"
#include "groups/group_record.h"

namespace vexlo {

class CAppContext;

// Fixed texts of the list's messages.
inline constexpr const char* kGroupFileIncompleteText =
    "Warning: Not All Group Names Read From _GROUPS.DAT File.\r\n"
    "Expected %d Newsgroups, but only read %d.";
inline constexpr const char* kGroupFileDamagedText =
    "Warning: The _GROUPS.DAT File Is Damaged.\r\n"
    "Only %d Newsgroups Could Be Read From It.";
inline constexpr const char* kGroupFileSaveErrorText = "Error Saving Group File!";
inline constexpr const char* kGroupAlreadyListedText =
    "The group \"%s\" is already in the group list.";
inline constexpr const char* kGroupNameRefusedText =
    "\"%s\" cannot be used as a newsgroup name.\r\n"
    "A name must not be empty or longer than 259 characters\r\n"
    "and must not contain blanks, control characters or \"/\".";
inline constexpr const char* kDeleteOneGroupText = "Delete Group \"%s\"?";
inline constexpr const char* kDeleteGroupsText = "Delete %d Selected Groups?";
inline constexpr const char* kResetOneGroupText = "Reset Group \"%s\"?";
inline constexpr const char* kResetGroupsText = "Reset %d Selected Groups?";
inline constexpr const char* kDeleteLockedText =
    "Newsgroup: %s\r\n\r\nWARNING: Unable to Lock Newsgroup!\r\n\r\n"
    "It is probably locked because it is being updated.\r\n\r\n"
    "Click Retry To Try Again\r\nClick Cancel to skip this group.";
inline constexpr const char* kResetLockedText =
    "Newsgroup: %s\r\n\r\nWARNING: Unable to Lock Newsgroup!\r\n\r\n"
    "It is probably locked because it is being updated.\r\n\r\n"
    "Click Retry To Try Again.\r\nClick Cancel to skip this group.";

// What changed in the list. Begin* comes before the change and End* after it,
// so a view model can bracket its own updates; `row` is the row concerned
// (-1 for the whole list).
struct GroupListChange {
    enum class Kind {
        BeginReset,  // every row is about to be replaced (load)
        EndReset,
        BeginInsert,  // a row is about to appear at `row`
        EndInsert,
        BeginRemove,  // the row at `row` is about to go
        EndRemove,
        RowChanged,        // the fields of `row` changed
        SelectionChanged,  // the selection changed (`row`, or -1 for several rows)
        FocusList,         // the command is done; give the focus back to the list
    };
    Kind kind;
    int row = -1;
};
using GroupListListener = std::function<void(const GroupListChange&)>;

class CGroupList {
  public:
    // Files live in app.DataPath(); locks and message boxes are app's.
    explicit CGroupList(CAppContext& app);
    CGroupList(const CGroupList&) = delete;
    CGroupList& operator=(const CGroupList&) = delete;

    // One listener (a view); it may read the list but must not change it.
    void SetListener(GroupListListener listener) { listener_ = std::move(listener); }

    // ---- The group file ----

    // Replaces the list with the records of _GROUPS.DAT, in name order. A
    // missing file or a count of 0 gives an empty list and no message. A file
    // that cannot be read whole keeps the records read before the damage and
    // shows one message: the incomplete-file warning when the file ends inside
    // a record, the damaged-file warning for any other damage. With
    // FileAccess::kOwner the file is first copied to "_GROUPS.DAT.bad" and the
    // message names the copy (see core/damaged_file.h).
    void LoadGroupFile(FileAccess access = FileAccess::kOwner);
    // Writes the whole list to _GROUPS.DAT in list order, atomically. On
    // failure shows "Error Saving Group File!" and then the system's
    // description of the failure; the previous file stays whole. Returns
    // whether the file was written. A damaged file that could not be copied
    // at the load is copied first; while that fails it is not overwritten.
    bool SaveGroupFile();
    std::string GroupFilePath() const;

    // ---- Rows ----

    // Rows are 0 .. Count() - 1; members taking a row expect one in that range.
    int Count() const { return static_cast<int>(rows_.size()); }
    const GroupRecord& Group(int row) const { return rows_[static_cast<size_t>(row)].record; }

    // Row of the first record whose name equals `name` case-insensitively; -1 when none.
    int FindGroup(std::string_view name) const;
    bool GroupExists(std::string_view name) const { return FindGroup(name) != -1; }

    // Inserts a new group at its place in name order with counts 0, last scan
    // "(NEVER)" and the given directory (cut to 259 bytes). Does not test for
    // duplicates; its callers do. Returns 1, or 0 (nothing added) when the
    // name is not usable (IsUsableGroupName).
    int AddGroup(std::string_view name, std::string_view saveToDirectory);

    // The add-group command after its dialog: refuses a name already listed
    // (information box "The group "%s" is already in the group list.") or an
    // unusable one (stop box), otherwise AddGroup. True when added.
    bool AddNewGroup(std::string_view name, std::string_view saveToDirectory);

    // A finished scan of `name` (task result completed): sets the three counts
    // and sets lastScan to `when` as local time. Nothing when not listed.
    void UpdateGroupAfterScan(std::string_view name, int32_t binCount, int32_t newCount,
                              int32_t msgCount, std::time_t when);

    // The directory binaries of `name` are decoded into, with a trailing "/"
    // when it is not empty; false (out untouched) when the group is not listed.
    bool GetSaveToDirectory(std::string_view name, std::string& out) const;
    // Sets one row's directory (cut to 259 bytes).
    void SetSaveToDirectory(int row, std::string_view directory);

    // ---- Selection ----

    bool IsSelected(int row) const { return rows_[static_cast<size_t>(row)].selected; }
    void Select(int row, bool selected);
    void SelectAll();
    void ClearSelection();
    int SelectedCount() const;
    std::vector<int> SelectedRows() const;  // ascending
    int FirstSelected() const;              // -1 when none; the group a double click opens
    // Adds every group with binCount and newCount both 0 to the selection; the
    // selection of the other groups stays as it was.
    void SelectEmptyGroups();

    // ---- Group commands on the selection ----

    // Asks "Delete Group "%s"?" (one selected) or "Delete %d Selected
    // Groups?" (any other number, 0 included). On Yes walks the selected rows
    // from last to first; each group is locked by its exact name (the user is
    // asked Retry/Cancel while it is held elsewhere; Cancel leaves the group
    // untouched), then its row and its name.BIN and name.MSG are removed (a
    // missing file is no error; .XOV, .XOT, .NEW and .OLD are left). Ends with
    // FocusList, also after No. Returns the number of groups deleted.
    int DeleteSelectedGroups();
    // As DeleteSelectedGroups with the reset texts, but the row stays where it
    // is with its directory: name.BIN and name.MSG are removed, the counts
    // become 0 and lastScan "(NEVER)", so the next scan starts from the
    // server's first article. No FocusList. Returns the number reset.
    int ResetSelectedGroups();

    // The set save-to folder command: the directory all selected rows share,
    // or "" when they differ or nothing is selected (the dialog's preset).
    std::string SelectedSaveToPreset() const;
    // Each selected row's directory becomes `folder`, followed directly by the
    // row's name when `subfolder` is set (the folder already ends in "/").
    void SetSelectedSaveToDirectory(std::string_view folder, bool subfolder);

    // The scan commands: the names to queue a "SCAN NEW" task for, in the order
    // the tasks are to be added — every row or only the selected ones, first
    // to last, or last to first when the tasks go to the top of the queue.
    std::vector<std::string> ScanGroupNames(bool selectedOnly, bool scanToTop) const;

  private:
    struct Row {
        GroupRecord record;
        bool selected = false;
    };
    enum class GroupCommand { Delete, Reset };

    int ClearGroupsUnderLock(GroupCommand command);
    // Takes the group's lock, asking Retry/Cancel while it is held; false when skipped.
    bool LockGroupOrSkip(const std::string& name, GroupCommand command);
    void RemoveGroupDataFiles(const std::string& name) const;
    size_t InsertPosition(std::string_view name) const;
    void Notify(GroupListChange::Kind kind, int row = -1) const;

    CAppContext& app_;
    bool damagedUncopied_ = false;  // the loaded file was damaged and has no copy yet
    std::vector<Row> rows_;         // in name order
    GroupListListener listener_;
};

}  // namespace vexlo
