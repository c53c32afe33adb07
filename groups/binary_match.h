// Binary matching: recognising part counters in subjects, collecting the parts
// of multi-part posts into binaries, and keeping the group's .BIN.
//
// Binary record (little-endian u32 fields, texts without terminators):
//   flags (bit 0 = found by the scan that wrote it), N, Ls, Lf, Lm  (20 bytes)
//   subject of part N, poster of part 1, message-id of part 1
//   N article numbers, N line counts, N byte counts (parts 1..N in order)
// .BIN, .NEW and .BIN.NEXT: first and last (u32) of the scan that wrote the file,
// then binary records in subject order (case-insensitive). The texts obey the
// header record's bounds (subject 1023, poster 1023, message-id 259 bytes).
//
// MatchBinaries runs on the scanning channel's thread and rewrites .BIN and
// .MSG under the group's named lock; readers on the main thread take the same
// lock before they read them.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/named_locks.h"
#include "groups/header_file.h"
#include "platform/record_file.h"
#include "groups/scan_step.h"

namespace vexlo {

inline constexpr size_t kBinaryFixedSize = 20;
inline constexpr uint32_t kBinaryFlagNew = 1;

// Status texts of the matching step.
inline constexpr const char* kStatusAborted = "Aborted";
inline constexpr const char* kStatusCreateOutputFailed = "Error Creating Output File";
inline constexpr const char* kStatusMergeBinFailed = "Error Merging NEW/OLD To New BIN";
inline constexpr const char* kStatusMatchFailed = "Exception Caught While Matching Parts";

// Finds the rightmost "(" or "[" that opens a counter: digits, "/", digits,
// closed by ")" or "]" (brackets may be mixed). n is the number behind the
// bracket, m the number behind the last "/"; absent digits give 0.
bool ParsePartCounter(std::string_view subject, uint32_t& n, uint32_t& m);

// Same length, and at every position equal characters or two decimal digits.
bool SameSubjectPattern(std::string_view a, std::string_view b);

// Writes one binary record, cutting the texts to their bounds. False when the
// three lists differ in length (nothing written) or the write fails.
bool WriteBinaryRecord(CRecordWriter& out, uint32_t flags, std::string_view subject,
                       std::string_view poster, std::string_view messageId,
                       const std::vector<uint32_t>& articles, const std::vector<uint32_t>& lines,
                       const std::vector<uint32_t>& bytes);

// One binary record in memory. Empty until a read (or Assign) succeeds.
class CBinaryItem {
  public:
    CBinaryItem() = default;
    virtual ~CBinaryItem() = default;

    void Reset();
    // False at the end of the data or at a damaged record (a text over its
    // bound, more parts than bytes left); the item is then empty.
    bool Read(CRecordReader& in);
    // False for an empty item or a failed write.
    bool Write(CRecordWriter& out) const;
    // Fills the item (texts cut to their bounds); false when the lists differ in length.
    bool Assign(uint32_t flags, std::string_view subject, std::string_view poster,
                std::string_view messageId, std::vector<uint32_t> articles,
                std::vector<uint32_t> lines, std::vector<uint32_t> bytes);

    bool IsEmpty() const { return empty_; }
    uint32_t GetFlags() const { return flags_; }
    // Refused (false) for an empty item.
    bool SetFlags(uint32_t flags);
    const std::string& GetSubject() const { return subject_; }
    const std::string& GetPoster() const { return poster_; }
    const std::string& GetMessageId() const { return messageId_; }
    const std::vector<uint32_t>& GetArticles() const { return articles_; }
    const std::vector<uint32_t>& GetLines() const { return lines_; }
    const std::vector<uint32_t>& GetBytes() const { return bytes_; }
    size_t PartCount() const { return articles_.size(); }

    // Appends the article numbers in part order; false for an empty item.
    bool AppendArticles(std::vector<uint32_t>& list) const;
    uint64_t TotalLines() const;
    // Decoded size of TotalLines full uuencoded lines (45 bytes each).
    uint64_t EstimatedSize() const { return TotalLines() * 45; }
    // Smallest article number, 0 with no parts.
    uint32_t LowestArticle() const;

  private:
    bool empty_ = true;
    uint32_t flags_ = 0;
    std::string subject_;
    std::string poster_;
    std::string messageId_;
    std::vector<uint32_t> articles_;
    std::vector<uint32_t> lines_;
    std::vector<uint32_t> bytes_;
};

// Merges the previous binaries (`oldPath`, the group's .BIN, only read) with
// this scan's (.NEW) into `binPath` (the .BIN.NEXT) headed by .NEW's header,
// both in subject order; on equal subjects the new one comes first. Old
// binaries lose their new mark; those whose lowest article is below `first`
// have expired and are dropped, the others are kept: their articles are
// appended to `usedArticles` and `keptCount` grows by one each. `binPath` is
// written under "<name>.tmp" and appears only when whole.
bool MergeBinaryFiles(const std::string& binPath, std::vector<uint32_t>& usedArticles,
                      const std::string& newPath, const std::string& oldPath, uint32_t first,
                      uint32_t& keptCount);

// Waits for the group's named lock: TryLock, then again every 1000 ms. Gives
// up (false, lock not held) as soon as `abortFlag` is non-zero.
bool WaitForGroupLock(CNamedLocks& locks, const std::string& groupName,
                      const std::atomic<uint32_t>& abortFlag);

// The last step of a scan. `headers` is the group's header set (the sorted
// .XOV, or the merged one) and `offsets` its records in subject order;
// haveData tells whether the group had a consistent .MSG/.BIN pair; first and
// last are the GROUP reply's range. Under the group lock: matches complete
// binaries into .NEW (haveData) or the .BIN.NEXT, merges .NEW with the old
// .BIN into the .BIN.NEXT, writes the .MSG.NEXT and commits them in place of
// the old pair, removing the .XOV (groups/scan_commit.h). On success the
// figures are set; on failure (and on an abort while waiting for the lock)
// the old pair and the .XOV stay as they were, and the status text says what
// failed (see the constants above).
ScanStepResult MatchBinaries(CNamedLocks& locks, const std::atomic<uint32_t>& abortFlag,
                             const std::string& dataDir, const std::string& groupName,
                             CHeaderFile& headers, const std::vector<uint32_t>& offsets,
                             bool haveData, uint32_t first, uint32_t last);

}  // namespace vexlo
