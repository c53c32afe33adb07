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

CSocketFd::~CSocketFd() {
    Close();
}

CSocketFd& CSocketFd::operator=(CSocketFd&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void CSocketFd::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

namespace {

bool SetAddress(const std::string& text, uint16_t port, sockaddr_in* address) {
    std::memset(address, 0, sizeof(*address));
    address->sin_family = AF_INET;
    address->sin_port = htons(port);
    return ::inet_pton(AF_INET, text.c_str(), &address->sin_addr) == 1;
}

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

CSocketFd ConnectLoopback(uint16_t port, const std::string& sourceAddress, int timeoutSeconds,
                          std::string* error) {
    CSocketFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.IsOpen()) {
        *error = ErrnoText("socket");
        return {};
    }
    timeval timeout{};
    timeout.tv_sec = timeoutSeconds;
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    sockaddr_in address{};
    if (!sourceAddress.empty()) {
        if (!SetAddress(sourceAddress, 0, &address) ||
            ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            *error = ErrnoText("bind to " + sourceAddress);
            return {};
        }
    }
    SetAddress("127.0.0.1", port, &address);
    if (::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        *error = ErrnoText("connect to 127.0.0.1:" + std::to_string(port));
        return {};
    }
    return socket;
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
    sockaddr_in address{};
    SetAddress("127.0.0.1", 0, &address);
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    if (!fd_.IsOpen() || ::bind(fd_.Get(), any, sizeof address) != 0 ||
        ::listen(fd_.Get(), 16) != 0 || ::getsockname(fd_.Get(), any, &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
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
    for (;;) {
        const size_t lf = pending.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending.substr(0, lf + 1);
            pending.erase(0, lf + 1);
            return line;
        }
        char chunk[4096];
        const long n = read(chunk, sizeof chunk);
        if (n <= 0) return "";
        pending.append(chunk, static_cast<size_t>(n));
    }
}

bool CLineReader::ReadLine(std::string* line) {
    for (;;) {
        size_t end = buffer_.find('\n', start_);
        if (end != std::string::npos) {
            size_t length = end - start_;
            if (length > 0 && buffer_[end - 1] == '\r') --length;
            line->assign(buffer_, start_, length);
            start_ = end + 1;
            return true;
        }
        if (!Fill()) return false;
    }
}

bool CLineReader::Fill() {
    if (start_ > 0) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    char chunk[65536];
    for (;;) {
        if (quickAck_) {
            int one = 1;
            ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof(one));
        }
        ssize_t n = ::recv(fd_, chunk, sizeof(chunk), 0);
        if (n > 0) {
            buffer_.append(chunk, static_cast<size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            error_ = "connection closed by the server";
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            error_ = "timed out waiting for the server";
        } else {
            error_ = ErrnoText("recv");
        }
        return false;
    }
}

}  // namespace vexlo::test
