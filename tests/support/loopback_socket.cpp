#include "support/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vexlo::test {

void CSocketFd::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

namespace {

// An IPv4 address (dotted text) and port, in the form bind and connect take.
struct Address {
    sockaddr_in in{};
    Address(const std::string& text, uint16_t port) {
        in.sin_family = AF_INET;
        in.sin_port = htons(port);
        ::inet_pton(AF_INET, text.c_str(), &in.sin_addr);
    }
    sockaddr* Get() { return reinterpret_cast<sockaddr*>(&in); }
};

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

CSocketFd ConnectLoopback(uint16_t port, const std::string& sourceAddress, int timeoutSeconds,
                          std::string* error) {
    CSocketFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const timeval timeout{timeoutSeconds, 0};
    Address source(sourceAddress, 0), server("127.0.0.1", port);
    if (!socket.IsOpen()) {
        *error = ErrnoText("socket");
    } else if (!sourceAddress.empty() && ::bind(socket.Get(), source.Get(), sizeof source.in)) {
        *error = ErrnoText("bind to " + sourceAddress);
    } else if (::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) ||
               ::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) ||
               ::connect(socket.Get(), server.Get(), sizeof server.in) != 0) {
        *error = ErrnoText("connect to 127.0.0.1:" + std::to_string(port));
    } else {
        return socket;
    }
    return {};
}

bool SendAll(int fd, std::string_view bytes, std::string* error) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error != nullptr) *error = ErrnoText("send");
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool WaitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1;
}

CLoopbackListener::CLoopbackListener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    Address address("127.0.0.1", 0);
    socklen_t length = sizeof address.in;
    if (!fd_.IsOpen() || ::bind(fd_.Get(), address.Get(), length) != 0 ||
        ::listen(fd_.Get(), 16) != 0 || ::getsockname(fd_.Get(), address.Get(), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.in.sin_port);
}

CSocketFd CLoopbackListener::Accept(int timeoutMs) {
    // Short waits, so that Stop() from another thread is seen soon.
    constexpr int kSliceMs = 50;
    for (int waited = 0; waited < timeoutMs; waited += kSliceMs) {
        if (WaitReadable(fd_.Get(), kSliceMs))
            return CSocketFd(::accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (stopped_) break;
    }
    return {};
}

std::string TakeLine(std::string& pending, const std::function<long(char*, size_t)>& read) {
    char chunk[4096];
    size_t lf;
    while ((lf = pending.find('\n')) == std::string::npos) {
        const long n = read(chunk, sizeof chunk);
        if (n <= 0) return "";
        pending.append(chunk, static_cast<size_t>(n));
    }
    std::string line = pending.substr(0, lf + 1);
    pending.erase(0, lf + 1);
    return line;
}

bool CLineReader::ReadLine(std::string* line) {
    *line = TakeLine(buffer_, [this](char* chunk, size_t n) -> long {
        for (;;) {
            const int one = 1;
            if (quickAck_) ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
            const ssize_t got = ::recv(fd_, chunk, n, 0);
            if (got < 0 && errno == EINTR) continue;
            if (got == 0) error_ = "connection closed by the server";
            if (got < 0)
                error_ = errno == EAGAIN || errno == EWOULDBLOCK
                             ? "timed out waiting for the server"
                             : ErrnoText("recv");
            return got;
        }
    });
    if (line->empty()) return false;
    line->erase(line->find_last_not_of("\r\n") + 1);
    return true;
}

}  // namespace vexlo::test
