// CHeaderList: the header view's model — one group's binaries (.BIN) or
// messages (.MSG) as rows, the filter and new-only switches, sorting by
// column, and turning selected rows into download tasks.
//
// The view draws nothing of its own decisions: reading under the group lock,
// the Life column, the filter rule, queueing selected binaries as one DECODE
// task each, and joining selected messages into one task are all here, so the
// GUI and the command line behave alike. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexlo {

class CAppContext;
class CFile;
class CGroupList;
class CScopedTryLock;
class CMainController;

enum class HeaderMode { Messages = 0, Binaries = 1 };

struct HeaderRow {
    uint32_t index = 0;    // ordinal of the record in its file (stable across filters)
    uint64_t offset = 0;   // byte offset of the record in its file
    std::string subject;   // "Header"
    std::string lifeText;  // "Life": "%3d%%"
    uint64_t lines = 0;    // "Lines"
    std::string poster;    // "From"
    bool isNew = false;    // bit 0 of the record's flags
    bool selected = false;
};

class CHeaderList {
  public:
    static constexpr size_t kMaxFilter = 32;

    explicit CHeaderList(CAppContext& context);

    // Checks the group's lock, then loads it. False (with the lock message) when
    // a scan is rewriting the group.
    bool OpenGroup(const std::string& name);
    // Reloads the current group; false with the lock message when it is locked.
    bool Reload();
    // Reloads when `name` is the group shown (exact compare).
    void RefreshIfShowing(const std::string& name);

    void SetMode(HeaderMode mode) { mode_ = mode; }
    HeaderMode Mode() const { return mode_; }
    // Kept to 32 characters as the filter dialog takes them.
    void SetFilter(const std::string& filter);
    const std::string& Filter() const { return filter_; }
    void SetShowOnlyNew(bool on) { showOnlyNew_ = on; }
    bool ShowOnlyNew() const { return showOnlyNew_; }
    const std::string& GroupName() const { return group_; }

    const std::vector<HeaderRow>& Rows() const { return rows_; }
    void Select(size_t row, bool selected) { rows_.at(row).selected = selected; }
    void SelectAll();
    size_t SelectedCount() const;
    // Sorts by column 0..3; each column alternates ascending and descending.
    void SortByColumn(int column);

    // One DECODE task per selected binary, into `saveDir` ("" = the group's
    // save-to directory), with the channel mask `affinity` (reduced to the
    // configured channels), at the top in list order or appended. Returns the
    // number of tasks queued; failures show their message.
    int QueueSelectedBinaries(CMainController& controller, const std::string& saveDir, bool atTop,
                              uint32_t affinity);
    // One DECODE task from the selected messages, parts in `order` (row
    // indexes into Rows(); empty = selection order). Returns 1 when queued.
    int JoinSelectedMessages(CMainController& controller, const std::vector<size_t>& order,
                             const std::string& saveDir, bool atTop, uint32_t affinity);

  private:
    std::string DataFilePath() const;
    void LoadDataFile();
    // The directory to save into: `chosen`, or else the group's save-to
    // directory, with a trailing "/"; false (with the message) for a group
    // that is not in the list.
    bool LookUpSaveDirectory(CGroupList& groups, const std::string& chosen, std::string& dir);
    // The data file with `extension`, opened under the held group lock; false
    // (with the message) when the lock was refused or the file cannot be opened.
    bool OpenForQueueing(const CScopedTryLock& lock, const char* extension, CFile& file);

    CAppContext& context_;
    HeaderMode mode_ = HeaderMode::Binaries;
    std::string group_;
    std::string filter_;
    bool showOnlyNew_ = false;
    int sortDescending_[4] = {0, 0, 0, 0};
    std::vector<HeaderRow> rows_;
};

// The age of article `article` within the range first..last, 0 (oldest) to
// 100 (newest). A range of one article counts as newest.
int LifePercent(uint32_t article, uint32_t first, uint32_t last);

}  // namespace vexlo
