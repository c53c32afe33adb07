#include "support/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

bool SendAll(int fd, const std::string& bytes, std::string* error) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = ErrnoText("send");
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
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
