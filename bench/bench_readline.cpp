// Line reading speed of a multi-line response over loopback TCP.
//
// A peer thread greets, waits for one command and then streams STREAM_MB of
// 63-byte lines (61 characters and CR LF, the size of a uuencoded body line)
// ended by ".". Two readers take the stream line by line until ".":
//  - peek: the reader that peeks at the waiting data and then receives exactly
//    through the LF, two system calls per line, no buffer kept between calls;
//  - buffered: CNntpConnection::ReadLine.
// Both results are checked (line count and bytes) so a fast wrong reader
// cannot win.
//
// System calls are counted honestly: this program defines recv and
// setsockopt itself, so every call the reader thread makes to them (from the
// connection library as well) passes a counter before it enters the kernel.
//
// Prints:
//   BENCH readline_peek_MBps <v> MB/s
//   BENCH readline_buffered_MBps <v> MB/s
//   BENCH readline_buffered_syscalls_per_line <v> calls
// (and the peek reader's calls per line for comparison). MB = 10^6 bytes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "nntp/nntp_connection.h"

// ---- system call counting -------------------------------------------------

namespace {
thread_local bool tCounting = false;
uint64_t gRecvCalls = 0;        // touched by the counting thread only
uint64_t gSetsockoptCalls = 0;  // likewise
}  // namespace

extern "C" ssize_t recv(int fd, void* buf, size_t n, int flags) {
    if (tCounting) ++gRecvCalls;
    return syscall(SYS_recvfrom, fd, buf, n, flags, nullptr, nullptr);
}

extern "C" int setsockopt(int fd, int level, int name, const void* value,
                          socklen_t length) noexcept {
    if (tCounting) ++gSetsockoptCalls;
    return static_cast<int>(syscall(SYS_setsockopt, fd, level, name, value, length));
}

namespace {

// ---- the stream -------------------------------------------------------------

constexpr size_t kLineBytes = 63;
constexpr size_t kChunkLines = 65536;  // about 4 MB per write
constexpr char kGreeting[] = "200 bench ready\r\n";

std::string MakeChunk() {
    std::string chunk;
    chunk.reserve(kChunkLines * kLineBytes);
    for (size_t i = 0; i < kChunkLines; ++i) {
        chunk += 'M';
        for (size_t j = 1; j < kLineBytes - 2; ++j) chunk += static_cast<char>(33 + (i + j) % 64);
        chunk += "\r\n";
    }
    return chunk;
}

void Die(const char* what) {
    std::perror(what);
    std::exit(1);
}

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) Die("peer send");
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// Serves one connection: greeting, one command line, `chunks` chunks, ".".
class CStreamPeer {
  public:
    CStreamPeer(const std::string& chunk, size_t chunks) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            Die("peer listen");
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, &chunk, chunks] {
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0) Die("peer accept");
            WriteAll(fd, kGreeting, sizeof kGreeting - 1);
            char c = 0;  // the command line, up to its LF
            while (c != '\n')
                if (read(fd, &c, 1) != 1) Die("peer read");
            for (size_t i = 0; i < chunks; ++i) WriteAll(fd, chunk.data(), chunk.size());
            WriteAll(fd, ".\r\n", 3);
            char rest[64];
            while (read(fd, rest, sizeof rest) > 0) {
            }
            close(fd);
        });
    }
    ~CStreamPeer() {
        thread_.join();
        close(listener_);
    }
    uint16_t Port() const { return port_; }

  private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

// ---- the peek-per-line reader --------------------------------------------

// Peeks at the waiting bytes, then receives exactly through the first LF; no
// byte behind the LF leaves the socket and nothing is kept between calls.
class CPeekReader {
  public:
    explicit CPeekReader(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const int timeoutMs = 60000;
        timeval tv{timeoutMs / 1000, 0};
        if (fd_ < 0 || setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0)
            Die("peek socket");
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) Die("connect");
    }
    ~CPeekReader() { close(fd_); }
    int Fd() const { return fd_; }
    const char* Line() const { return line_; }

    int ReadLine() {
        int room = kMax;
        char* at = line_;
        while (room > 0) {
            const ssize_t peeked = recv(fd_, peek_, static_cast<size_t>(room), MSG_PEEK);
            if (peeked < 1) return -1;
            const void* lf = std::memchr(peek_, '\n', static_cast<size_t>(peeked));
            if (lf != nullptr) {
                const size_t take = static_cast<size_t>(static_cast<const char*>(lf) - peek_) + 1;
                if (recv(fd_, at, take, 0) != static_cast<ssize_t>(take)) return -1;
                at[take] = 0;
                int n = static_cast<int>(at + take - line_);
                while (n > 0 && (line_[n - 1] == '\r' || line_[n - 1] == '\n')) line_[--n] = 0;
                return n;
            }
            const ssize_t got = recv(fd_, at, static_cast<size_t>(peeked), 0);
            if (got < 1) return -1;
            at += got;
            *at = 0;
            room -= static_cast<int>(got);
        }
        return kMax;
    }

  private:
    static constexpr int kMax = 32759;
    int fd_ = -1;
    char line_[32768];
    char peek_[32768];
};

// ---- runs -------------------------------------------------------------------

struct Result {
    double mbps;
    double cpuMbps;  // per second of the reader thread's own CPU time
    double recvPerLine;
    double syscallsPerLine;
};

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Reads lines with `readLine` until "."; checks count and bytes.
template <typename ReadLineFn, typename LineFn>
Result Measure(ReadLineFn readLine, LineFn line, size_t expectedLines, size_t streamBytes) {
    gRecvCalls = gSetsockoptCalls = 0;
    tCounting = true;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ThreadCpuSeconds();
    size_t lines = 0, bytes = 0;
    for (;;) {
        const int n = readLine();
        if (n < 0) {
            std::fprintf(stderr, "read failed after %zu lines\n", lines);
            std::exit(1);
        }
        bytes += static_cast<size_t>(n) + 2;
        if (n == 1 && line()[0] == '.') break;
        if (static_cast<size_t>(n) != kLineBytes - 2 || line()[0] != 'M') {
            std::fprintf(stderr, "bad line %zu (length %d)\n", lines, n);
            std::exit(1);
        }
        ++lines;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuSeconds = ThreadCpuSeconds() - cpuStart;
    tCounting = false;
    if (lines != expectedLines || bytes != streamBytes) {
        std::fprintf(stderr, "got %zu lines / %zu bytes, expected %zu / %zu\n", lines, bytes,
                     expectedLines, streamBytes);
        std::exit(1);
    }
    const double perLine = 1.0 / static_cast<double>(lines + 1);
    return {static_cast<double>(bytes) / seconds / 1e6,
            static_cast<double>(bytes) / cpuSeconds / 1e6,
            static_cast<double>(gRecvCalls) * perLine,
            static_cast<double>(gRecvCalls + gSetsockoptCalls) * perLine};
}

}  // namespace

int main(int argc, char** argv) {
    const size_t streamMb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const std::string chunk = MakeChunk();
    const size_t chunks = std::max<size_t>(1, streamMb * 1000000 / chunk.size());
    const size_t expectedLines = chunks * kChunkLines;
    const size_t streamBytes = chunks * chunk.size() + 3;
    // The peek reader's rate does not depend on the length of the stream; an
    // eighth of it keeps the run short.
    const size_t peekChunks = std::max<size_t>(1, chunks / 8);
    const size_t peekLines = peekChunks * kChunkLines;
    const size_t peekBytes = peekChunks * chunk.size() + 3;
    std::printf("stream: %zu lines of %zu bytes, %.1f MB (peek reader: %.1f MB)\n", expectedLines,
                kLineBytes, static_cast<double>(streamBytes) / 1e6,
                static_cast<double>(peekBytes) / 1e6);

    Result peek{};
    {
        CStreamPeer peer(chunk, peekChunks);
        CPeekReader reader(peer.Port());
        if (reader.ReadLine() < 0) Die("greeting");
        WriteAll(reader.Fd(), "BODY 1\r\n", 8);
        peek = Measure([&] { return reader.ReadLine(); }, [&] { return reader.Line(); }, peekLines,
                       peekBytes);
        shutdown(reader.Fd(), SHUT_RDWR);
    }
    Result buffered{};
    {
        CStreamPeer peer(chunk, chunks);
        vexlo::CNntpConnection conn;
        if (!conn.Connect(INADDR_LOOPBACK, peer.Port(), 0, "", "")) {
            std::fprintf(stderr, "connect: %s\n", conn.GetError().data());
            return 1;
        }
        conn.Send("BODY 1\r\n");
        buffered = Measure([&] { return conn.ReadLine(); }, [&] { return conn.GetLine().data(); },
                           expectedLines, streamBytes);
        conn.Quit();
    }

    std::printf("peek reader: %.3f recv per line\n", peek.recvPerLine);
    std::printf("buffered reader: %.5f recv + setsockopt per line (%.5f recv)\n",
                buffered.syscallsPerLine, buffered.recvPerLine);
    std::printf("reader thread CPU time: peek %.1f MB per CPU-second, buffered %.1f\n",
                peek.cpuMbps, buffered.cpuMbps);
    std::printf("BENCH readline_peek_MBps %.1f MB/s\n", peek.mbps);
    std::printf("BENCH readline_peek_syscalls_per_line %.3f calls\n", peek.syscallsPerLine);
    std::printf("BENCH readline_buffered_MBps %.1f MB/s\n", buffered.mbps);
    std::printf("BENCH readline_buffered_syscalls_per_line %.5f calls\n", buffered.syscallsPerLine);
    return 0;
}
