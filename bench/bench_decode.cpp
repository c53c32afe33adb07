// Decoding throughput of a downloaded attachment, against sharutils' uudecode.
//
// Writes a uuencoded file of about 216 MB (begin line, M-lines, a short last
// line, "`", end) to a temporary directory, then decodes it the way a channel
// does: lines split off a read buffer, the body-line rules of the retrieval,
// DecodeUuLine and COutputFile with a flush at every part's end. The same
// input goes through `uudecode -o OUT IN`. Each side runs in a child process
// five times, the two alternating, and the best run counts; both outputs must
// equal the original data.
//
// Prints: BENCH decode_MBps, BENCH uudecode_MBps (encoded input MB per second
// of wall-clock time, MB = 10^6 bytes), BENCH decode_vs_uudecode (ours over
// theirs), and the same rates over CPU time (steadier on a busy machine).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "decode/output_file.h"
#include "decode/uu_decoder.h"
#include "platform/file.h"

extern char** environ;

namespace vexlo {
namespace {

constexpr int64_t kDataBytes = 150LL * 1024 * 1024 + 30;  // the last line carries 30 bytes
constexpr int kLinesPerPart = 3000;                       // a typical article of a post
constexpr int kRuns = 5;
constexpr size_t kReadBlock = 1 << 20;

// Deterministic test data, reproducible for the final comparison.
class CDataSource {
  public:
    void Fill(unsigned char* out, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 7;
            state_ ^= state_ << 17;
            out[i] = static_cast<unsigned char>(state_ >> 32);
        }
    }

  private:
    uint64_t state_ = 0x9e3779b97f4a7c15ULL;
};

char EncodeValue(unsigned v) {
    return v == 0 ? '`' : static_cast<char>(v + 32);
}

// Appends one encoded line of up to 45 bytes, with its "\n".
void EncodeLine(const unsigned char* data, size_t n, std::string& out) {
    out += EncodeValue(static_cast<unsigned>(n));
    for (size_t i = 0; i < n; i += 3) {
        unsigned b0 = data[i], b1 = i + 1 < n ? data[i + 1] : 0, b2 = i + 2 < n ? data[i + 2] : 0;
        out += EncodeValue(b0 >> 2);
        out += EncodeValue(((b0 << 4) | (b1 >> 4)) & 63);
        out += EncodeValue(((b1 << 2) | (b2 >> 6)) & 63);
        out += EncodeValue(b2 & 63);
    }
    out += '\n';
}

bool WriteInput(const std::string& path) {
    CFile file;
    if (!file.Open(path, CFile::Mode::CreateTruncate)) return false;
    std::string text = "begin 644 bench.bin\n";
    CDataSource source;
    std::vector<unsigned char> block(45 * 20000);
    for (int64_t done = 0; done < kDataBytes;) {
        size_t n = static_cast<size_t>(std::min<int64_t>(kDataBytes - done, block.size()));
        source.Fill(block.data(), n);
        for (size_t at = 0; at < n; at += 45)
            EncodeLine(block.data() + at, std::min<size_t>(45, n - at), text);
        if (!file.Write(text.data(), text.size())) return false;
        text.clear();
        done += static_cast<int64_t>(n);
    }
    text = "`\nend\n";
    // On disk before the timing starts, so that no run pays for writing it back.
    return file.Write(text.data(), text.size()) && file.Sync() && file.Close();
}

// Splits a file into lines without their CR LF, as the connection hands them over.
class CLineReader {
  public:
    explicit CLineReader(CFile& file) : file_(file), buffer_(kReadBlock) {}

    // False at the end of the file or on a read error (error() tells).
    bool Next(std::string_view& line) {
        for (;;) {
            const char* start = buffer_.data() + begin_;
            auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
            if (newline != nullptr || (eof_ && begin_ < end_)) {
                size_t length = newline ? static_cast<size_t>(newline - start) : end_ - begin_;
                begin_ += newline ? length + 1 : length;
                if (length > 0 && start[length - 1] == '\r') --length;
                line = std::string_view(start, length);
                return true;
            }
            if (eof_) return false;
            std::memmove(buffer_.data(), start, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
            if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
            int64_t got = file_.Read(buffer_.data() + end_, buffer_.size() - end_);
            if (got < 0) {
                error_ = true;
                return false;
            }
            eof_ = got == 0;
            end_ += static_cast<size_t>(got);
        }
    }
    bool error() const { return error_; }

  private:
    CFile& file_;
    std::vector<char> buffer_;
    size_t begin_ = 0, end_ = 0;
    bool eof_ = false, error_ = false;
};

// The body-line rules of a download, over one file: returns false on any failure.
bool DecodeLikeADownload(const std::string& input, const std::string& saveDir) {
    CFile in;
    if (!in.Open(input, CFile::Mode::Read)) return false;
    CLineReader reader(in);
    COutputFile out;
    unsigned char bytes[kUuDecodeBufferSize];
    int linesInPart = 0;
    std::string_view line;
    while (reader.Next(line)) {
        if (++linesInPart == kLinesPerPart) {  // a part ends: flush before the resume point
            linesInPart = 0;
            if (out.IsOpen() && !out.Flush()) return false;
        }
        if (!line.empty() && line[0] == '.') line.remove_prefix(1);
        if (line.empty() || line == "`") continue;
        if (line == "end") {
            if (out.IsOpen() && !out.Close()) return false;
            continue;
        }
        if (out.IsOpen()) {
            int count = 0;
            if (!DecodeUuLine(line, bytes, kUuLineLimit, count)) return false;
            if (!out.Write(bytes, static_cast<size_t>(count))) return false;
        } else if (IsBeginLine(line)) {
            std::string name;
            if (!ParseBeginFileName(line, name)) return false;
            if (!out.Open(saveDir + name, COutputFile::OpenMode::Create)) return false;
        }
    }
    return !reader.error() && out.Close();
}

double CpuSeconds(const rusage& usage) {
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs uudecode; cpuSeconds receives its user + system time.
bool RunUudecode(const std::string& input, const std::string& output, double& cpuSeconds) {
    std::vector<std::string> args = {"uudecode", "-o", output, input};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "uudecode", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    cpuSeconds = CpuSeconds(usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Decodes in a child process, so that both sides are measured alike: a fresh
// process, its CPU time taken by wait4.
bool RunInChild(const std::string& input, const std::string& saveDir, double& cpuSeconds) {
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) _exit(DecodeLikeADownload(input, saveDir) ? 0 : 1);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    cpuSeconds = CpuSeconds(usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Best wall-clock and CPU times over the runs of one side.
struct CTimes {
    double wall = 1e30;
    double cpu = 1e30;
    bool ok = true;
};

// One run; the output of the previous run is removed first, outside the
// timing, so that its pages need no writing back. run(cpuSeconds) -> bool.
template <typename F>
void TimeRun(const std::string& output, F&& run, CTimes& times) {
    RemoveFile(output);
    double cpu = 0;
    auto start = std::chrono::steady_clock::now();
    times.ok = run(cpu) && times.ok;
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    times.wall = std::min(times.wall, took.count());
    times.cpu = std::min(times.cpu, cpu);
}

bool SameAsSource(const std::string& path) {
    CFile file;
    if (!file.Open(path, CFile::Mode::Read) || file.Size() != kDataBytes) return false;
    CDataSource source;
    std::vector<unsigned char> expected(kReadBlock), actual(kReadBlock);
    for (int64_t done = 0; done < kDataBytes;) {
        size_t n = static_cast<size_t>(std::min<int64_t>(kDataBytes - done, kReadBlock));
        source.Fill(expected.data(), n);
        if (!file.ReadExact(actual.data(), n) ||
            std::memcmp(expected.data(), actual.data(), n) != 0) {
            return false;
        }
        done += static_cast<int64_t>(n);
    }
    return true;
}

int Main() {
    std::string dir = (std::filesystem::temp_directory_path() / "vexlo-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        std::fprintf(stderr, "cannot create a temporary directory\n");
        return 1;
    }
    dir += '/';
    const std::string input = dir + "input.uue";
    const std::string ours = dir + "bench.bin";
    const std::string theirs = dir + "uudecode.bin";

    int rc = 1;
    if (!WriteInput(input)) {
        std::fprintf(stderr, "cannot write the input file\n");
    } else {
        const double megabytes = static_cast<double>(FileSize(input)) / 1e6;
        // The runs alternate, so that a busy moment of the machine hits both.
        // CPU times are shown too: on a loaded machine they vary less.
        CTimes oursTimes, theirTimes;
        auto decode = [&](double& cpu) { return RunInChild(input, dir, cpu); };
        auto uudecode = [&](double& cpu) { return RunUudecode(input, theirs, cpu); };
        for (int i = 0; i < kRuns && oursTimes.ok && theirTimes.ok; ++i) {
            TimeRun(ours, decode, oursTimes);
            TimeRun(theirs, uudecode, theirTimes);
        }
        if (!oursTimes.ok) {
            std::fprintf(stderr, "decoding failed\n");
        } else if (!theirTimes.ok) {
            std::fprintf(stderr, "uudecode failed\n");
        } else if (!SameAsSource(ours) || !SameAsSource(theirs)) {
            std::fprintf(stderr, "decoded output differs from the original data\n");
        } else {
            double oursRate = megabytes / oursTimes.wall, theirRate = megabytes / theirTimes.wall;
            std::printf("BENCH decode_input_MB %.1f MB\n", megabytes);
            std::printf("BENCH decode_MBps %.1f MB/s\n", oursRate);
            std::printf("BENCH uudecode_MBps %.1f MB/s\n", theirRate);
            std::printf("BENCH decode_vs_uudecode %.2f x\n", oursRate / theirRate);
            std::printf("BENCH decode_cpu_MBps %.1f MB/s\n", megabytes / oursTimes.cpu);
            std::printf("BENCH uudecode_cpu_MBps %.1f MB/s\n", megabytes / theirTimes.cpu);
            rc = 0;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}

}  // namespace
}  // namespace vexlo

int main() {
    return vexlo::Main();
}
