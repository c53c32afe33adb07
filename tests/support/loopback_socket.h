// Plain TCP sockets on loopback for the test helpers: an owned descriptor, a
// connect that can choose its source address, a listener whose accept can be
// ended from another thread, and buffered line readers.
//
// Every object here belongs to one thread at a time (CLoopbackListener::Stop
// excepted); the feeder reads and writes one socket from two threads through
// separate objects (a descriptor shared by a writer and a CLineReader), which
// POSIX sockets allow.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace vexlo::test {

// Owns one socket descriptor; closes it when destroyed.
class CSocketFd {
  public:
    CSocketFd() = default;
    explicit CSocketFd(int fd) : fd_(fd) {}
    ~CSocketFd() { Close(); }
    CSocketFd(CSocketFd&& other) noexcept : fd_(other.Release()) {}
    // Swaps: the descriptor held before closes with `other`.
    CSocketFd& operator=(CSocketFd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    void Close();
    // Gives the descriptor up to the caller.
    int Release() { return std::exchange(fd_, -1); }

  private:
    int fd_ = -1;
};

// Connects to 127.0.0.1:port, from `sourceAddress` when it is not empty (the
// feeding address 127.0.0.2). Reads time out after timeoutSeconds.
CSocketFd ConnectLoopback(uint16_t port, const std::string& sourceAddress, int timeoutSeconds,
                          std::string* error);

// Sends all bytes (no SIGPIPE on a closed peer); false with *error on failure.
bool SendAll(int fd, std::string_view bytes, std::string* error = nullptr);

// Waits up to timeoutMs until `fd` has something to read (bytes, the end, or a
// connection to accept).
bool WaitReadable(int fd, int timeoutMs);

// Listens on an ephemeral port of 127.0.0.1. Throws std::runtime_error when it cannot.
class CLoopbackListener {
  public:
    CLoopbackListener();

    uint16_t Port() const { return port_; }
    // The next client, or an invalid descriptor after timeoutMs, or at once
    // when Stop() was called and no client is waiting.
    CSocketFd Accept(int timeoutMs);
    // Ends the current and every later Accept; any thread may call it.
    void Stop() { stopped_ = true; }

  private:
    CSocketFd fd_;
    uint16_t port_ = 0;
    std::atomic<bool> stopped_{false};
};

// Takes the first line, through its LF, out of `pending`, reading more with
// `read` (which fills at most n bytes and returns how many, <= 0 at the end).
// "" when the end came first.
std::string TakeLine(std::string& pending, const std::function<long(char*, size_t)>& read);

// Reads CRLF- or LF-terminated lines from a socket, without the line end.
class CLineReader {
  public:
    explicit CLineReader(int fd, bool quickAck = false) : fd_(fd), quickAck_(quickAck) {}

    // False at the end of the stream, on a timeout or an error (see LastError()).
    bool ReadLine(std::string* line);
    const std::string& LastError() const { return error_; }

  private:
    int fd_;
    // Re-arms TCP_QUICKACK before each receive: the server writes a multi-line
    // reply's status line and body separately, and a delayed ACK from us would
    // hold the body back by about 40 ms (server-side Nagle).
    bool quickAck_;
    std::string buffer_;  // bytes read behind the lines taken
    std::string error_;
};

}  // namespace vexlo::test
