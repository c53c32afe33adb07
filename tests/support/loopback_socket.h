// Plain TCP sockets on loopback for the test helpers: an owned descriptor, a
// connect that can choose its source address, and a buffered line reader.
//
// Every object here belongs to one thread at a time; the feeder reads and
// writes one socket from two threads through separate objects (a descriptor
// shared by a writer and a CLineReader), which POSIX sockets allow.
#pragma once

#include <cstdint>
#include <string>

namespace vexlo::test {

// Owns one socket descriptor; closes it when destroyed.
class CSocketFd {
  public:
    CSocketFd() = default;
    explicit CSocketFd(int fd) : fd_(fd) {}
    ~CSocketFd();
    CSocketFd(CSocketFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    CSocketFd& operator=(CSocketFd&& other) noexcept;
    CSocketFd(const CSocketFd&) = delete;
    CSocketFd& operator=(const CSocketFd&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

  private:
    int fd_ = -1;
};

// Connects to 127.0.0.1:port, from `sourceAddress` when it is not empty (the
// feeding address 127.0.0.2). Reads time out after timeoutSeconds.
CSocketFd ConnectLoopback(uint16_t port, const std::string& sourceAddress, int timeoutSeconds,
                          std::string* error);

// Sends all bytes (no SIGPIPE on a closed peer); false with *error on failure.
bool SendAll(int fd, const std::string& bytes, std::string* error);

// Reads CRLF- or LF-terminated lines from a socket, without the line end.
class CLineReader {
  public:
    explicit CLineReader(int fd, bool quickAck = false) : fd_(fd), quickAck_(quickAck) {}

    // False at the end of the stream, on a timeout or an error (see LastError()).
    bool ReadLine(std::string* line);
    const std::string& LastError() const { return error_; }

  private:
    bool Fill();

    int fd_;
    // Re-arms TCP_QUICKACK before each receive: the server writes a multi-line
    // reply's status line and body separately, and a delayed ACK from us would
    // hold the body back by about 40 ms (server-side Nagle).
    bool quickAck_;
    std::string buffer_;
    size_t start_ = 0;
    std::string error_;
};

}  // namespace vexlo::test
