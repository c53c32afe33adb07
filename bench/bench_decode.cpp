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
//
// Then yEnc: the same data posted as a yEnc binary of parts of 3000 lines of
// 128 characters (=ybegin, =ypart, lines, =yend with pcrc32, crc32 in the
// last), each part's body ending with its "." line, goes through the real
// attachment writer (CAttachmentWriter: the body-line rules, the yEnc
// decoder, both CRC-32 checks, buffered writes, the resume point after every
// part) in a child process, five times. Prints BENCH yenc_decode_MBps and
// yenc_decode_cpu_MBps (encoded input MB per second).
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

#include "core/app_context.h"
#include "decode/attachment_writer.h"
#include "decode/crc32.h"
#include "decode/output_file.h"
#include "decode/uu_decoder.h"
#include "platform/file.h"
#include "tasks/task.h"

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

// --- yEnc

constexpr size_t kYencLineLength = 128;
constexpr int kYencLinesPerPart = 3000;

// Appends the yEnc lines of data, each with its "\n"; escapes as posters do.
void YencodeLines(const unsigned char* data, size_t n, std::string& out) {
    size_t column = 0;
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(data[i] + 42);
        const bool first = column == 0, last = column + 1 >= kYencLineLength || i + 1 == n;
        if (c == 0 || c == '\n' || c == '\r' || c == '=' ||
            ((c == '\t' || c == ' ') && (first || last)) || (c == '.' && first)) {
            out += '=';
            out += static_cast<char>(c + 64);
            column += 2;
        } else {
            out += static_cast<char>(c);
            ++column;
        }
        if (column >= kYencLineLength || i + 1 == n) {
            out += '\n';
            column = 0;
        }
    }
}

// The bodies of all parts, each ending with ".": returns the part count.
int WriteYencInput(const std::string& path) {
    CFile file;
    if (!file.Open(path, CFile::Mode::CreateTruncate)) return 0;
    std::vector<unsigned char> data(static_cast<size_t>(kDataBytes));
    CDataSource source;
    source.Fill(data.data(), data.size());
    // A part of 3000 lines carries about 3000 * 126 bytes (escapes take two characters).
    const size_t partBytes = kYencLinesPerPart * (kYencLineLength - 2);
    const int parts = static_cast<int>((data.size() + partBytes - 1) / partBytes);
    const uint32_t fileCrc = Crc32(0, data.data(), data.size());
    char line[160];
    std::string text;
    for (int part = 1; part <= parts; ++part) {
        const size_t begin = partBytes * static_cast<size_t>(part - 1);
        const size_t end = std::min(data.size(), begin + partBytes);
        text.clear();
        std::snprintf(line, sizeof line,
                      "=ybegin part=%d total=%d line=%zu size=%zu name=bench.yenc.bin\n=ypart "
                      "begin=%zu end=%zu\n",
                      part, parts, kYencLineLength, data.size(), begin + 1, end);
        text += line;
        YencodeLines(data.data() + begin, end - begin, text);
        std::snprintf(line, sizeof line, "=yend size=%zu part=%d pcrc32=%08x", end - begin, part,
                      Crc32(0, data.data() + begin, end - begin));
        text += line;
        if (part == parts) {
            std::snprintf(line, sizeof line, " crc32=%08x", fileCrc);
            text += line;
        }
        text += "\n.\n";
        if (!file.Write(text.data(), text.size())) return 0;
    }
    return file.Sync() && file.Close() ? parts : 0;
}

// The body lines of every part through the attachment writer, as a channel
// hands them over; true when the task completed.
bool DecodeYencLikeADownload(const std::string& input, const std::string& dir, int parts) {
    CFile in;
    if (!in.Open(input, CFile::Mode::Read)) return false;
    CLineReader reader(in);
    CSilentMessageBox box;
    CAppContext context(dir, box);
    if (!context.Start()) return false;
    context.settings.SetOption(OPT_DECODE_YENC, 1);
    CTask task(&context.settings);
    task.SetType(kTaskDecode);
    task.SetSubject("bench.yenc.bin");
    task.SetSaveDir(dir);
    task.SetArticles(std::vector<uint32_t>(static_cast<size_t>(parts), 1));
    task.SetLines(std::vector<uint32_t>(static_cast<size_t>(parts), kYencLinesPerPart));
    CAttachmentWriter writer(context, task);
    uint32_t part = 0;
    std::string_view line;
    while (reader.Next(line)) {
        const auto result = writer.Feed(part, line);
        if (result == CAttachmentWriter::LineResult::kFailed) return false;
        if (result != CAttachmentWriter::LineResult::kEndOfBody) continue;
        const auto finished = writer.FinishPart(part++);
        if (finished == CAttachmentWriter::PartResult::kCompleted) return true;
        if (finished != CAttachmentWriter::PartResult::kNext) return false;
    }
    return false;
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
template <typename F>
bool RunInChild(F&& decode, double& cpuSeconds) {
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) _exit(decode() ? 0 : 1);
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

bool SameAsSource(const std::string& path);

// The yEnc runs: false when one failed or the output differs.
bool BenchYenc(const std::string& dir) {
    const std::string input = dir + "input.yenc";
    const std::string output = dir + "bench.yenc.bin";
    const int parts = WriteYencInput(input);
    if (parts == 0) {
        std::fprintf(stderr, "cannot write the yEnc input file\n");
        return false;
    }
    const double megabytes = static_cast<double>(FileSize(input)) / 1e6;
    CTimes times;
    auto decode = [&](double& cpu) {
        return RunInChild([&] { return DecodeYencLikeADownload(input, dir, parts); }, cpu);
    };
    for (int i = 0; i < kRuns && times.ok; ++i) TimeRun(output, decode, times);
    if (!times.ok || !SameAsSource(output)) {
        std::fprintf(stderr, "yEnc decoding failed or differs from the original data\n");
        return false;
    }
    std::printf("BENCH yenc_decode_input_MB %.1f MB\n", megabytes);
    std::printf("BENCH yenc_decode_MBps %.1f MB/s\n", megabytes / times.wall);
    std::printf("BENCH yenc_decode_cpu_MBps %.1f MB/s\n", megabytes / times.cpu);
    RemoveFile(input);
    return true;
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
        auto decode = [&](double& cpu) {
            return RunInChild([&] { return DecodeLikeADownload(input, dir); }, cpu);
        };
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
            RemoveFile(input);
            rc = BenchYenc(dir) ? 0 : 1;
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
