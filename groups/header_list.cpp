#include "groups/header_list.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/app_context.h"
#include "core/number_readers.h"
#include "decode/file_utils.h"
#include "groups/binary_match.h"
#include "groups/group_list.h"
#include "groups/header_record.h"
#include "groups/record_file.h"
#include "platform/file.h"
#include "tasks/main_controller.h"
#include "tasks/task.h"

namespace vexlo {

namespace {

constexpr const char* kViewLocked =
    "The Newsgroup is currently locked.\r\nPlease wait until it has been updated.";
constexpr const char* kQueueLocked =
    "Newsgroup is currently locked.\r\nPlease wait until it has finished updating.";
constexpr const char* kNotInGroupList = "ERROR: Current Newsgroup Is Not In Group List!";
constexpr const char* kCantOpen = "ERROR: Can't Open Newsgroup Data File!";
constexpr const char* kCantRead = "ERROR: Can't Read Newsgroup Data File!";
constexpr const char* kNoArticles = "ERROR: No Articles Found As Selected!";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

int LifePercent(uint32_t article, uint32_t first, uint32_t last) {
    if (last <= first) return 100;
    double life = (static_cast<double>(article) - first) / (static_cast<double>(last) - first);
    return static_cast<int>(life * 100.0);
}

CHeaderList::CHeaderList(CAppContext& context) : context_(context) {}

void CHeaderList::SetFilter(const std::string& filter) {
    filter_ = filter.substr(0, std::min(filter.size(), kMaxFilter));
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
    CScopedTryLock lock(context_.locks, group_);
    if (!lock.Held()) {
        context_.messageBox.Show(kViewLocked, MessageIcon::Stop);
        return false;
    }
    rows_.clear();
    LoadDataFile();
    return true;
}

void CHeaderList::RefreshIfShowing(const std::string& name) {
    if (!group_.empty() && name == group_) Reload();
}

void CHeaderList::LoadDataFile() {
    std::string path = DataFilePath();
    std::string filter = Lower(filter_);
    if (group_.empty() || !FileExists(path)) return;
    CFile file;
    if (!file.Open(path, CFile::Mode::Read)) {
        context_.messageBox.Show("ERROR - Newsgroup Data File Cannot be opened or is missing.",
                                 MessageIcon::Exclamation);
        return;
    }
    CRecordReader reader(file);
    uint32_t first = 0, last = 0;
    if (!reader.ReadU32(first) || !reader.ReadU32(last)) return;
    CBinaryItem binary;
    CMessageItem message;
    for (uint32_t index = 0;; ++index) {
        HeaderRow row;
        row.index = index;
        row.offset = reader.Tell();
        uint32_t flags, article;
        if (mode_ == HeaderMode::Binaries) {
            if (!binary.Read(reader)) break;
            row.subject = binary.GetSubject();
            row.poster = binary.GetPoster();
            row.lines = binary.TotalLines();
            flags = binary.GetFlags();
            article = binary.LowestArticle();
        } else {
            if (!message.Read(reader)) break;
            row.subject = message.GetSubject();
            row.poster = message.GetPoster();
            row.lines = message.GetLines();
            flags = message.GetFlags();
            article = message.GetArticle();
        }
        if (!filter.empty() &&
            Lower(row.subject + "\t" + row.poster).find(filter) == std::string::npos)
            continue;
        row.isNew = (flags & 1) != 0;
        if (showOnlyNew_ && !row.isNew) continue;
        char life[16];
        std::snprintf(life, sizeof life, "%3d%%", LifePercent(article, first, last));
        row.lifeText = life;
        rows_.push_back(std::move(row));
    }
}

void CHeaderList::SelectAll() {
    for (auto& row : rows_) row.selected = true;
}

size_t CHeaderList::SelectedCount() const {
    return static_cast<size_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const HeaderRow& r) { return r.selected; }));
}

void CHeaderList::SortByColumn(int column) {
    if (column < 0 || column > 3) return;
    bool descending = sortDescending_[column] != 0;
    auto text = [column](const HeaderRow& r) -> std::string {
        const std::string& t = column == 0 ? r.subject : r.poster;
        return t.substr(0, std::min<size_t>(t.size(), 511));
    };
    auto number = [column](const HeaderRow& r) -> int64_t {
        return column == 1 ? ReadLenientInt(r.lifeText) : static_cast<int64_t>(r.lines);
    };
    std::stable_sort(rows_.begin(), rows_.end(), [&](const HeaderRow& a, const HeaderRow& b) {
        int c;
        if (column == 0 || column == 3) {
            c = std::strcoll(text(a).c_str(), text(b).c_str());
        } else {
            int64_t x = number(a), y = number(b);
            c = x < y ? -1 : x > y ? 1 : 0;
        }
        return descending ? c > 0 : c < 0;
    });
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

int CHeaderList::QueueSelectedBinaries(CMainController& controller, const std::string& saveDir,
                                       bool atTop, uint32_t affinity) {
    std::string dir;
    if (!LookUpSaveDirectory(controller.Groups(), saveDir, dir)) return 0;
    if (SelectedCount() == 0) return 0;
    CScopedTryLock lock(context_.locks, group_);
    CFile file;
    if (!OpenForQueueing(lock, ".BIN", file)) return 0;
    CRecordReader reader(file);
    CTask task(&context_.settings);
    CBinaryItem binary;
    int queued = 0;
    for (size_t k = 0; k < rows_.size(); ++k) {
        const HeaderRow& row = rows_[atTop ? rows_.size() - 1 - k : k];
        if (!row.selected) continue;
        if (!reader.Seek(row.offset) || !binary.Read(reader)) {
            context_.messageBox.Show(kCantRead, MessageIcon::Stop);
            break;
        }
        MakeDownloadTask(task, {group_, row.subject, dir, binary.GetArticles(), binary.GetLines(),
                                binary.EstimatedSize(), affinity});
        queued += controller.Queue().AddTask(task, atTop);
    }
    controller.DispatchIfRunning();
    return queued;
}

int CHeaderList::JoinSelectedMessages(CMainController& controller, const std::vector<size_t>& order,
                                      const std::string& saveDir, bool atTop, uint32_t affinity) {
    if (SelectedCount() == 0) return 0;
    std::string dir;
    if (!LookUpSaveDirectory(controller.Groups(), saveDir, dir)) return 0;
    CScopedTryLock lock(context_.locks, group_);
    CFile file;
    if (!OpenForQueueing(lock, ".MSG", file)) return 0;
    std::vector<size_t> rows = order;
    if (rows.empty())
        for (size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].selected) rows.push_back(i);
    CRecordReader reader(file);
    CMessageItem message;
    std::vector<uint32_t> articles, lines;
    uint64_t size = 0;
    std::string subject;
    for (size_t i : rows) {
        if (i >= rows_.size() || !reader.Seek(rows_[i].offset) || !message.Read(reader)) {
            context_.messageBox.Show(kCantRead, MessageIcon::Stop);
            return 0;
        }
        articles.push_back(message.GetArticle());
        lines.push_back(message.GetLines());
        size += message.GetBytes();
        subject = message.GetSubject();
    }
    if (articles.empty()) {
        context_.messageBox.Show(kNoArticles, MessageIcon::Stop);
        return 0;
    }
    CTask task(&context_.settings);
    MakeDownloadTask(task,
                     {group_, subject, dir, std::move(articles), std::move(lines), size, affinity});
    int queued = controller.Queue().AddTask(task, atTop);
    controller.DispatchIfRunning();
    return queued;
}

}  // namespace vexlo
