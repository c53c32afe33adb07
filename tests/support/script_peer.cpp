#include "support/script_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace vexlo::test {

namespace {

constexpr int kPeerWaitMs = 5000;

bool WaitReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, kPeerWaitMs) == 1;
}

int ListenOnLoopback(uint16_t* port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("peer: socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(fd);
        throw std::runtime_error("peer: cannot listen on 127.0.0.1");
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

}  // namespace

void CPeerSession::Write(std::string_view bytes) {
    while (!bytes.empty() && fd_ >= 0) {
        const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void CPeerSession::WriteInPieces(std::string_view bytes, size_t piece) {
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    while (!bytes.empty()) {
        const size_t n = std::min(piece, bytes.size());
        Write(bytes.substr(0, n));
        bytes.remove_prefix(n);
        usleep(200);  // lets the client take each piece on its own
    }
}

std::string CPeerSession::ReadLine() {
    for (;;) {
        const size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            std::string line = pending_.substr(0, lf + 1);
            pending_.erase(0, lf + 1);
            return line;
        }
        char chunk[4096];
        if (fd_ < 0 || !WaitReadable(fd_)) return "";
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return "";
        pending_.append(chunk, static_cast<size_t>(n));
    }
}

bool CPeerSession::WaitForClose() {
    char chunk[4096];
    while (fd_ >= 0 && WaitReadable(fd_)) {
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n == 0) return true;
        if (n < 0 && errno != EINTR) return true;  // reset counts as closed
    }
    return false;
}

void CPeerSession::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

CScriptPeer::CScriptPeer(Script script, int connections) {
    listener_ = ListenOnLoopback(&port_);
    thread_ = std::thread([this, script = std::move(script), connections] {
        for (int i = 0; i < connections; ++i) {
            if (!WaitReadable(listener_)) return;
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            CPeerSession session(fd);
            script(session);
            session.Close();
        }
    });
}

CScriptPeer::~CScriptPeer() {
    thread_.join();
    close(listener_);
}

uint16_t UnusedLoopbackPort() {
    uint16_t port = 0;
    close(ListenOnLoopback(&port));
    return port;
}

}  // namespace vexlo::test
