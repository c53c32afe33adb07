#include "groups/header_list.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/app_context.h"
#include "decode/file_utils.h"
#include "groups/binary_match.h"
#include "groups/group_list.h"
#include "groups/header_record.h"
#include "platform/record_file.h"
#include "platform/file.h"
#include "tasks/main_controller.h"
#include "tasks/task.h"

namespace vexlo {

// A million rows stay at 32 MB.
static_assert(sizeof(HeaderRow) == 32);

namespace {

constexpr const char* kViewLocked =
    "The Newsgroup is currently locked.\r\nPlease wait until it has been updated.";
constexpr const char* kQueueLocked =
    "Newsgroup is currently locked.\r\nPlease wait until it has finished updating.";
constexpr const char* kNotInGroupList = "ERROR: Current Newsgroup Is Not In Group List!";
constexpr const char* kCantOpen = "ERROR: Can't Open Newsgroup Data File!";
constexpr const char* kCantRead = "ERROR: Can't Read Newsgroup Data File!";
constexpr const char* kNoArticles = "ERROR: No Articles Found As Selected!";
constexpr const char* kLoadOpenFailed =
    "ERROR - Newsgroup Data File Cannot be opened or is missing.";
// The sort compares at most this many characters of a text.
constexpr size_t kSortTextLimit = 511;

char LowerAscii(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

void AppendLower(std::string& out, std::string_view text) {
    for (char c : text) out += LowerAscii(c);
}

// The locale's case-sensitive collation of two pooled texts, cut to the sort limit.
int CollateTexts(const char* a, size_t aLength, const char* b, size_t bLength) {
    char cutA[kSortTextLimit + 1], cutB[kSortTextLimit + 1];
    if (aLength > kSortTextLimit) {
        std::memcpy(cutA, a, kSortTextLimit);
        cutA[kSortTextLimit] = '\0';
        a = cutA;
    }
    if (bLength > kSortTextLimit) {
        std::memcpy(cutB, b, kSortTextLimit);
        cutB[kSortTextLimit] = '\0';
        b = cutB;
    }
    return std::strcoll(a, b);
}

}  // namespace

int LifePercent(uint32_t article, uint32_t first, uint32_t last) {
    if (last <= first) return 100;
    double life = (static_cast<double>(article) - first) / (static_cast<double>(last) - first);
    // An article outside the range (an old binary's part, a damaged record)
    // would not fit an int, or read as a negative age.
    return static_cast<int>(std::clamp(life * 100.0, 0.0, 100.0));
}

CHeaderList::CHeaderList(CAppContext& context) : context_(context) {}

void CHeaderList::SetFilter(const std::string& filter) {
    filter_ = filter.substr(0, std::min(filter.size(), kMaxFilter));
}

std::string CHeaderList::LifeText(const HeaderRow& row) {
    char text[16];
    std::snprintf(text, sizeof text, "%3d%%", row.life);
    return text;
}

std::string CHeaderList::DataFilePath() const {
    return context_.DataPath() + group_ + (mode_ == HeaderMode::Binaries ? ".BIN" : ".MSG");
}

bool CHeaderList::OpenGroup(const std::string& name) {
    if (!context_.locks.TryLock(name)) {
        context_.messageBox.Show(kViewLocked, MessageIcon::Stop);
        return false;
    }
    context_.locks.Unlock(name);
    group_ = name;
    return Reload();
}

bool CHeaderList::Reload() {
    bool loaded;
    {
        CScopedTryLock lock(context_.locks, group_);
        if (!lock.Held()) {
            context_.messageBox.Show(kViewLocked, MessageIcon::Stop);
            return false;
        }
        if (beforeReset_) beforeReset_();
        Clear();
        loaded = LoadDataFile();
    }
    if (afterReset_) afterReset_();
    // Shown with the group unlocked and the views told of the rows.
    if (!loaded) context_.messageBox.Show(kLoadOpenFailed, MessageIcon::Exclamation);
    return true;
}

void CHeaderList::SetResetHooks(std::function<void()> before, std::function<void()> after) {
    beforeReset_ = std::move(before);
    afterReset_ = std::move(after);
}

void CHeaderList::RefreshIfShowing(const std::string& name) {
    if (!group_.empty() && name == group_) Reload();
}

void CHeaderList::Clear() {
    rows_ = {};
    subjectRanks_ = {};
    posterRanks_ = {};
    pool_.Clear();
    selectedCount_ = 0;
    selectedLines_ = 0;
}

bool CHeaderList::AddRow(HeaderRow& row, std::string_view subject, std::string_view poster,
                         const std::string& filter) {
    if (!filter.empty()) {
        // The filter ignores case and covers the poster as well as the subject.
        std::string& text = filterText_;
        text.clear();
        AppendLower(text, subject);
        text += '\t';
        AppendLower(text, poster);
        if (text.find(filter) == std::string::npos) return true;
    }
    if (showOnlyNew_ && !row.isNew) return true;
    if (!pool_.Add(subject, row.subject) || !pool_.Share(poster, row.poster)) return false;
    row.subjectLength = static_cast<uint16_t>(subject.size());
    row.posterLength = static_cast<uint16_t>(poster.size());
    rows_.push_back(row);
    return true;
}

bool CHeaderList::LoadDataFile() {
    std::string path = DataFilePath();
    std::string filter;
    AppendLower(filter, filter_);
    if (group_.empty() || !FileExists(path)) return true;
    CFile file;
    if (!file.Open(path, CFile::Mode::Read)) return false;
    CRecordReader reader(file);
    uint32_t first = 0, last = 0;
    if (!reader.ReadU32(first) || !reader.ReadU32(last)) return true;
    auto life = [first, last](uint32_t article) {
        int percent = LifePercent(article, first, last);
        return static_cast<int16_t>(std::clamp<int>(percent, std::numeric_limits<int16_t>::min(),
                                                    std::numeric_limits<int16_t>::max()));
    };
    CBinaryItem binary;
    HeaderRecord message;
    for (uint32_t index = 0;; ++index) {
        HeaderRow row;
        row.index = index;
        row.offset = reader.Tell();
        bool kept;
        if (mode_ == HeaderMode::Binaries) {
            if (!binary.Read(reader)) break;
            row.lines = static_cast<uint32_t>(
                std::min<uint64_t>(binary.TotalLines(), std::numeric_limits<uint32_t>::max()));
            row.isNew = (binary.GetFlags() & kBinaryFlagNew) != 0;
            row.life = life(binary.LowestArticle());
            kept = AddRow(row, binary.GetSubject(), binary.GetPoster(), filter);
        } else {
            if (!ReadHeaderRecord(reader, message)) break;
            row.lines = message.lines;
            row.isNew = (message.flags & kHeaderFlagNew) != 0;
            row.life = life(message.article);
            kept = AddRow(row, message.subject, message.poster, filter);
        }
        if (!kept) break;  // the text pool is full: the rows so far stay
    }
    return true;
}

void CHeaderList::Select(size_t row, bool selected) {
    HeaderRow& r = rows_.at(row);
    if (r.selected == selected) return;
    r.selected = selected;
    if (selected) {
        ++selectedCount_;
        selectedLines_ += r.lines;
    } else {
        --selectedCount_;
        selectedLines_ -= r.lines;
    }
}

void CHeaderList::SelectAll() {
    for (size_t i = 0; i < rows_.size(); ++i) Select(i, true);
}

void CHeaderList::ClearSelection() {
    for (auto& row : rows_) row.selected = false;
    selectedCount_ = 0;
    selectedLines_ = 0;
}

const std::vector<uint32_t>& CHeaderList::TextRanks(int column) {
    std::vector<uint32_t>& ranks = column == 0 ? subjectRanks_ : posterRanks_;
    if (!ranks.empty() || rows_.empty()) return ranks;
    // The texts are sorted once, from the file's order: its neighbours lie
    // side by side in the pool, and the subjects are nearly in order already.
    struct Key {
        uint32_t text;
        uint32_t index;
        uint16_t length;
    };
    std::vector<Key> keys;
    keys.reserve(rows_.size());
    uint32_t maxIndex = 0;
    for (const HeaderRow& row : rows_) {
        keys.push_back(column == 0 ? Key{row.subject, row.index, row.subjectLength}
                                   : Key{row.poster, row.index, row.posterLength});
        maxIndex = std::max(maxIndex, row.index);
    }
    std::sort(keys.begin(), keys.end(),
              [](const Key& a, const Key& b) { return a.index < b.index; });
    auto compare = [this](const Key& a, const Key& b) {
        return CollateTexts(pool_.At(a.text), a.length, pool_.At(b.text), b.length);
    };
    std::stable_sort(keys.begin(), keys.end(),
                     [&](const Key& a, const Key& b) { return compare(a, b) < 0; });
    // Equal texts share a rank, so the row sort keeps their order as it stands.
    ranks.assign(size_t{maxIndex} + 1, 0);
    uint32_t rank = 0;
    for (size_t k = 0; k < keys.size(); ++k) {
        if (k > 0 && compare(keys[k - 1], keys[k]) != 0) ++rank;
        ranks[keys[k].index] = rank;
    }
    return ranks;
}

void CHeaderList::SortByColumn(int column) {
    if (column < 0 || column > 3) return;
    bool descending = sortDescending_[column] != 0;
    auto sort = [&](auto key) {
        std::stable_sort(rows_.begin(), rows_.end(), [&](const HeaderRow& a, const HeaderRow& b) {
            return descending ? key(b) < key(a) : key(a) < key(b);
        });
    };
    if (column == 0 || column == 3) {
        const std::vector<uint32_t>& ranks = TextRanks(column);
        sort([&ranks](const HeaderRow& r) { return ranks[r.index]; });
    } else if (column == 1) {
        sort([](const HeaderRow& r) { return r.life; });
    } else {
        sort([](const HeaderRow& r) { return r.lines; });
    }
    sortDescending_[column] = !descending;
}

bool CHeaderList::LookUpSaveDirectory(CGroupList& groups, const std::string& chosen,
                                      std::string& dir) {
    if (!groups.GetSaveToDirectory(group_, dir)) {
        context_.messageBox.Show(kNotInGroupList, MessageIcon::None);
        return false;
    }
    if (!chosen.empty()) dir = chosen;
    if (!dir.empty()) SetTrailingBackslash(true, dir);
    return true;
}

bool CHeaderList::OpenForQueueing(const CScopedTryLock& lock, const char* extension, CFile& file) {
    if (!lock.Held()) {
        context_.messageBox.Show(kQueueLocked, MessageIcon::Stop);
        return false;
    }
    if (!file.Open(context_.DataPath() + group_ + extension, CFile::Mode::Read)) {
        context_.messageBox.Show(kCantOpen, MessageIcon::Stop);
        return false;
    }
    return true;
}

int CHeaderList::QueueSelectedBinaries(CMainController& controller, const DownloadDialog& dialog) {
    CAppSettings& settings = context_.settings;
    DownloadChoice choice;
    if (!LookUpSaveDirectory(controller.Groups(), "", choice.saveDir)) return 0;
    if (!settings.TestOptions(OPT_NO_DOWNLOAD_DIALOG)) {
        choice.affinity = settings.GetAffinity();
        if (dialog && !dialog(choice)) return 0;
        // The channels chosen become the default of the next dialog.
        settings.SetAffinity(choice.affinity);
    }
    choice.affinity = settings.GetAffinity();
    return QueueBinaries(controller, choice);
}

int CHeaderList::QueueSelectedBinaries(CMainController& controller, const std::string& saveDir,
                                       bool atTop, uint32_t affinity) {
    DownloadChoice choice{"", atTop, affinity};
    if (!LookUpSaveDirectory(controller.Groups(), saveDir, choice.saveDir)) return 0;
    return QueueBinaries(controller, choice);
}

int CHeaderList::QueueBinaries(CMainController& controller, const DownloadChoice& choice) {
    if (SelectedCount() == 0) return 0;
    int queued = 0;
    {
        CScopedTryLock lock(context_.locks, group_);
        CFile file;
        if (!OpenForQueueing(lock, ".BIN", file)) return 0;
        CRecordReader reader(file);
        CTask task(&context_.settings);
        CBinaryItem binary;
        // Bottom up when adding at the top, so the queue's top shows the list's order.
        for (size_t k = 0; k < rows_.size(); ++k) {
            const HeaderRow& row = rows_[choice.atTop ? rows_.size() - 1 - k : k];
            if (!row.selected) continue;
            if (!reader.Seek(row.offset) || !binary.Read(reader)) {
                context_.messageBox.Show(kCantRead, MessageIcon::Stop);
                return queued;  // the tasks queued so far stay queued
            }
            MakeDownloadTask(
                task, {group_, std::string(Subject(row)), choice.saveDir, binary.GetArticles(),
                       binary.GetLines(), binary.EstimatedSize(), choice.affinity});
            queued += controller.Queue().AddTask(task, choice.atTop);
        }
    }
    controller.DispatchIfRunning();
    return queued;
}

int CHeaderList::JoinSelectedMessages(CMainController& controller, const JoinDialog& dialog) {
    std::vector<size_t> rows;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].selected) rows.push_back(i);
    return JoinRows(controller, rows, "", context_.settings.GetAffinity(), dialog);
}

int CHeaderList::JoinSelectedMessages(CMainController& controller, const std::vector<size_t>& order,
                                      const std::string& saveDir, bool atTop, uint32_t affinity) {
    std::vector<size_t> rows = order;
    if (rows.empty())
        for (size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].selected) rows.push_back(i);
    return JoinRows(controller, rows, saveDir, affinity, [atTop](JoinChoice& parts) {
        parts.atTop = atTop;
        return true;
    });
}

int CHeaderList::JoinRows(CMainController& controller, const std::vector<size_t>& rows,
                          const std::string& saveDir, uint32_t affinity, const JoinDialog& dialog) {
    if (rows.empty()) return 0;
    std::string dir;
    if (!LookUpSaveDirectory(controller.Groups(), saveDir, dir)) return 0;
    int queued = 0;
    {
        CScopedTryLock lock(context_.locks, group_);
        queued = JoinUnderLock(controller, lock, rows, dir, affinity, dialog);
    }
    if (queued > 0) controller.DispatchIfRunning();
    return queued;
}

int CHeaderList::JoinUnderLock(CMainController& controller, const CScopedTryLock& lock,
                               const std::vector<size_t>& rows, const std::string& dir,
                               uint32_t affinity, const JoinDialog& dialog) {
    JoinChoice parts;
    {
        CFile file;
        if (!OpenForQueueing(lock, ".MSG", file)) return 0;
        CRecordReader reader(file);
        CMessageItem message;
        for (size_t i : rows) {
            if (i >= rows_.size() || !reader.Seek(rows_[i].offset) || !message.Read(reader)) {
                context_.messageBox.Show(kCantRead, MessageIcon::Stop);
                return 0;
            }
            parts.subjects.push_back(message.GetSubject());
            parts.articles.push_back(message.GetArticle());
            parts.lines.push_back(message.GetLines());
            parts.bytes.push_back(message.GetBytes());
        }
    }
    if (parts.articles.empty()) {
        context_.messageBox.Show(kNoArticles, MessageIcon::Stop);
        return 0;
    }
    // The group stays locked while the user orders the parts.
    if (dialog && !dialog(parts)) return 0;
    size_t count = std::min(
        {parts.subjects.size(), parts.articles.size(), parts.lines.size(), parts.bytes.size()});
    if (count == 0) return 0;
    parts.articles.resize(count);
    parts.lines.resize(count);
    uint64_t size = 0;
    for (size_t i = 0; i < count; ++i) size += parts.bytes[i];
    CTask task(&context_.settings);
    MakeDownloadTask(task, {group_, parts.subjects[count - 1], dir, std::move(parts.articles),
                            std::move(parts.lines), size, affinity});
    return controller.Queue().AddTask(task, parts.atTop);
}

}  // namespace vexlo
