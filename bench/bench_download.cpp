// Download throughput of the engine against the INN fixture.
//
// Posts 20 binaries of random bytes (about 150 MB in all, parts of about
// 500 KB decoded) as uuencoded multi-part articles to the anonymous server of
// the fixture named by $VEXLO_INN_DIR; when the variable is unset, starts a
// fixture of its own (scripts/inn-test-server) in a temporary folder and stops
// it at the end. Then downloads the 20 binaries as DECODE tasks through the
// main controller with 1, 4 and 8 channels, each run into a fresh directory,
// and checks every output file against the posted bytes.
//
// Prints: BENCH download_1ch_MBps, download_4ch_MBps, download_8ch_MBps
// (decoded MB, 10^6 bytes, per second of wall-clock time from the start
// command to the last task's end), BENCH download_8ch_cpu_s (CPU seconds of
// this process, all threads, during the 8-channel run), and the wire rates
// download_<n>ch_wire_MBps (bytes received per second). Then the same 8
// channels over TLS from the first byte (the fixture's NNTPS port, its
// authority trusted): download_tls_8ch_MBps, download_tls_8ch_cpu_s and
// download_tls_8ch_vs_plain (the TLS rate over the plain 8-channel rate);
// beside it the raw fetch over TLS, raw_fetch_tls_8ch_MBps,
// download_tls_8ch_vs_raw and raw_fetch_tls_vs_plain (how much of the plain
// rate the server itself keeps when it encrypts). Best of two as well.
//
// The server-bound reference: right before the 1- and 8-channel engine runs,
// a raw pipelined fetch of the same articles over as many plain connections
// (binary i on connection i % n), each sending GROUP and all its BODY commands
// at once and discarding the replies as they arrive. It prints
// raw_fetch_<n>ch_MBps (decoded MB per second of that fetch) and
// download_<n>ch_vs_raw (the engine's seconds over the raw fetch's: 1.0 is as
// fast as the server can serve). Both are run twice at these channel counts
// and the faster of each kept, so download_1ch and download_8ch are best of two.
//
// $VEXLO_BENCH_CHANNELS (e.g. "1" or "1,8") limits the plain runs to those
// channel counts and leaves out the TLS runs, for profiling one of them.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/app_context.h"
#include "nntp/tls_session.h"
#include "nntp/tls_settings.h"
#include "platform/file.h"
#include "support/inn_fixture.h"
#include "support/loopback_socket.h"
#include "support/raw_nntp_client.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/main_controller.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"

#ifndef VEXLO_SOURCE_DIR
#define VEXLO_SOURCE_DIR "."
#endif

namespace vexlo {
namespace {

constexpr int kFiles = 20;
constexpr size_t kPartBytes = 500 * 1000;
constexpr size_t kFileBytes = 7500 * 1000;  // 20 files: 150 MB

struct Binary {
    std::string name;
    std::string data;
    std::vector<uint32_t> articles;
    std::vector<uint32_t> lines;
};

std::string RandomBytes(size_t n, uint64_t seed) {
    std::string data(n, '\0');
    uint64_t state = seed * 0x9e3779b97f4a7c15ULL + 1;
    for (char& c : data) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        c = static_cast<char>(state >> 32);
    }
    return data;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool PostBinaries(const std::string& group, std::vector<Binary>& binaries) {
    std::map<std::string, size_t> owner;  // message-id -> binary
    for (int i = 0; i < kFiles; ++i) {
        Binary& binary = binaries[static_cast<size_t>(i)];
        binary.name = "bench" + std::to_string(i) + ".bin";
        binary.data =
            RandomBytes(kFileBytes + static_cast<size_t>(i) * 1111, static_cast<uint64_t>(i));
        const int parts = static_cast<int>((binary.data.size() + kPartBytes - 1) / kPartBytes);
        auto posts =
            test::MakeUuencodedPosts(group, binary.name, binary.data, parts, "Bench <b@x>");
        std::string error;
        if (!test::PostArticlesTo(test::Inn().anonPort, posts, &error)) {
            std::fprintf(stderr, "bench_download: posting failed: %s\n", error.c_str());
            return false;
        }
        for (const auto& post : posts) owner[post.messageId] = static_cast<size_t>(i);
    }
    // Article numbers and line counts as a scan would find them, in posting order.
    test::CRawNntpClient client;
    std::string greeting;
    std::vector<std::string> overview;
    if (!client.Connect(test::Inn().anonPort, &greeting)) return false;
    client.Command("GROUP " + group);
    if (client.Command("XOVER 1-").rfind("224", 0) != 0 || !client.ReadBlock(&overview))
        return false;
    for (const std::string& line : overview) {
        std::vector<std::string> f;
        size_t start = 0, tab;
        while ((tab = line.find('\t', start)) != std::string::npos) {
            f.push_back(line.substr(start, tab - start));
            start = tab + 1;
        }
        f.push_back(line.substr(start));
        if (f.size() < 8 || owner.count(f[4]) == 0) continue;
        Binary& binary = binaries[owner[f[4]]];
        binary.articles.push_back(static_cast<uint32_t>(std::stoul(f[0])));
        binary.lines.push_back(static_cast<uint32_t>(std::stoul(f[7])));
    }
    return true;
}

struct RunResult {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
    double wireBytes = 0;
};

// `tls`: plain text on the anonymous port when false, else NNTPS on its TLS port.
RunResult Download(const std::string& group, const std::vector<Binary>& binaries, int channels,
                   bool tls = false) {
    RunResult result;
    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext context(dir.Path(), box);
    if (!context.Start()) return result;
    context.settings.SetServer(test::Inn().host);
    context.settings.SetPort(tls ? test::Inn().anonTlsPort : test::Inn().anonPort);
    if (tls) {
        context.settings.SetTls(kTlsImplicit);
        context.settings.SetTlsCaFile(test::Inn().caFile);
    }
    context.settings.SetConn(channels);
    context.settings.SetAffinity(0xff);
    context.settings.SetRetries(3);
    CTaskHandlers handlers;
    RegisterStandardHandlers(handlers);
    CMainController controller(context, handlers);
    controller.Open();
    const std::string saveDir = dir / "downloads/";
    for (const Binary& binary : binaries) {
        CTask task(&context.settings);
        MakeDownloadTask(task, {group, binary.name, saveDir, binary.articles, binary.lines});
        controller.QueueTask(task, false);
    }
    std::vector<CTask*> tasks;
    for (size_t i = 0; i < controller.Queue().Count(); ++i)
        tasks.push_back(controller.Queue().Row(i).task.get());

    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    controller.StartCommand();
    auto finished = [&] {
        for (CTask* task : tasks) {
            const uint32_t r = task->GetResult();
            if ((r != kResultCompleted && r != kResultError) || task->GetAssigned() != 0)
                return false;
        }
        return true;
    };
    while (!finished()) controller.ProcessMessages(50);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpuSeconds = CpuSeconds() - cpuStart;
    result.wireBytes = std::stod(context.stats.Run().byteRecv.ToString());

    result.ok = true;
    for (size_t i = 0; i < tasks.size(); ++i) {
        if (tasks[i]->GetResult() != kResultCompleted ||
            test::ReadFileBytes(saveDir + binaries[i].name) != binaries[i].data) {
            std::fprintf(stderr, "bench_download: %d channels: %s is wrong: %s\n", channels,
                         binaries[i].name.c_str(), tasks[i]->GetStatusText().c_str());
            result.ok = false;
        }
    }
    return result;
}

// Reads one connection's pipelined replies straight off the socket and throws
// them away, counting the bytes: the least a client can do with them, so the
// time it takes is the server's (and loopback's). Owned by one thread.
class CRawReplyReader {
  public:
    // `tls`: the connection's TLS session, or null for plain text.
    CRawReplyReader(int fd, CTlsSession* tls) : fd_(fd), tls_(tls), buffer_(256 * 1024) {}

    // Reads one status line (without its CRLF).
    bool StatusLine(std::string* line) {
        for (;;) {
            const char* start = buffer_.data() + begin_;
            if (const void* end = memmem(start, end_ - begin_, "\r\n", 2)) {
                line->assign(start, static_cast<const char*>(end));
                begin_ += line->size() + 2;
                return true;
            }
            if (!Fill()) return false;
        }
    }

    // Skips a multi-line block up to and including its "." line.
    bool SkipBlock() {
        while (end_ - begin_ < 3)
            if (!Fill()) return false;
        if (std::memcmp(buffer_.data() + begin_, ".\r\n", 3) == 0) {  // empty block
            begin_ += 3;
            return true;
        }
        // Any other block ends in the CRLF of its last line followed by ".\r\n".
        for (;;) {
            const char* start = buffer_.data() + begin_;
            if (const void* hit = memmem(start, end_ - begin_, "\r\n.\r\n", 5)) {
                begin_ = static_cast<size_t>(static_cast<const char*>(hit) - buffer_.data()) + 5;
                return true;
            }
            if (end_ - begin_ > 4) begin_ = end_ - 4;  // the end may straddle two reads
            if (!Fill()) return false;
        }
    }

    uint64_t Bytes() const { return bytes_; }

  private:
    bool Fill() {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        if (end_ == buffer_.size()) return false;  // a status line longer than the buffer
#ifdef TCP_QUICKACK
        // Re-armed before every read: the kernel drops quick-ACK mode on its own,
        // and a delayed ACK holds back the server's next write (its Nagle).
        const int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
        int error = 0;
        const long n = tls_ ? tls_->Read(buffer_.data() + end_, buffer_.size() - end_, &error)
                            : recv(fd_, buffer_.data() + end_, buffer_.size() - end_, 0);
        if (n <= 0) return false;
        end_ += static_cast<size_t>(n);
        bytes_ += static_cast<uint64_t>(n);
        return true;
    }

    int fd_;
    CTlsSession* tls_;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    uint64_t bytes_ = 0;
};

// One connection of the raw fetch: GROUP and every BODY in one write, then all
// the replies. Returns the bytes received, 0 on any failure or unexpected reply.
// `tls`: NNTPS on the fixture's TLS port instead of plain text.
uint64_t FetchPipelined(const std::string& group, const std::vector<uint32_t>& articles, bool tls) {
    std::string error;
    test::CSocketFd socket =
        test::ConnectLoopback(tls ? test::Inn().anonTlsPort : test::Inn().anonPort, "", 30, &error);
    std::unique_ptr<CTlsSession> session;
    if (socket.IsOpen() && tls) {
        session = std::make_unique<CTlsSession>();
        TlsSettings settings;
        settings.mode = kTlsImplicit;
        settings.caFile = test::Inn().caFile;
        if (!session->Handshake(socket.Get(), settings, "127.0.0.1")) error = session->ErrorText();
    }
    if (!socket.IsOpen() || !error.empty()) {
        std::fprintf(stderr, "bench_download: raw fetch: %s\n", error.c_str());
        return 0;
    }
    const int one = 1;
    setsockopt(socket.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string commands = "GROUP " + group + "\r\n";
    for (uint32_t article : articles) commands += "BODY " + std::to_string(article) + "\r\n";
    // Written before any reply is read, which cannot block while the commands
    // fit the socket's send buffer (a few KB against its 16 KB or more).
    int sendBuffer = 0;
    socklen_t size = sizeof sendBuffer;
    getsockopt(socket.Get(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, &size);
    const bool sent = session ? session->Write(commands.data(), commands.size())
                              : test::SendAll(socket.Get(), commands, &error);
    if (commands.size() > static_cast<size_t>(sendBuffer) / 2 || !sent) {
        std::fprintf(stderr, "bench_download: raw fetch: cannot send %zu bytes of commands %s\n",
                     commands.size(), error.c_str());
        return 0;
    }
    CRawReplyReader reader(socket.Get(), session.get());
    std::string line;
    auto expect = [&](const char* code) {
        if (reader.StatusLine(&line) && line.rfind(code, 0) == 0) return true;
        std::fprintf(stderr, "bench_download: raw fetch: expected %s, got \"%s\"\n", code,
                     line.c_str());
        return false;
    };
    if (!expect("20") || !expect("211")) return 0;
    for (size_t i = 0; i < articles.size(); ++i)
        if (!expect("222") || !reader.SkipBlock()) return 0;
    return reader.Bytes();
}

struct RawResult {
    bool ok = false;
    double seconds = 0;
};

// Fetches every part of every binary over `channels` connections at once,
// binary i on connection i % channels, as the engine spreads its tasks.
RawResult RawFetch(const std::string& group, const std::vector<Binary>& binaries, int channels,
                   double decodedBytes, bool tls = false) {
    std::vector<std::vector<uint32_t>> articles(static_cast<size_t>(channels));
    for (size_t i = 0; i < binaries.size(); ++i) {
        auto& mine = articles[i % articles.size()];
        mine.insert(mine.end(), binaries[i].articles.begin(), binaries[i].articles.end());
    }
    std::vector<uint64_t> bytes(articles.size());
    const auto start = std::chrono::steady_clock::now();
    {
        std::vector<std::jthread> threads;
        for (size_t c = 0; c < articles.size(); ++c)
            threads.emplace_back([&, c] { bytes[c] = FetchPipelined(group, articles[c], tls); });
    }
    RawResult result;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double wire = 0;
    for (uint64_t b : bytes) {
        if (b == 0) return result;
        wire += static_cast<double>(b);
    }
    // Uuencoded lines carry 45 bytes in 63 (1.4 times), plus the status lines.
    result.ok = wire > decodedBytes * 1.35 && wire < decodedBytes * 1.5;
    if (!result.ok)
        std::fprintf(stderr, "bench_download: raw fetch: %.0f bytes for %.0f decoded\n", wire,
                     decodedBytes);
    return result;
}

int Main() {
    test::CScopedInnFixture fixture;
    if (!fixture.StartIfNeeded(VEXLO_SOURCE_DIR)) {
        std::fprintf(stderr, "bench_download: cannot start the INN fixture\n");
        return 1;
    }
    const std::string group = test::CreateUniqueGroup("alt.binaries.bench.download");
    if (group.empty()) return 1;
    std::vector<Binary> binaries(kFiles);
    const auto postStart = std::chrono::steady_clock::now();
    if (!PostBinaries(group, binaries)) return 1;
    double total = 0;
    for (const Binary& binary : binaries) total += static_cast<double>(binary.data.size());
    std::fprintf(
        stderr, "bench_download: posted %.1f MB in %zu parts per file (%.1f s)\n", total / 1e6,
        binaries[0].articles.size(),
        std::chrono::duration<double>(std::chrono::steady_clock::now() - postStart).count());

    std::vector<int> counts = {1, 4, 8};
    const char* only = std::getenv("VEXLO_BENCH_CHANNELS");
    if (only != nullptr) {
        counts.clear();
        for (const char* p = only; *p != 0; ++p)
            if (*p >= '1' && *p <= '8') counts.push_back(*p - '0');
    }
    int status = 0;
    double plain8 = 0, rawPlain8 = 0;
    for (int channels : counts) {
        // With the raw reference: two rounds, each engine run right after a raw
        // fetch of as many connections; the faster of each is kept.
        const bool withRaw = channels != 4;
        RawResult raw;
        RunResult run;
        bool failed = false;
        auto keepFaster = [&failed](auto& best, const auto& result) {
            failed |= !result.ok;
            if (result.ok && (best.seconds == 0 || result.seconds < best.seconds)) best = result;
        };
        for (int round = 0; round < (withRaw ? 2 : 1); ++round) {
            if (withRaw) keepFaster(raw, RawFetch(group, binaries, channels, total));
            keepFaster(run, Download(group, binaries, channels));
        }
        if (failed) {
            status = 1;
            continue;
        }
        std::printf("BENCH download_%dch_MBps %.1f MB/s\n", channels, total / 1e6 / run.seconds);
        std::printf("BENCH download_%dch_wire_MBps %.1f MB/s\n", channels,
                    run.wireBytes / 1e6 / run.seconds);
        if (withRaw) {
            std::printf("BENCH raw_fetch_%dch_MBps %.1f MB/s\n", channels,
                        total / 1e6 / raw.seconds);
            std::printf("BENCH download_%dch_vs_raw %.2f\n", channels, run.seconds / raw.seconds);
        }
        if (channels == 8) {
            std::printf("BENCH download_8ch_cpu_s %.2f s\n", run.cpuSeconds);
            plain8 = total / 1e6 / run.seconds;
            rawPlain8 = total / 1e6 / raw.seconds;
        }
        std::fflush(stdout);
    }
    if (only != nullptr) return status;
    if (test::Inn().anonTlsPort == 0) {
        std::fprintf(stderr, "bench_download: the fixture has no TLS port\n");
        return 1;
    }
    // The same 8 channels over TLS, beside the raw fetch over TLS: what the
    // server can send encrypted bounds the download as the plain raw fetch
    // bounds the plain one.
    RawResult raw;
    RunResult run;
    for (int round = 0; round < 2; ++round) {
        const RawResult r = RawFetch(group, binaries, 8, total, true);
        const RunResult d = Download(group, binaries, 8, true);
        if (!r.ok || !d.ok) return 1;
        if (raw.seconds == 0 || r.seconds < raw.seconds) raw = r;
        if (run.seconds == 0 || d.seconds < run.seconds) run = d;
    }
    const double tls8 = total / 1e6 / run.seconds;
    const double rawTls8 = total / 1e6 / raw.seconds;
    std::printf("BENCH download_tls_8ch_MBps %.1f MB/s\n", tls8);
    std::printf("BENCH download_tls_8ch_cpu_s %.2f s\n", run.cpuSeconds);
    std::printf("BENCH raw_fetch_tls_8ch_MBps %.1f MB/s\n", rawTls8);
    std::printf("BENCH download_tls_8ch_vs_raw %.2f\n",
                raw.seconds > 0 ? run.seconds / raw.seconds : 0);
    if (plain8 > 0) std::printf("BENCH download_tls_8ch_vs_plain %.2f\n", tls8 / plain8);
    if (rawPlain8 > 0) std::printf("BENCH raw_fetch_tls_vs_plain %.2f\n", rawTls8 / rawPlain8);
    return status;
}

}  // namespace
}  // namespace vexlo

int main() {
    return vexlo::Main();
}
