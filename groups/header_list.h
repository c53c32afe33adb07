// CHeaderList: the header view's model — one group's binaries (.BIN) or
// messages (.MSG) as rows, the filter and new-only switches, sorting by
// column, and turning selected rows into download tasks.
//
// The view draws nothing of its own decisions: reading under the group lock,
// the Life column, the filter rule, queueing selected binaries as one DECODE
// task each, and joining selected messages into one task are all here, so the
// GUI and the command line behave alike. Main thread only.
//
// A group may hold a million records, so a row is 32 bytes: the record's
// offset, its numbers, and the positions of its subject and poster in one
// text pool per load (no allocation per row or text). The rows are a snapshot
// of the file: queueing reads every selected record again under the lock.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "groups/text_pool.h"

namespace vexlo {

class CAppContext;
class CFile;
class CGroupList;
class CScopedTryLock;
class CMainController;

enum class HeaderMode { Messages = 0, Binaries = 1 };

struct HeaderRow {
    uint64_t offset = 0;   // byte offset of the record in its file
    uint32_t index = 0;    // ordinal of the record in its file (stable across filters)
    uint32_t lines = 0;    // "Lines" (a binary's sum, held to 32 bits)
    uint32_t subject = 0;  // pool position of "Header"
    uint32_t poster = 0;   // pool position of "From"
    uint16_t subjectLength = 0;
    uint16_t posterLength = 0;
    int16_t life = 0;    // "Life" in percent
    bool isNew = false;  // bit 0 of the record's flags
    bool selected = false;
};

// What the get-and-decode dialog settles: where the files go (ending with
// "/" unless empty), whether the tasks go to the top, and the channels.
struct DownloadChoice {
    std::string saveDir;
    bool atTop = false;
    uint32_t affinity = 0;
};

// The parts of a join in their final order, and where the task goes.
struct JoinChoice {
    std::vector<std::string> subjects;
    std::vector<uint32_t> articles;
    std::vector<uint32_t> lines;
    std::vector<uint32_t> bytes;
    bool atTop = false;
};

class CHeaderList {
  public:
    static constexpr size_t kMaxFilter = 32;
    // Shows the get-and-decode dialog filled with `choice` and takes its
    // answer into it; false when it was cancelled.
    using DownloadDialog = std::function<bool(DownloadChoice& choice)>;
    // Shows the join-parts dialog over `parts` (the group stays locked
    // meanwhile); false when it was cancelled.
    using JoinDialog = std::function<bool(JoinChoice& parts)>;

    explicit CHeaderList(CAppContext& context);

    // Checks the group's lock, then loads it. False (with the lock message) when
    // a scan is rewriting the group.
    bool OpenGroup(const std::string& name);
    // Reloads the current group; false with the lock message when it is locked
    // (the rows stay as they were).
    bool Reload();
    // Reloads when `name` is the group shown (exact compare).
    void RefreshIfShowing(const std::string& name);
    // Called just before the rows are replaced and once they are complete (a
    // view resets its model); the load's messages come after `after`.
    void SetResetHooks(std::function<void()> before, std::function<void()> after);

    void SetMode(HeaderMode mode) { mode_ = mode; }
    HeaderMode Mode() const { return mode_; }
    // Kept to 32 characters as the filter dialog takes them.
    void SetFilter(const std::string& filter);
    const std::string& Filter() const { return filter_; }
    void SetShowOnlyNew(bool on) { showOnlyNew_ = on; }
    bool ShowOnlyNew() const { return showOnlyNew_; }
    const std::string& GroupName() const { return group_; }

    const std::vector<HeaderRow>& Rows() const { return rows_; }
    std::string_view Subject(const HeaderRow& row) const {
        return {pool_.At(row.subject), row.subjectLength};
    }
    std::string_view Poster(const HeaderRow& row) const {
        return {pool_.At(row.poster), row.posterLength};
    }
    // "%3d%%" of the row's Life.
    static std::string LifeText(const HeaderRow& row);

    void Select(size_t row, bool selected);
    void SelectAll();
    void ClearSelection();
    size_t SelectedCount() const { return selectedCount_; }
    // The sum of the selected rows' line counts.
    uint64_t SelectedLines() const { return selectedLines_; }
    // Sorts by column 0..3; each column alternates ascending and descending.
    // Subjects and posters compare with the locale's case-sensitive collation
    // (their first 511 characters), Life and Lines as numbers.
    void SortByColumn(int column);

    // The get-and-decode command: the group's save-to directory is looked up,
    // then (unless OPT_NO_DOWNLOAD_DIALOG) `dialog` may change it, choose the
    // top of the queue and the channels, which become the Affinity setting;
    // then one DECODE task per selected binary is queued, in list order at
    // either end. Returns the number of tasks queued; failures show their message.
    int QueueSelectedBinaries(CMainController& controller, const DownloadDialog& dialog);
    // The same without a dialog: into `saveDir` ("" = the group's save-to
    // directory), at the top or appended, on the channels of `affinity`.
    int QueueSelectedBinaries(CMainController& controller, const std::string& saveDir, bool atTop,
                              uint32_t affinity);
    // The join-parts command: the selected messages (top to bottom) are read
    // under the group lock, `dialog` orders them, and one DECODE task into the
    // group's save-to directory on the Affinity setting's channels is queued.
    // Returns 1 when queued.
    int JoinSelectedMessages(CMainController& controller, const JoinDialog& dialog);
    // The same without a dialog: parts in `order` (row indexes into Rows();
    // empty = top to bottom), into `saveDir` ("" = the group's directory).
    int JoinSelectedMessages(CMainController& controller, const std::vector<size_t>& order,
                             const std::string& saveDir, bool atTop, uint32_t affinity);

  private:
    std::string DataFilePath() const;
    void Clear();
    // False when the data file exists but cannot be opened.
    bool LoadDataFile();
    bool AddRow(HeaderRow& row, std::string_view subject, std::string_view poster,
                const std::string& filter);
    // The directory to save into: `chosen`, or else the group's save-to
    // directory, with a trailing "/"; false (with the message) for a group
    // that is not in the list.
    bool LookUpSaveDirectory(CGroupList& groups, const std::string& chosen, std::string& dir);
    // The data file with `extension`, opened under the held group lock; false
    // (with the message) when the lock was refused or the file cannot be opened.
    bool OpenForQueueing(const CScopedTryLock& lock, const char* extension, CFile& file);
    // The rank of every record's subject (column 0) or poster (column 3) in
    // the collation order, by file ordinal; equal texts share one. Built at
    // the first sort by that column after a load.
    const std::vector<uint32_t>& TextRanks(int column);
    int QueueBinaries(CMainController& controller, const DownloadChoice& choice);
    int JoinRows(CMainController& controller, const std::vector<size_t>& rows,
                 const std::string& saveDir, uint32_t affinity, const JoinDialog& dialog);
    int JoinUnderLock(CMainController& controller, const CScopedTryLock& lock,
                      const std::vector<size_t>& rows, const std::string& dir, uint32_t affinity,
                      const JoinDialog& dialog);

    CAppContext& context_;
    HeaderMode mode_ = HeaderMode::Binaries;
    std::string group_;
    std::string filter_;
    bool showOnlyNew_ = false;
    int sortDescending_[4] = {0, 0, 0, 0};
    std::vector<HeaderRow> rows_;
    CTextPool pool_;
    std::vector<uint32_t> subjectRanks_;
    std::vector<uint32_t> posterRanks_;
    std::function<void()> beforeReset_;
    std::function<void()> afterReset_;
    std::string filterText_;  // scratch of the filter match
    size_t selectedCount_ = 0;
    uint64_t selectedLines_ = 0;
};

// The age of article `article` within the range first..last, 0 (oldest) to
// 100 (newest). A range of one article counts as newest; an article outside
// the range counts as the nearer end.
int LifePercent(uint32_t article, uint32_t first, uint32_t last);

}  // namespace vexlo
