#include "support/script_peer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vexlo::test {

namespace {

constexpr int kPeerWaitMs = 5000;

}  // namespace

void WriteInPieces(int fd, std::string_view bytes, size_t piece,
                   const std::function<void(std::string_view)>& write) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    while (!bytes.empty()) {
        const size_t n = std::min(piece, bytes.size());
        write(bytes.substr(0, n));
        bytes.remove_prefix(n);
        usleep(200);  // lets the client take each piece on its own
    }
}

void CPeerSession::Write(std::string_view bytes) {
    if (fd_ >= 0) SendAll(fd_, bytes);
}

void CPeerSession::WriteInPieces(std::string_view bytes, size_t piece) {
    test::WriteInPieces(fd_, bytes, piece, [this](std::string_view part) { Write(part); });
}

std::string CPeerSession::ReadLine() {
    return TakeLine(pending_, [this](char* chunk, size_t n) -> long {
        return fd_ >= 0 && WaitReadable(fd_, kPeerWaitMs) ? recv(fd_, chunk, n, 0) : -1;
    });
}

bool CPeerSession::WaitForClose() {
    char chunk[4096];
    while (fd_ >= 0 && WaitReadable(fd_, kPeerWaitMs)) {
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
    thread_ = std::thread([this, script = std::move(script), connections] {
        for (int i = 0; i < connections; ++i) {
            CPeerSession session(listener_.Accept(kPeerWaitMs).Release());
            if (session.Fd() < 0) return;
            script(session);
            session.Close();
        }
    });
}

CScriptPeer::~CScriptPeer() {
    listener_.Stop();
    thread_.join();
}

uint16_t UnusedLoopbackPort() {
    return CLoopbackListener().Port();
}

}  // namespace vexlo::test
