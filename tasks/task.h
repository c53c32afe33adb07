// CTask: one job of the download queue — scan a group's headers, or fetch the
// parts of one binary and decode them — and the record `_QUEUE.DAT` stores.
//
// Threads: a task is written by the one channel thread that runs it and read by
// the main thread (queue rows, saving). Status text, output file and the
// scalar fields are guarded by fieldsMutex_ (or are atomics); the resume point
// (partsFetched, bytesWritten) changes only under the named lock
// "{TASK-PROGRESS-LOCK}", so a saved record never mixes two moments.
// Texts follow the fixed 260-byte fields: at most 259 characters.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo {

class CNamedLocks;
class CRecordReader;
class CAppSettings;

enum TaskType : uint32_t {
    kTaskUndefined = 0,
    kTaskScanNew = 1,
    kTaskScanAll = 2,
    kTaskDecode = 3,
    kTaskGet = 4,
};

enum TaskResult : uint32_t {
    kResultUnprocessed = 0,
    kResultPartial = 1,
    kResultCompleted = 2,
    kResultError = 3,
};

class CTask {
  public:
    static constexpr size_t kTextField = 260;
    static constexpr size_t kFixedRecordBytes = 1336;

    // `settings` gives the default affinity and the configured channels (may be null
    // in code that never calls Reset with settings or SetAffinity).
    explicit CTask(const CAppSettings* settings = nullptr);
    virtual ~CTask() = default;
    CTask(const CTask&) = delete;
    CTask& operator=(const CTask&) = delete;

    void Reset();
    // Every field but `assigned`; the arrays by value.
    void CopyFrom(const CTask& other);

    // A number that identifies this record object for the process's lifetime
    // (the progress table's key); never 0, never reused.
    uint32_t Key() const { return key_; }

    uint32_t GetId() const { return id_; }
    void SetId(uint32_t id) { id_ = id; }
    uint32_t GetAssigned() const { return assigned_; }
    void SetAssigned(uint32_t v) { assigned_ = v; }
    uint32_t GetType() const { return type_; }
    void SetType(uint32_t type) { type_ = type; }
    uint32_t GetResult() const { return result_; }
    void SetResult(uint32_t result) { result_ = result; }
    uint32_t GetInProgress() const { return inProgress_; }
    void SetInProgress(uint32_t v) { inProgress_ = v; }
    uint32_t GetAffinity() const { return affinity_; }
    // Reduced to the configured channels; 0 when nothing remains (field unchanged).
    int SetAffinity(uint32_t mask);
    uint32_t GetSize() const { return size_; }
    void SetSize(uint32_t size) { size_ = size; }
    uint32_t GetBinCount() const { return binCount_; }
    void SetBinCount(uint32_t n) { binCount_ = n; }
    uint32_t GetNewCount() const { return newCount_; }
    void SetNewCount(uint32_t n) { newCount_ = n; }
    uint32_t GetMsgCount() const { return msgCount_; }
    void SetMsgCount(uint32_t n) { msgCount_ = n; }
    // Set by a download that stopped because the disk is full: the main thread
    // then stops dispatching (not part of the record; Reset clears it).
    bool IsOutOfSpace() const { return outOfSpace_; }
    void SetOutOfSpace(bool v) { outOfSpace_ = v; }

    std::string GetStatusText() const;
    std::string GetGroupName() const;
    std::string GetSaveDir() const;
    std::string GetSubject() const;
    std::string GetOutputFile() const;
    // Longer texts are cut to 258 characters and "+" (returns 0).
    int SetStatusText(std::string_view text);
    int SetSubject(std::string_view text);
    // Longer texts are refused: the field is left empty (returns 0).
    int SetGroupName(std::string_view text);
    int SetSaveDir(std::string_view text);
    int SetOutputFile(std::string_view text);

    // Article numbers and line counts of the parts, in part order. The channel
    // that runs the task only reads them; the main thread sets them before queueing.
    const std::vector<uint32_t>& GetArticles() const { return articles_; }
    const std::vector<uint32_t>& GetLines() const { return lines_; }
    void SetArticles(std::vector<uint32_t> articles) { articles_ = std::move(articles); }
    void SetLines(std::vector<uint32_t> lines) { lines_ = std::move(lines); }

    // The resume point. Read it under the progress lock when another thread may write.
    uint32_t GetPartsFetched() const { return partsFetched_; }
    uint32_t GetBytesWritten() const { return bytesWritten_; }
    // Stores both under "{TASK-PROGRESS-LOCK}"; 0 for a count outside 0..parts.
    int SetProgress(CNamedLocks& locks, int partsFetched, uint32_t bytesWritten);

    // The record of the queue file (1336 + 8 x parts bytes). WriteRecord holds
    // the progress lock for the whole record; ReadRecord takes none and reads
    // through a buffer (a queue of thousands of tasks in a few system calls).
    bool WriteRecord(CNamedLocks& locks, std::string& out) const;
    int ReadRecord(CRecordReader& in);

    const char* TypeName() const;
    const char* TypeLongName() const;
    const char* ResultText() const;
    const char* ResultLongName() const;
    std::string AffinityText() const;
    std::string SizeText() const;

  private:
    static void StoreCut(std::string& field, std::string_view text, int& result);

    const CAppSettings* settings_;
    const uint32_t key_;

    std::atomic<uint32_t> id_{0};
    std::atomic<uint32_t> assigned_{0};
    std::atomic<uint32_t> type_{0};
    std::atomic<uint32_t> result_{0};
    std::atomic<uint32_t> inProgress_{0};
    std::atomic<uint32_t> affinity_{1};
    std::atomic<uint32_t> size_{0};
    std::atomic<uint32_t> binCount_{0}, newCount_{0}, msgCount_{0};
    std::atomic<bool> outOfSpace_{false};

    mutable std::mutex fieldsMutex_;
    std::string statusText_;  // guarded by fieldsMutex_
    std::string groupName_;   // guarded by fieldsMutex_
    std::string saveDir_;     // guarded by fieldsMutex_
    std::string subject_;     // guarded by fieldsMutex_
    std::string outputFile_;  // guarded by fieldsMutex_

    uint32_t partsFetched_ = 0;  // guarded by "{TASK-PROGRESS-LOCK}"
    uint32_t bytesWritten_ = 0;  // guarded by "{TASK-PROGRESS-LOCK}"
    std::vector<uint32_t> articles_;
    std::vector<uint32_t> lines_;
};

// The parts of one binary to fetch and decode, as the header view queues them.
struct DownloadParts {
    std::string group;
    std::string subject;
    std::string saveDir;
    std::vector<uint32_t> articles;
    std::vector<uint32_t> lines;
    uint64_t size = 0;         // estimated decoded size (kept to 32 bits)
    uint32_t affinity = 0xff;  // reduced to the configured channels
};
// Resets `task` and makes it the DECODE task of `parts`.
void MakeDownloadTask(CTask& task, const DownloadParts& parts);

// Percentage of done over total: 100 when done >= total, 0 when either is below 1.
int ProgressPercent(int64_t done, int64_t total);
// The percentage of lines received over all lines of a multi-part download,
// at line `linesSoFar` of the 1-based part `partNumber`.
int PartProgressPercent(const std::vector<uint32_t>& lineCounts, uint32_t partNumber,
                        uint32_t linesSoFar);

}  // namespace vexlo
