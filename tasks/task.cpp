#include "tasks/task.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/app_settings.h"
#include "core/named_locks.h"
#include "platform/record_file.h"

namespace vexlo {

namespace {

std::atomic<uint32_t> nextKey{1};

void PutU32(std::string& out, uint32_t v) {
    char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                 static_cast<char>(v >> 24)};
    out.append(b, 4);
}

void PutText(std::string& out, const std::string& text) {
    size_t n = std::min(text.size(), CTask::kTextField - 1);
    out.append(text, 0, n);
    out.append(CTask::kTextField - n, '\0');
}

bool GetText(CRecordReader& in, std::string& text) {
    const char* b = in.Peek(CTask::kTextField);
    if (b == nullptr) return false;
    text.assign(b, strnlen(b, CTask::kTextField - 1));
    in.Advance(CTask::kTextField);
    return true;
}

}  // namespace

CTask::CTask(const CAppSettings* settings) : settings_(settings), key_(nextKey++) {
    Reset();
}

void CTask::Reset() {
    id_ = assigned_ = type_ = result_ = inProgress_ = 0;
    affinity_ = settings_ != nullptr ? settings_->GetAffinity() : 1;
    {
        std::lock_guard lock(fieldsMutex_);
        statusText_.clear();
        groupName_.clear();
        saveDir_.clear();
        subject_.clear();
        outputFile_.clear();
    }
    binCount_ = newCount_ = msgCount_ = 0;
    outOfSpace_ = false;
    size_ = 0;
    partsFetched_ = bytesWritten_ = 0;
    articles_.clear();
    lines_.clear();
}

void CTask::CopyFrom(const CTask& other) {
    Reset();
    id_ = other.id_.load();
    type_ = other.type_.load();
    result_ = other.result_.load();
    inProgress_ = other.inProgress_.load();
    affinity_ = other.affinity_.load();
    size_ = other.size_.load();
    binCount_ = other.binCount_.load();
    newCount_ = other.newCount_.load();
    msgCount_ = other.msgCount_.load();
    {
        std::scoped_lock lock(fieldsMutex_, other.fieldsMutex_);
        statusText_ = other.statusText_;
        groupName_ = other.groupName_;
        saveDir_ = other.saveDir_;
        subject_ = other.subject_;
        outputFile_ = other.outputFile_;
    }
    partsFetched_ = other.partsFetched_;
    bytesWritten_ = other.bytesWritten_;
    articles_ = other.articles_;
    lines_ = other.lines_;
}

int CTask::SetAffinity(uint32_t mask) {
    uint32_t channels = 1;
    if (settings_ != nullptr) {
        int conn = settings_->GetConn();
        channels = conn >= 1 && conn <= 8 ? (1u << conn) - 1 : 1;
    }
    uint32_t m = mask & channels;
    if (m == 0) return 0;
    affinity_ = m;
    return 1;
}

std::string CTask::GetStatusText() const {
    std::lock_guard lock(fieldsMutex_);
    return statusText_;
}
std::string CTask::GetGroupName() const {
    std::lock_guard lock(fieldsMutex_);
    return groupName_;
}
std::string CTask::GetSaveDir() const {
    std::lock_guard lock(fieldsMutex_);
    return saveDir_;
}
std::string CTask::GetSubject() const {
    std::lock_guard lock(fieldsMutex_);
    return subject_;
}
std::string CTask::GetOutputFile() const {
    std::lock_guard lock(fieldsMutex_);
    return outputFile_;
}

void CTask::StoreCut(std::string& field, std::string_view text, int& result) {
    if (text.size() <= kTextField - 1) {
        field = text;
        result = 1;
    } else {
        field.assign(text.substr(0, kTextField - 2));
        field += '+';
        result = 0;
    }
}

int CTask::SetStatusText(std::string_view text) {
    int result;
    std::lock_guard lock(fieldsMutex_);
    StoreCut(statusText_, text, result);
    return result;
}

int CTask::SetSubject(std::string_view text) {
    int result;
    std::lock_guard lock(fieldsMutex_);
    StoreCut(subject_, text, result);
    return result;
}

namespace {
int StoreWhole(std::string& field, std::string_view text) {
    field.clear();
    if (text.size() > CTask::kTextField - 1) return 0;
    field = text;
    return 1;
}
}  // namespace

int CTask::SetGroupName(std::string_view text) {
    std::lock_guard lock(fieldsMutex_);
    return StoreWhole(groupName_, text);
}
int CTask::SetSaveDir(std::string_view text) {
    std::lock_guard lock(fieldsMutex_);
    return StoreWhole(saveDir_, text);
}
int CTask::SetOutputFile(std::string_view text) {
    std::lock_guard lock(fieldsMutex_);
    return StoreWhole(outputFile_, text);
}

int CTask::SetProgress(CNamedLocks& locks, int partsFetched, uint32_t bytesWritten) {
    CTaskProgressGuard guard(locks);
    if (partsFetched < 0 || static_cast<size_t>(partsFetched) > articles_.size()) return 0;
    partsFetched_ = static_cast<uint32_t>(partsFetched);
    bytesWritten_ = bytesWritten;
    return 1;
}

bool CTask::WriteRecord(CNamedLocks& locks, std::string& out) const {
    CTaskProgressGuard guard(locks);
    out.reserve(out.size() + kFixedRecordBytes + 8 * articles_.size());
    PutU32(out, id_);
    PutU32(out, type_);
    PutU32(out, result_);
    PutU32(out, inProgress_);
    PutU32(out, affinity_);
    PutU32(out, size_);
    {
        std::lock_guard lock(fieldsMutex_);
        PutText(out, statusText_);
        PutText(out, groupName_);
        PutText(out, saveDir_);
        PutText(out, subject_);
        PutText(out, outputFile_);
    }
    PutU32(out, partsFetched_);
    PutU32(out, bytesWritten_);
    size_t n = articles_.size();
    PutU32(out, static_cast<uint32_t>(n));
    for (uint32_t a : articles_) PutU32(out, a);
    for (size_t i = 0; i < n; ++i) PutU32(out, i < lines_.size() ? lines_[i] : 0);
    return true;
}

int CTask::ReadRecord(CRecordReader& in) {
    Reset();
    uint32_t v;
    if (!in.ReadU32(v)) return 0;
    id_ = v;
    if (!in.ReadU32(v)) return 0;
    type_ = v;
    if (!in.ReadU32(v)) return 0;
    result_ = v;
    if (!in.ReadU32(v)) return 0;
    inProgress_ = v;
    if (!in.ReadU32(v)) return 0;
    affinity_ = v;
    if (!in.ReadU32(v)) return 0;
    size_ = v;
    {
        std::lock_guard lock(fieldsMutex_);
        for (std::string* field : {&statusText_, &groupName_, &saveDir_, &subject_, &outputFile_})
            if (!GetText(in, *field)) return 0;
    }
    if (!in.ReadU32(partsFetched_) || !in.ReadU32(bytesWritten_)) return 0;
    uint32_t n;
    if (!in.ReadU32(n)) return 0;
    // The count comes from the file: never reserve more than the file can hold.
    if (static_cast<uint64_t>(n) * 8 > in.Remaining()) return 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (!in.ReadU32(v)) return 0;
        articles_.push_back(v);
    }
    for (uint32_t i = 0; i < n; ++i) {
        if (!in.ReadU32(v)) return 0;
        lines_.push_back(v);
    }
    if (partsFetched_ > n) partsFetched_ = n;
    return 1;
}

const char* CTask::TypeName() const {
    switch (type_) {
        case kTaskScanNew:
            return "SCAN NEW";
        case kTaskScanAll:
            return "SCAN ALL";
        case kTaskDecode:
            return "DECODE";
        case kTaskGet:
            return "GET";
        default:
            return "";
    }
}

const char* CTask::TypeLongName() const {
    switch (type_) {
        case kTaskUndefined:
            return "<UNDEFINED>";
        case kTaskScanNew:
            return "Scan New Headers";
        case kTaskScanAll:
            return "Scan All Headers";
        case kTaskDecode:
            return "Get And Decode Binary";
        case kTaskGet:
            return "Get And Save As Text (Raw)";
        default:
            return "<UNKNOWN>";
    }
}

const char* CTask::ResultText() const {
    switch (result_) {
        case kResultPartial:
            return "(INCOMPLETE)";
        case kResultCompleted:
            return "OK";
        case kResultError:
            return "ERROR";
        default:
            return "";
    }
}

const char* CTask::ResultLongName() const {
    switch (result_) {
        case kResultUnprocessed:
            return "UNPROCESSED";
        case kResultPartial:
            return "Partially Processed";
        case kResultCompleted:
            return "Completed";
        case kResultError:
            return "ERROR";
        default:
            return "<UNKNOWN>";
    }
}

std::string CTask::AffinityText() const {
    std::string text;
    uint32_t mask = affinity_;
    for (int channel = 1; channel <= 8; ++channel) {
        if (mask & (1u << (channel - 1))) {
            if (!text.empty()) text += '/';
            text += std::to_string(channel);
        }
    }
    return text;
}

std::string CTask::SizeText() const {
    if (type_ != kTaskDecode && type_ != kTaskGet) return "n/a";
    double k = static_cast<double>(size_ / 1024);
    char buffer[64];
    if (k < 1024)
        std::snprintf(buffer, sizeof buffer, "~%0.2lf K", k);
    else if (k / 1024 < 1024)
        std::snprintf(buffer, sizeof buffer, "~%0.2lf MB", k / 1024);
    else
        std::snprintf(buffer, sizeof buffer, "~%0.2lf GB", k / 1024 / 1024);
    return buffer;
}

void MakeDownloadTask(CTask& task, const DownloadParts& parts) {
    task.Reset();
    task.SetType(kTaskDecode);
    task.SetSize(static_cast<uint32_t>(std::min<uint64_t>(parts.size, UINT32_MAX)));
    task.SetSaveDir(parts.saveDir);
    task.SetGroupName(parts.group);
    task.SetSubject(parts.subject);
    task.SetArticles(parts.articles);
    task.SetLines(parts.lines);
    task.SetAffinity(parts.affinity);
}

int ProgressPercent(int64_t done, int64_t total) {
    if (done >= total) return 100;
    if (done < 1 || total < 1) return 0;
    return static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
}

int PartProgressPercent(const std::vector<uint32_t>& lineCounts, uint32_t partNumber,
                        uint32_t linesSoFar) {
    if (lineCounts.empty()) return 0;
    int64_t done = linesSoFar, total = 0;
    for (size_t i = 0; i < lineCounts.size(); ++i) {
        total += lineCounts[i];
        if (i + 1 < partNumber) done += lineCounts[i];
    }
    return ProgressPercent(done, total);
}

}  // namespace vexlo
