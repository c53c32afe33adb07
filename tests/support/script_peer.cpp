#include "support/script_peer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vexlo::test {

constexpr int kPeerWaitMs = 5000;

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
    SendAll(Fd(), bytes);
}

void CPeerSession::WriteInPieces(std::string_view bytes, size_t piece) {
    test::WriteInPieces(Fd(), bytes, piece, [this](std::string_view part) { Write(part); });
}

std::string CPeerSession::ReadLine() {
    return TakeLine(pending_, [this](char* chunk, size_t n) -> long {
        return Fd() >= 0 && WaitReadable(Fd(), kPeerWaitMs) ? recv(Fd(), chunk, n, 0) : -1;
    });
}

bool CPeerSession::WaitForClose() {
    char chunk[4096];
    while (Fd() >= 0 && WaitReadable(Fd(), kPeerWaitMs)) {
        const ssize_t n = recv(Fd(), chunk, sizeof chunk, 0);
        if (n == 0 || (n < 0 && errno != EINTR)) return true;  // a reset counts as closed
    }
    return false;
}

CScriptPeer::CScriptPeer(Script script, int connections) {
    thread_ = std::thread([this, script = std::move(script), connections] {
        for (int i = 0; i < connections; ++i) {
            CPeerSession session(listener_.Accept(kPeerWaitMs).Release());
            if (session.Fd() < 0) return;
            script(session);
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
