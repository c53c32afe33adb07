#include "groups/binary_match.h"

#include <algorithm>
#include <bit>
#include <numeric>

#include "core/number_readers.h"
#include "groups/article_set.h"
#include "groups/group_files.h"
#include "groups/header_record.h"
#include "groups/message_db.h"
#include "groups/scan_commit.h"
#include "groups/scan_steps.h"
#include "platform/tick.h"

namespace vexlo {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool ReadU32List(CRecordReader& in, std::vector<uint32_t>& list, uint32_t count) {
    list.resize(count);
    if (count == 0) return true;
    if (!in.Read(list.data(), size_t{count} * 4)) return false;
    if constexpr (std::endian::native == std::endian::big) {
        for (uint32_t& v : list) v = LoadU32(reinterpret_cast<const char*>(&v));
    }
    return true;
}

// The candidate post of the matching pass: part 1's subject, poster and
// message-id, the announced total, and the parts collected so far.
struct Candidate {
    std::string subjectTemplate;
    std::string poster;
    std::string messageId;
    uint32_t expected = 0;
    std::vector<uint32_t> articles, lines, bytes;

    size_t Count() const { return articles.size(); }
    void ClearParts() {
        articles.clear();
        lines.clear();
        bytes.clear();
    }
    void Add(const HeaderRecord& r) {
        articles.push_back(r.article);
        lines.push_back(r.lines);
        bytes.push_back(r.bytes);
    }
    void ReplaceLast(const HeaderRecord& r) {
        articles.back() = r.article;
        lines.back() = r.lines;
        bytes.back() = r.bytes;
    }
};

struct MatchFigures {
    uint32_t binCount = 0;
    uint32_t newCount = 0;
};

// The matching pass over the header set; false on a damaged record or a failed write.
bool MatchPass(CHeaderFile& headers, const std::vector<uint32_t>& offsets, CRecordWriter& out,
               std::vector<uint32_t>& used, MatchFigures& figures) {
    CHeaderPass pass(headers, offsets);
    if (!pass.Ok()) return false;
    Candidate cand;
    cand.articles.reserve(128);
    cand.lines.reserve(128);
    cand.bytes.reserve(128);
    HeaderRecord r;
    for (size_t k = 0; k < offsets.size(); ++k) {
        if (pass.Read(k, r) != CHeaderPass::Result::kRecord) return false;
        uint32_t n = 0, m = 0;
        if (!ParsePartCounter(r.subject, n, m) || n == 0) continue;
        if (n == 1) {
            cand.subjectTemplate.assign(r.subject);
            cand.poster.assign(r.poster);
            cand.messageId.assign(r.messageId);
            cand.expected = m;
            cand.ClearParts();
            cand.Add(r);
        } else {
            bool same = SameSubjectPattern(r.subject, cand.subjectTemplate);
            uint64_t c = cand.Count();
            if (m == cand.expected && n == c + 1) {
                if (!same) {
                    cand.ClearParts();
                    continue;
                }
                cand.Add(r);
            } else if (same && m == cand.expected && n == c) {
                cand.ReplaceLast(r);  // a repeated part: the later one is kept
            } else {
                cand.ClearParts();
                continue;
            }
        }
        if (cand.Count() == cand.expected) {
            if (!WriteBinaryRecord(out, kBinaryFlagNew, r.subject, cand.poster, cand.messageId,
                                   cand.articles, cand.lines, cand.bytes)) {
                return false;
            }
            used.insert(used.end(), cand.articles.begin(), cand.articles.end());
            ++figures.newCount;
            ++figures.binCount;
            cand.ClearParts();
        }
    }
    return out.Flush();
}

}  // namespace

bool ParsePartCounter(std::string_view s, uint32_t& n, uint32_t& m) {
    const size_t len = s.size();
    for (size_t p = len; p-- > 0;) {
        if (s[p] != '(' && s[p] != '[') continue;
        size_t i = p + 1;
        while (i < len) {
            char c = s[i];
            if (IsDigit(c)) {
                ++i;
            } else if (c == '/') {
                size_t k = i + 1;
                i = k;
                while (i < len && IsDigit(s[i])) ++i;
                if (i >= len) break;
                if (s[i] == ')' || s[i] == ']') {
                    n = static_cast<uint32_t>(ReadLenientInt(s.substr(p + 1)));
                    m = static_cast<uint32_t>(ReadLenientInt(s.substr(k)));
                    return true;
                }
                // Not closed here: look at the character reached on the next round.
            } else {
                break;
            }
        }
    }
    return false;
}

bool SameSubjectPattern(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && !(IsDigit(a[i]) && IsDigit(b[i]))) return false;
    }
    return true;
}

bool WriteBinaryRecord(CRecordWriter& out, uint32_t flags, std::string_view subject,
                       std::string_view poster, std::string_view messageId,
                       const std::vector<uint32_t>& articles, const std::vector<uint32_t>& lines,
                       const std::vector<uint32_t>& bytes) {
    if (lines.size() != articles.size() || bytes.size() != articles.size()) return false;
    BoundedText s = BoundSubject(subject);
    BoundedText f = BoundPoster(poster);
    BoundedText id = BoundMessageId(messageId);
    char fixed[kBinaryFixedSize];
    StoreU32(fixed, flags);
    StoreU32(fixed + 4, static_cast<uint32_t>(articles.size()));
    StoreU32(fixed + 8, static_cast<uint32_t>(s.size()));
    StoreU32(fixed + 12, static_cast<uint32_t>(f.size()));
    StoreU32(fixed + 16, static_cast<uint32_t>(id.size()));
    return out.Write(fixed, sizeof fixed) && out.Write(s.head) && out.Write(s.marker) &&
           out.Write(s.tail) && out.Write(f.head) && out.Write(id.head) &&
           out.WriteU32s(articles) && out.WriteU32s(lines) && out.WriteU32s(bytes);
}

void CBinaryItem::Reset() {
    empty_ = true;
    flags_ = 0;
    subject_.clear();
    poster_.clear();
    messageId_.clear();
    articles_.clear();
    lines_.clear();
    bytes_.clear();
}

bool CBinaryItem::Read(CRecordReader& in) {
    Reset();
    const char* p = in.Peek(kBinaryFixedSize);
    if (p == nullptr) return false;
    uint32_t flags = LoadU32(p), count = LoadU32(p + 4);
    uint32_t ls = LoadU32(p + 8), lf = LoadU32(p + 12), lm = LoadU32(p + 16);
    if (ls > kMaxSubjectLength || lf > kMaxPosterLength || lm > kMaxMessageIdLength) return false;
    uint64_t total = kBinaryFixedSize + uint64_t{ls} + lf + lm + uint64_t{count} * 12;
    // A damaged part count must not make the lists grow past the file.
    if (total > in.Remaining()) return false;
    uint64_t start = in.Tell();
    in.Advance(kBinaryFixedSize);
    subject_.resize(ls);
    poster_.resize(lf);
    messageId_.resize(lm);
    if (!in.Read(subject_.data(), ls) || !in.Read(poster_.data(), lf) ||
        !in.Read(messageId_.data(), lm) || !ReadU32List(in, articles_, count) ||
        !ReadU32List(in, lines_, count) || !ReadU32List(in, bytes_, count)) {
        Reset();
        in.Seek(start);
        return false;
    }
    flags_ = flags;
    empty_ = false;
    return true;
}

bool CBinaryItem::Write(CRecordWriter& out) const {
    if (empty_) return false;
    return WriteBinaryRecord(out, flags_, subject_, poster_, messageId_, articles_, lines_, bytes_);
}

bool CBinaryItem::Assign(uint32_t flags, std::string_view subject, std::string_view poster,
                         std::string_view messageId, std::vector<uint32_t> articles,
                         std::vector<uint32_t> lines, std::vector<uint32_t> bytes) {
    if (articles.size() != lines.size() || articles.size() != bytes.size()) return false;
    empty_ = false;
    flags_ = flags;
    subject_ = BoundSubject(subject).str();
    poster_ = BoundPoster(poster).str();
    messageId_ = BoundMessageId(messageId).str();
    articles_ = std::move(articles);
    lines_ = std::move(lines);
    bytes_ = std::move(bytes);
    return true;
}

bool CBinaryItem::SetFlags(uint32_t flags) {
    if (empty_) return false;
    flags_ = flags;
    return true;
}

bool CBinaryItem::AppendArticles(std::vector<uint32_t>& list) const {
    if (empty_) return false;
    list.insert(list.end(), articles_.begin(), articles_.end());
    return true;
}

uint64_t CBinaryItem::TotalLines() const {
    return std::accumulate(lines_.begin(), lines_.end(), uint64_t{0});
}

uint32_t CBinaryItem::LowestArticle() const {
    if (articles_.empty()) return 0;
    return *std::min_element(articles_.begin(), articles_.end());
}

bool MergeBinaryFiles(const std::string& binPath, std::vector<uint32_t>& usedArticles,
                      const std::string& newPath, const std::string& oldPath, uint32_t first,
                      uint32_t& keptCount) {
    CReplacementFile output(binPath);
    CFile oldFile, newFile;
    if (!output.Open() || !oldFile.Open(oldPath, CFile::Mode::Read) ||
        !newFile.Open(newPath, CFile::Mode::Read)) {
        return false;
    }
    CRecordReader oldIn(oldFile), newIn(newFile);
    CRecordWriter out(output.File());
    uint32_t oldFirst, oldLast, newFirst, newLast;
    if (!oldIn.ReadU32(oldFirst) || !oldIn.ReadU32(oldLast) || !newIn.ReadU32(newFirst) ||
        !newIn.ReadU32(newLast) || !out.WriteU32(newFirst) || !out.WriteU32(newLast)) {
        return false;
    }
    CBinaryItem o, n;
    // Keeps an old binary unless it has expired.
    auto keepOld = [&]() {
        if (o.LowestArticle() < first) return true;
        o.AppendArticles(usedArticles);
        ++keptCount;
        return o.Write(out);
    };
    auto readOld = [&]() {
        if (o.Read(oldIn)) o.SetFlags(o.GetFlags() & ~kBinaryFlagNew);
    };
    for (;;) {
        if (o.IsEmpty()) readOld();
        if (n.IsEmpty()) n.Read(newIn);
        if (o.IsEmpty()) {
            for (; !n.IsEmpty(); n.Read(newIn)) {
                if (!n.Write(out)) return false;
            }
            break;
        }
        if (n.IsEmpty()) {
            for (; !o.IsEmpty(); readOld()) {
                if (!keepOld()) return false;
            }
            break;
        }
        if (CompareSubjects(o.GetSubject(), n.GetSubject()) >= 0) {
            if (!n.Write(out)) return false;
            n.Reset();
        } else {
            if (!keepOld()) return false;
            o.Reset();
        }
    }
    return out.Flush() && output.Commit();
}

bool WaitForGroupLock(CNamedLocks& locks, const std::string& groupName,
                      const std::atomic<uint32_t>& abortFlag) {
    constexpr uint32_t kRetryMs = 1000;
    constexpr uint32_t kSliceMs = 50;  // how quickly an abort is noticed
    bool taken = locks.TryLock(groupName) != 0;
    while (!taken && abortFlag.load() == 0) {
        for (uint32_t waited = 0; waited < kRetryMs && abortFlag.load() == 0; waited += kSliceMs) {
            Sleep(kSliceMs);
        }
        if (abortFlag.load() == 0) taken = locks.TryLock(groupName) != 0;
    }
    if (abortFlag.load() != 0) {
        if (taken) locks.Unlock(groupName);
        return false;
    }
    return true;
}

ScanStepResult MatchBinaries(CNamedLocks& locks, const std::atomic<uint32_t>& abortFlag,
                             const std::string& dataDir, const std::string& groupName,
                             CHeaderFile& headers, const std::vector<uint32_t>& offsets,
                             bool haveData, uint32_t first, uint32_t last) {
    const GroupFilePaths p = GroupFilePaths::Make(dataDir, groupName);
    if (!WaitForGroupLock(locks, groupName, abortFlag)) {
        DiscardScanFiles(p);
        ScanStepResult r = ScanStepResult::Failure(kStatusAborted);
        r.aborted = true;
        return r;
    }
    CNamedLockHolder lock(locks, groupName);
    // Every failure before the commit leaves the old pair and the .XOV as they are.
    auto fail = [&](const char* status) {
        DiscardScanFiles(p);
        return ScanStepResult::Failure(status);
    };

    // Without old data the pass writes the next .BIN itself; with old data it
    // writes this scan's binaries (.NEW), merged below with the old .BIN,
    // which is only read.
    ScanFileStep(haveData ? "write .NEW" : "write .BIN.NEXT");
    CReplacementFile nextBin(p.nextBin);
    CFile newFile;
    bool opened = haveData ? newFile.Open(p.newBin, CFile::Mode::CreateTruncate) : nextBin.Open();
    if (!opened) return fail(kStatusCreateOutputFailed);
    CFile& outFile = haveData ? newFile : nextBin.File();

    std::vector<uint32_t> used;
    MatchFigures figures;
    bool passOk;
    {
        CRecordWriter out(outFile);
        passOk = out.WriteU32(first) && out.WriteU32(last) &&
                 MatchPass(headers, offsets, out, used, figures);
    }
    passOk = passOk && (haveData ? newFile.Close() : nextBin.Commit());
    if (!passOk) {
        newFile.Close();
        nextBin.Discard();
        return fail(kStatusMatchFailed);
    }
    uint32_t binCount = figures.binCount;
    if (haveData) {
        ScanFileStep("merge into .BIN.NEXT");
        if (!MergeBinaryFiles(p.nextBin, used, p.newBin, p.bin, first, binCount))
            return fail(kStatusMergeBinFailed);
    }

    uint32_t msgCount = 0;
    const CArticleSet usedSet(used);
    std::vector<uint32_t>().swap(used);
    ScanFileStep("write .MSG.NEXT");
    if (!WriteMessageFile(headers, offsets, usedSet, first, last, p.nextMsg, msgCount))
        return fail(kStatusMergeBinFailed);
    if (!CommitScanFiles(p)) return fail(kStatusMergeBinFailed);
    ScanStepResult r;
    r.ok = true;
    r.binCount = binCount;
    r.newCount = figures.newCount;
    r.msgCount = msgCount;
    return r;
}

}  // namespace vexlo
