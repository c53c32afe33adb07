// The work of a header scan after its last overview line, on a busy group:
// index + sort of 1,000,000 new headers, the merge with an old .MSG of
// 1,000,000 records, and the matching with the .BIN merge and .MSG rewrite.
//
// The parent builds a synthetic group in a temporary directory: multi-part
// posts of 1 to 100 parts (mostly zero-padded counters, some unpadded, some
// [n/m]) from several posters posting at once, so their parts interleave in
// article order as a server delivers them, with reposts, incomplete posts and
// plain messages. Each phase then runs in a fresh process of this program, so
// its peak memory is its own: VmHWM growth over the process's start (this
// includes pages of the mapped .XOV, which are page cache shared with the
// file system), and the peak of private (anonymous) memory sampled every 2 ms.
//
// Prints "BENCH scan_postprocess_1M_s <seconds> s" (the three phases together)
// and "BENCH scan_postprocess_peak_MB <MB> MB" (largest private peak of a phase,
// less the used-article list).
//
// A second, realistic .XOV of 1,000,000 headers is sorted on its own: thousands
// of posts of 1 to 500 parts from many posters, each post's parts in ascending
// order, posts interleaved as a server delivers them, 5% of the parts posted
// again later. Prints "BENCH scan_postprocess_1M_realistic_s <seconds> s" and
// whether the sort kept the quicksort's order throughout (no heap sort).
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/named_locks.h"
#include "groups/binary_match.h"
#include "groups/group_files.h"
#include "groups/header_record.h"
#include "groups/message_db.h"
#include "platform/record_file.h"
#include "groups/scan_helpers.h"
#include "groups/subject_sort.h"

using namespace vexlo;

namespace {

constexpr const char* kGroup = "alt.binaries.bench";
constexpr uint32_t kNewHeaders = 1'000'000;
constexpr uint32_t kOldMessages = 1'000'000;
constexpr uint32_t kOldBinaries = 30'000;
constexpr uint32_t kOldFirst = 1;
constexpr uint32_t kOldLast = 3'000'000;
constexpr uint32_t kNewFirst = 500'000;  // articles below this have expired
constexpr uint32_t kScanStart = kOldLast - 100;

// ---- memory figures from /proc/self/status (kB) ----

long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    size_t keyLen = std::strlen(key);
    while (std::getline(in, line)) {
        if (line.compare(0, keyLen, key) == 0 && line.size() > keyLen && line[keyLen] == ':') {
            return std::atol(line.c_str() + keyLen + 1);
        }
    }
    return 0;
}

// Samples private and file-backed resident memory while a phase runs.
class CMemorySampler {
  public:
    CMemorySampler() : thread_([this] { Run(); }) {}
    ~CMemorySampler() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    long PeakAnonKb() const { return peakAnon_; }
    long PeakFileKb() const { return peakFile_; }

  private:
    void Run() {
        while (!stop_) {
            Sample();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        Sample();
    }
    void Sample() {
        peakAnon_ = std::max(peakAnon_.load(), StatusKb("RssAnon"));
        peakFile_ = std::max(peakFile_.load(), StatusKb("RssFile"));
    }
    std::atomic<bool> stop_{false};
    std::atomic<long> peakAnon_{0};
    std::atomic<long> peakFile_{0};
    std::thread thread_;
};

double ThreadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// ---- synthetic group ----

struct Post {
    std::string setName;  // shared by the files of one set
    std::string fileName;
    int fileNo = 1, fileCount = 1;
    uint32_t parts = 1;
    int style = 0;  // 0 padded "(001/100)", 1 unpadded "(1/100)", 2 "[01/10]", 3 plain message
    int poster = 0;
    uint32_t nextPart = 1;
    uint32_t dropPart = 0;  // a part the server never got (incomplete post)
};

std::string Padded(uint32_t v, uint32_t width) {
    std::string s = std::to_string(v);
    if (s.size() < width) s.insert(0, width - s.size(), '0');
    return s;
}

std::string SubjectOf(const Post& p, uint32_t part) {
    if (p.style == 3) return "Re: " + p.setName + " - request for " + p.fileName;
    std::string counter;
    uint32_t width = static_cast<uint32_t>(std::to_string(p.parts).size());
    if (p.style == 0) counter = "(" + Padded(part, width) + "/" + std::to_string(p.parts) + ")";
    if (p.style == 1) counter = "(" + std::to_string(part) + "/" + std::to_string(p.parts) + ")";
    if (p.style == 2) counter = "[" + Padded(part, width) + "/" + std::to_string(p.parts) + "]";
    return p.setName + " [" + Padded(p.fileNo, 2) + "/" + Padded(p.fileCount, 2) + "] - \"" +
           p.fileName + "\" yEnc " + counter;
}

std::string PosterOf(int k) {
    return "Poster" + std::to_string(k) + " <poster" + std::to_string(k) + "@example.com>";
}

class CPostSource {
  public:
    explicit CPostSource(uint32_t seed) : rng_(seed) {}

    Post Next() {
        if (setLeft_ == 0) NewSet();
        Post p;
        p.setName = setName_;
        p.fileCount = setFiles_;
        p.fileNo = setFiles_ - setLeft_ + 1;
        --setLeft_;
        p.fileName = setFile_ + ".part" + Padded(p.fileNo, 2) + ".rar";
        p.poster = setPoster_;
        int r = Uniform(0, 99);
        p.style = r < 75 ? 0 : r < 87 ? 1 : r < 95 ? 2 : 3;
        int size = Uniform(0, 99);
        p.parts = size < 30 ? Uniform(1, 10) : size < 80 ? Uniform(10, 50) : Uniform(50, 100);
        if (p.style == 3) p.parts = 1;
        if (p.parts > 2 && Uniform(0, 99) < 3) p.dropPart = Uniform(2, static_cast<int>(p.parts));
        return p;
    }
    int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    std::mt19937& Rng() { return rng_; }

  private:
    void NewSet() {
        static const char* kWords[] = {"Holiday",     "Series", "Concert", "Archive", "Collection",
                                       "Documentary", "Linux",  "Album",   "Season",  "Backup",
                                       "Photos",      "Scans",  "Mix",     "Live",    "Remastered"};
        setName_.clear();
        int words = Uniform(2, 4);
        for (int w = 0; w < words; ++w) {
            if (w) setName_ += '.';
            setName_ += kWords[Uniform(0, 14)];
        }
        setName_ +=
            "." + std::to_string(Uniform(1990, 2024)) + "-GRP" + std::to_string(Uniform(1, 999));
        setFile_ = setName_;
        std::transform(setFile_.begin(), setFile_.end(), setFile_.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        setFiles_ = Uniform(3, 40);
        setLeft_ = setFiles_;
        setPoster_ = Uniform(0, 199);
    }
    std::mt19937 rng_;
    std::string setName_, setFile_;
    int setFiles_ = 0, setLeft_ = 0, setPoster_ = 0;
};

struct GeneratedHeader {
    uint32_t article, lines, bytes;
    std::string subject, poster, messageId;
};

// Emits headers as a server delivers them: several posts in flight at once,
// one part at a time from a random one; some posts are posted again later.
template <typename Emit>
void GenerateHeaders(uint32_t count, uint32_t firstArticle, uint32_t articleStep, uint32_t seed,
                     Emit emit) {
    CPostSource source(seed);
    std::vector<Post> active;
    std::vector<Post> reposts;
    uint32_t article = firstArticle;
    uint32_t made = 0;
    while (made < count) {
        while (active.size() < 8) {
            if (!reposts.empty() && source.Uniform(0, 9) == 0) {
                active.push_back(reposts.back());
                active.back().nextPart = 1;
                reposts.pop_back();
            } else {
                active.push_back(source.Next());
                if (source.Uniform(0, 99) < 3) reposts.push_back(active.back());
            }
        }
        size_t k = static_cast<size_t>(source.Uniform(0, static_cast<int>(active.size()) - 1));
        Post& p = active[k];
        uint32_t part = p.nextPart++;
        if (part != p.dropPart) {
            GeneratedHeader h;
            h.article = article;
            h.lines = 3000 + static_cast<uint32_t>(source.Uniform(0, 100));
            h.bytes = h.lines * 130;
            h.subject = SubjectOf(p, part);
            h.poster = PosterOf(p.poster);
            h.messageId = "<part" + std::to_string(part) + "of" + std::to_string(p.parts) + "." +
                          std::to_string(article) + "@news.example.com>";
            emit(h);
            ++made;
        }
        article += articleStep;
        if (p.nextPart > p.parts) active.erase(active.begin() + static_cast<ptrdiff_t>(k));
    }
}

bool WriteNewXov(const GroupFilePaths& paths) {
    CFile file;
    if (!file.Open(paths.xov, CFile::Mode::CreateTruncate)) return false;
    CRecordWriter out(file);
    out.WriteU32(kScanStart);
    out.WriteU32(kOldLast + 2 * kNewHeaders);
    GenerateHeaders(kNewHeaders, kOldLast + 1, 1, 7, [&](const GeneratedHeader& h) {
        AppendHeaderRecord(out, h.article, h.lines, h.bytes, h.subject, h.poster, h.messageId);
    });
    return out.Flush();
}

// The old pair: 1,000,000 leftover headers (incomplete posts, unpadded
// counters, plain messages) and the binaries matched by earlier scans.
bool WriteOldPair(const GroupFilePaths& paths) {
    std::vector<GeneratedHeader> headers;
    headers.reserve(kOldMessages);
    // Leftovers are spread over the old range, one article in three.
    GenerateHeaders(kOldMessages, kOldFirst, 3, 11,
                    [&](const GeneratedHeader& h) { headers.push_back(h); });
    std::stable_sort(headers.begin(), headers.end(), [](const auto& a, const auto& b) {
        return CompareSubjects(a.subject, b.subject) < 0;
    });
    {
        CFile file;
        if (!file.Open(paths.msg, CFile::Mode::CreateTruncate)) return false;
        CRecordWriter out(file);
        out.WriteU32(kOldFirst);
        out.WriteU32(kOldLast);
        for (const auto& h : headers) {
            HeaderRecord r{1, h.article, h.lines, h.bytes, h.subject, h.poster, h.messageId};
            WriteHeaderRecord(out, r);
        }
        if (!out.Flush()) return false;
    }
    headers.clear();
    headers.shrink_to_fit();

    // Old binaries use the articles between the leftovers (3k+2); about a
    // sixth of them lie below the new first article and expire.
    std::vector<CBinaryItem> binaries(kOldBinaries);
    CPostSource source(13);
    uint32_t article = 2;
    for (auto& b : binaries) {
        Post p = source.Next();
        p.style = 0;
        std::vector<uint32_t> articles, lines, bytes;
        for (uint32_t k = 1; k <= p.parts; ++k) {
            articles.push_back(article);
            lines.push_back(3000);
            bytes.push_back(390000);
            article += 3;
        }
        if (article > kOldLast) article = 2;
        b.Assign(0, SubjectOf(p, p.parts), PosterOf(p.poster), "<id@example.com>", articles, lines,
                 bytes);
    }
    std::stable_sort(binaries.begin(), binaries.end(), [](const auto& a, const auto& b) {
        return CompareSubjects(a.GetSubject(), b.GetSubject()) < 0;
    });
    CFile file;
    if (!file.Open(paths.bin, CFile::Mode::CreateTruncate)) return false;
    CRecordWriter out(file);
    out.WriteU32(kOldFirst);
    out.WriteU32(kOldLast);
    for (const auto& b : binaries) b.Write(out);
    return out.Flush();
}

// The realistic new headers: kRealisticPosters posters each posting a set of
// files at a time, every file a post of 1 to 500 parts sent in ascending
// order; the posts in flight interleave; 5% of the parts come again later.
constexpr int kRealisticPosters = 400;
constexpr size_t kPostsInFlight = 60;

bool WriteRealisticXov(const std::string& path) {
    CFile file;
    if (!file.Open(path, CFile::Mode::CreateTruncate)) return false;
    CRecordWriter out(file);
    out.WriteU32(1);
    out.WriteU32(2 * kNewHeaders);
    std::mt19937 rng(17);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    struct Flight {
        std::string stem;
        int parts = 1, next = 1;
        int poster = 0;
    };
    std::vector<Flight> flights;
    std::vector<std::pair<std::string, int>> reposts;  // subject, poster
    uint32_t article = 1;
    uint32_t made = 0;
    int set = 0;
    auto emit = [&](const std::string& subject, int poster) {
        const uint32_t lines = 3000 + static_cast<uint32_t>(uniform(0, 100));
        AppendHeaderRecord(out, article, lines, lines * 130, subject, PosterOf(poster),
                           "<" + std::to_string(article) + "@news.example.com>");
        ++article;
        ++made;
    };
    while (made < kNewHeaders) {
        while (flights.size() < kPostsInFlight) {
            Flight f;
            f.poster = uniform(0, kRealisticPosters - 1);
            const int files = uniform(1, 30);
            ++set;
            f.stem = "Set" + std::to_string(set) + ".by.poster" + std::to_string(f.poster) + " [" +
                     Padded(static_cast<uint32_t>(uniform(1, files)), 2) + "/" +
                     Padded(static_cast<uint32_t>(files), 2) + "] - \"set" + std::to_string(set) +
                     ".part" + std::to_string(uniform(1, files)) + ".rar\" yEnc ";
            f.parts = uniform(0, 9) < 3 ? uniform(1, 20) : uniform(20, 500);
            flights.push_back(f);
        }
        if (!reposts.empty() && uniform(0, 19) == 0) {
            const size_t k = static_cast<size_t>(uniform(0, static_cast<int>(reposts.size()) - 1));
            emit(reposts[k].first, reposts[k].second);
            reposts[k] = reposts.back();
            reposts.pop_back();
            continue;
        }
        const size_t k = static_cast<size_t>(uniform(0, static_cast<int>(flights.size()) - 1));
        Flight& f = flights[k];
        const uint32_t width = static_cast<uint32_t>(std::to_string(f.parts).size());
        const std::string subject = f.stem + "(" + Padded(static_cast<uint32_t>(f.next), width) +
                                    "/" + std::to_string(f.parts) + ")";
        emit(subject, f.poster);
        if (uniform(0, 99) < 5) reposts.emplace_back(subject, f.poster);
        if (++f.next > f.parts) {
            flights[k] = flights.back();
            flights.pop_back();
        }
    }
    return out.Flush();
}

// ---- index files passed between phase processes ----

void SaveList(const std::string& path, const std::vector<uint32_t>& list) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(list.data()),
              static_cast<std::streamsize>(list.size() * 4));
}

std::vector<uint32_t> LoadList(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint32_t> list(bytes.size() / 4);
    std::memcpy(list.data(), bytes.data(), list.size() * 4);
    return list;
}

// ---- phases (each in its own process) ----

struct PhaseFigures {
    double seconds = 0;
    double cpuSeconds = 0;  // the phase thread's own CPU time (user + system)
    long hwmGrowthKb = 0;
    long peakAnonKb = 0;
    long peakFileKb = 0;
    long usedListKb = 0;
};

int RunPhase(const std::string& phase, const std::string& dir) {
    const GroupFilePaths paths = GroupFilePaths::Make(dir, kGroup);
    const long baseRss = StatusKb("VmRSS");
    const long baseAnon = StatusKb("RssAnon");
    PhaseFigures f;
    CMemorySampler sampler;
    auto start = std::chrono::steady_clock::now();
    double cpuStart = ThreadCpuSeconds();
    std::string note;

    if (phase == "sort-realistic") {
        CHeaderFile headers(dir + "realistic.XOV");
        HeaderIndex index;
        if (!IndexHeaderRecords(headers, index)) return 2;
        const CMappedFile* map = headers.Map();
        if (map == nullptr) return 2;
        SubjectSortFigures sorted = SortSubjects(map->Data(), index.offsets.data(),
                                                 index.subjectLengths.data(), index.Size());
        f.seconds = Seconds(start);
        f.cpuSeconds = ThreadCpuSeconds() - cpuStart;
        note = std::to_string(index.Size()) + " records, " +
               std::to_string(sorted.comparisons / index.Size()) + " comparisons a record, " +
               (sorted.heapSorted ? "heap sort used" : "quicksort order throughout");
        sampler.Stop();
    } else if (phase == "sort") {
        CHeaderFile headers(paths.xov);
        HeaderIndex index;
        if (!IndexHeaderRecords(headers, index) || !SortHeaderRecords(headers, index)) return 2;
        f.seconds = Seconds(start);
        f.cpuSeconds = ThreadCpuSeconds() - cpuStart;
        note = std::to_string(index.Size()) + " records";
        sampler.Stop();
        SaveList(dir + "sorted.offsets", index.offsets);
        SaveList(dir + "sorted.lengths", index.subjectLengths);
    } else if (phase == "merge") {
        HeaderIndex index;
        index.offsets = LoadList(dir + "sorted.offsets");
        index.subjectLengths = LoadList(dir + "sorted.lengths");
        std::vector<uint32_t> messageNumbers;
        LoadMessageNumbers(dir, kGroup, messageNumbers);
        // The sort's map of the .XOV is still there in a real scan; make it
        // here the way the sort does (not timed: the sort phase paid for it).
        CHeaderFile headers(paths.xov);
        const CMappedFile* map = headers.Map();
        volatile char sink = 0;
        for (uint64_t o = 0; map != nullptr && o < map->Size(); o += 4096)
            sink = sink + map->Data()[o];
        start = std::chrono::steady_clock::now();
        cpuStart = ThreadCpuSeconds();
        CHeaderFile merged(paths.xot);
        HeaderIndex mergedIndex;
        ScanStepResult r = RunScanMerge(paths, headers, index, messageNumbers, kNewFirst,
                                        kOldLast + 2 * kNewHeaders, merged, mergedIndex);
        f.seconds = Seconds(start);
        f.cpuSeconds = ThreadCpuSeconds() - cpuStart;
        if (!r.ok) {
            std::fprintf(stderr, "merge failed: %s\n", r.statusText.c_str());
            return 2;
        }
        note = std::to_string(mergedIndex.Size()) + " merged records";
        sampler.Stop();
    } else if (phase == "match") {
        CHeaderFile headers(paths.xot);
        HeaderIndex index;
        if (!IndexHeaderRecords(headers, index)) return 2;
        std::vector<uint32_t>().swap(index.subjectLengths);
        CNamedLocks locks;
        std::atomic<uint32_t> abortFlag{0};
        start = std::chrono::steady_clock::now();
        cpuStart = ThreadCpuSeconds();
        ScanStepResult r = MatchBinaries(locks, abortFlag, dir, kGroup, headers, index.offsets,
                                         true, kNewFirst, kOldLast + 2 * kNewHeaders);
        f.seconds = Seconds(start);
        f.cpuSeconds = ThreadCpuSeconds() - cpuStart;
        sampler.Stop();
        if (!r.ok) {
            std::fprintf(stderr, "match failed: %s\n", r.statusText.c_str());
            return 2;
        }
        std::vector<uint32_t> used;
        LoadBinaryNumbers(dir, kGroup, used);
        f.usedListKb = static_cast<long>(used.size() * 4 / 1024);
        note = std::to_string(r.binCount) + " binaries (" + std::to_string(r.newCount) + " new), " +
               std::to_string(r.msgCount) + " messages, " + std::to_string(used.size()) +
               " used articles";
    } else {
        return 2;
    }
    f.hwmGrowthKb = StatusKb("VmHWM") - baseRss;
    f.peakAnonKb = sampler.PeakAnonKb() - baseAnon;
    f.peakFileKb = sampler.PeakFileKb();
    std::printf("%.3f %.3f %ld %ld %ld %ld %s\n", f.seconds, f.cpuSeconds, f.hwmGrowthKb,
                f.peakAnonKb, f.peakFileKb, f.usedListKb, note.c_str());
    return 0;
}

bool SpawnPhase(const std::string& phase, const std::string& dir, PhaseFigures& f,
                std::string& note) {
    std::string cmd = "/proc/" + std::to_string(::getpid()) + "/exe --phase " + phase + " " + dir;
    FILE* pipe = ::popen(cmd.c_str(), "r");
    if (pipe == nullptr) return false;
    char line[512] = {};
    bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    int status = ::pclose(pipe);
    if (!got || status != 0) return false;
    std::istringstream in(line);
    in >> f.seconds >> f.cpuSeconds >> f.hwmGrowthKb >> f.peakAnonKb >> f.peakFileKb >>
        f.usedListKb;
    std::getline(in, note);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--phase") == 0) return RunPhase(argv[2], argv[3]);

    // VEXLO_BENCH_DIR: build the group there and leave it (for profiling single phases).
    const char* keep = std::getenv("VEXLO_BENCH_DIR");
    std::string dir;
    if (keep != nullptr) {
        dir = std::string(keep) + "/";
        std::filesystem::create_directories(dir);
    } else {
        char pattern[] = "/tmp/vexlo-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) return 1;
        dir = std::string(pattern) + "/";
    }
    const GroupFilePaths paths = GroupFilePaths::Make(dir, kGroup);

    auto t0 = std::chrono::steady_clock::now();
    bool built =
        WriteOldPair(paths) && WriteNewXov(paths) && WriteRealisticXov(dir + "realistic.XOV");
    if (keep != nullptr) return built ? 0 : 1;
    std::printf("built synthetic group in %.1f s: .XOV %.0f MB, .MSG %.0f MB, .BIN %.0f MB\n",
                Seconds(t0), FileSize(paths.xov) / 1e6, FileSize(paths.msg) / 1e6,
                FileSize(paths.bin) / 1e6);
    int rc = built ? 0 : 1;
    double total = 0;
    double totalCpu = 0;
    double peakMb = 0;
    double peakRssMb = 0;
    const char* phases[] = {"sort", "merge", "match"};
    const char* titles[] = {"index+sort 1M new headers", "merge with 1M-record .MSG",
                            "match, merge .BIN, write .MSG"};
    for (int k = 0; rc == 0 && k < 3; ++k) {
        PhaseFigures f;
        std::string note;
        if (!SpawnPhase(phases[k], dir, f, note)) {
            std::fprintf(stderr, "phase %s failed\n", phases[k]);
            rc = 1;
            break;
        }
        total += f.seconds;
        totalCpu += f.cpuSeconds;
        double privateMb = (f.peakAnonKb - f.usedListKb) / 1024.0;
        peakMb = std::max(peakMb, privateMb);
        peakRssMb = std::max(peakRssMb, f.hwmGrowthKb / 1024.0);
        std::printf(
            "%-32s %6.3f s (cpu %5.3f s)   private peak %6.1f MB (used-article list %.1f MB)   "
            "VmHWM growth %6.1f MB (mapped file pages up to %.1f MB) -%s\n",
            titles[k], f.seconds, f.cpuSeconds, f.peakAnonKb / 1024.0, f.usedListKb / 1024.0,
            f.hwmGrowthKb / 1024.0, f.peakFileKb / 1024.0, note.c_str());
    }
    PhaseFigures realistic;
    std::string realisticNote;
    if (rc == 0 && !SpawnPhase("sort-realistic", dir, realistic, realisticNote)) {
        std::fprintf(stderr, "phase sort-realistic failed\n");
        rc = 1;
    }
    if (rc == 0)
        std::printf("%-32s %6.3f s (cpu %5.3f s) -%s\n", "index+sort 1M realistic headers",
                    realistic.seconds, realistic.cpuSeconds, realisticNote.c_str());
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    if (rc != 0) return rc;
    std::printf("BENCH scan_postprocess_1M_realistic_s %.3f s\n", realistic.seconds);
    std::printf("BENCH scan_postprocess_peak_rss_MB %.1f MB\n", peakRssMb);
    std::printf("BENCH scan_postprocess_1M_cpu_s %.3f s\n", totalCpu);
    std::printf("BENCH scan_postprocess_1M_s %.3f s\n", total);
    std::printf("BENCH scan_postprocess_peak_MB %.1f MB\n", peakMb);
    return 0;
}
