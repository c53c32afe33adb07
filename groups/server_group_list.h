// CServerGroupList: the server group list dialog without its widgets — the
// names of DATA/_GROUPS.ALL that pass a filter, the refresh of that file from
// the server through a server worker, and the adding of chosen names to the
// user's newsgroup list.
//
// The model decides; it draws nothing. A GUI dialog shows Rows(), the status
// text and the enable states of Controls(), copies the user's selection in
// with Select(), and follows the model through onChange. The command line uses
// the free functions at the end.
//
// The dialog's life: Open (starts the worker, loads the list), any number of
// filter, refresh, cancel, selection and add steps, Close (the OK button:
// stops the worker). Idle -> Refresh -> Refreshing -> a completion or failure
// notice (ProcessMessages) -> Idle. Aborting is Refreshing with the worker's
// abort flag set; the job sees it before its next line.
//
// When the worker could not be started (the server does not resolve, or the
// thread cannot be created), the dialog still shows the stored list; Refresh
// and Cancel stay disabled and do nothing.
//
// Thread: owned by the main thread; every member is called there. The worker
// reaches it only through the notices ProcessMessages handles.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nntp/server_test_thread.h"
#include "platform/message_queue.h"

namespace vexlo {

class CAppContext;
class CGroupList;
class IMessageBox;

inline constexpr const char* kDefaultServerGroupFilter = "binaries";
inline constexpr size_t kMaxServerGroupFilter = 32;

inline constexpr const char* kNoServerGroupListText =
    "No Server Group List Found.\r\nClick the 'Refresh' button to download the\r\n"
    "newsgroup list from the server.";
inline constexpr const char* kGroupListOpenErrorText = "Error Opening Group List File For Reading!";
inline constexpr const char* kNoItemsText = "No Items.";
inline constexpr const char* kItemsSelectedText = "%d of %d Items Selected";
inline constexpr const char* kGroupsReadText = "%d Groups Read";
inline constexpr const char* kGroupRefreshCompleteText = "Group Refresh Complete - %d Groups Read";
inline constexpr const char* kAbortingText = "Aborting ...";
inline constexpr const char* kGroupNotAddedText =
    "Newsgroup %s not added.\r\n\r\nGroup is already in Newsgroup list.";
inline constexpr const char* kGroupsSkippedText =
    "There were %d Newsgroups skipped, because they\r\nare already in the Newsgroup list.";

// The status text of a selection: "%d of %d Items Selected", or "No Items."
// when the list is empty.
std::string SelectionText(int selected, int total);

// Whether "Aplicar" is enabled for the text in the filter edit: when it differs
// from the current filter, ignoring letter case.
bool FilterEditDiffers(std::string_view edit, std::string_view filter);

struct AddGroupsResult {
    int added = 0;
    int skipped = 0;  // already in the newsgroup list
};

// The Add step for names chosen from the server's list, after the save-to
// folder dialog (`folder` ends with "/"). Each name (cut to 259 characters)
// already in `groups` is skipped; any other is added with the folder as its
// directory, followed directly by the name when `subfolder` is set. Reports
// one skip with "Newsgroup %s not added. ..." and more with "There were %d
// Newsgroups skipped, ..." (information icon).
AddGroupsResult AddServerGroups(CGroupList& groups, const std::vector<std::string>& names,
                                std::string_view folder, bool subfolder, IMessageBox& messageBox);

class CServerGroupList {
  public:
    // The enable state of the dialog's buttons.
    struct Controls {
        bool ok = true;       // "Aceptar"
        bool apply = false;   // "Aplicar"
        bool refresh = true;  // "&Refrescar"
        bool add = false;     // "&Añadir"
        bool cancel = false;  // "Cancel"
    };
    enum class Change { Rows, Selection, Status, Controls, Filter };

    // Files live in app.DataPath(); added names go into `groups`.
    CServerGroupList(CAppContext& app, CGroupList& groups);
    // Aborts a running refresh and stops the worker if Close was not called.
    ~CServerGroupList();
    CServerGroupList(const CServerGroupList&) = delete;
    CServerGroupList& operator=(const CServerGroupList&) = delete;

    std::function<void(Change)> onChange;

    // Dialog start: starts the worker (its message boxes on failure), then
    // either "No Server Group List Found. ..." (information icon) when
    // _GROUPS.ALL is missing, or LoadGroupListFile; then UpdateSelectionText.
    void Open();
    // The OK button: stops the worker, waiting for a running job to end.
    void Close();
    bool HasWorker() const { return worker_ != nullptr; }

    const std::string& ListPath() const { return allPath_; }
    const std::string& TempPath() const { return tempPath_; }

    // ---- Filter ----
    // Starts as "binaries".
    const std::string& Filter() const { return filter_; }
    const std::string& FilterEdit() const { return filterEdit_; }
    // The edit's text changed (kept to 32 characters); "Aplicar" follows
    // FilterEditDiffers.
    void SetFilterEdit(std::string_view text);
    // "Aplicar": the edit's text becomes the filter; reloads the list.
    void ApplyFilter();

    // ---- Rows ----
    // Fills the rows from _GROUPS.ALL with the names that pass the filter,
    // sorted ascending (letters compared case-insensitively); all rows are
    // unselected. When the file cannot be read: "Error Opening Group List File
    // For Reading!" (exclamation icon) and the rows stay as they were.
    void LoadGroupListFile();
    int Count() const { return static_cast<int>(rows_.size()); }
    const std::vector<std::string>& Rows() const { return rows_; }
    bool IsSelected(int row) const { return selected_[static_cast<size_t>(row)]; }
    // A selection change: "&Añadir" follows the selection; UpdateSelectionText.
    void Select(int row, bool selected);
    // The same for rows first..last as one change (a list's range selection).
    void SelectRange(int first, int last, bool selected);
    void SelectAll();
    int SelectedCount() const;

    // ---- Status text ----
    const std::string& StatusText() const { return status_; }
    void UpdateSelectionText();

    // ---- Refresh ----
    // "&Refrescar": disables OK, Add and Refresh, enables Cancel, clears the
    // abort flag and asks the worker for the list. False (nothing done) when
    // there is no worker or a refresh runs.
    bool Refresh();
    // The Cancel button, the Esc key and the close box: sets the worker's abort
    // flag, disables Cancel and shows "Aborting ...". The dialog stays open.
    void Cancel();
    bool IsRefreshing() const { return refreshing_; }
    // Handles the worker's notices, waiting up to `timeoutMs` for the first:
    // progress "%d Groups Read"; completion "Group Refresh Complete - %d Groups
    // Read", _GROUPS.TMP installed as _GROUPS.ALL and the list reloaded;
    // failure shows the worker's error text and leaves _GROUPS.ALL as it was.
    // Returns the number of notices handled.
    int ProcessMessages(uint32_t timeoutMs);

    // ---- Add ----
    // The Add button: with no selected row only UpdateSelectionText runs (the
    // front end shows no folder dialog then). Otherwise, after the save-to
    // folder dialog, AddServerGroups with the selected rows from top to bottom.
    AddGroupsResult Add(std::string_view folder, bool subfolder);

    const Controls& GetControls() const { return controls_; }

  private:
    void OnNotice(const WorkerNotice& notice);
    void EndRefresh();
    void SetStatus(std::string text);
    void Changed(Change change) {
        if (onChange) onChange(change);
    }

    CAppContext& app_;
    CGroupList& groups_;
    std::string allPath_;
    std::string tempPath_;
    std::string filter_ = kDefaultServerGroupFilter;
    std::string filterEdit_ = kDefaultServerGroupFilter;
    std::vector<std::string> rows_;
    std::vector<bool> selected_;
    std::string status_;
    Controls controls_;
    bool refreshing_ = false;
    CThreadMessageQueue notify_;
    std::unique_ptr<CServerTestThread> worker_;
};

// ---- For a command line ----

struct FetchGroupListResult {
    bool completed = false;  // the server's whole list arrived in _GROUPS.TMP
    bool installed = false;  // and it replaced _GROUPS.ALL
    int count = 0;           // names written
    std::string errorText;   // why it failed (the worker's or the start's text)
};

// One refresh without a dialog: starts a worker from the settings (its message
// boxes on failure), runs the LIST job, calls `progress(count)` for each
// progress notice and, when the list is complete, installs _GROUPS.TMP as
// _GROUPS.ALL (message boxes on failure). `abort` becoming true aborts the job
// ("ABORTED BY USER!"). Waits until the job has ended.
FetchGroupListResult FetchServerGroupList(CAppContext& app, const std::atomic<bool>* abort,
                                          const std::function<void(int count)>& progress);

}  // namespace vexlo
