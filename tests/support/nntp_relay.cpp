#include "support/nntp_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace vexlo::test {

namespace {

constexpr int kPollMs = 50;

bool SendAllBytes(int fd, const char* data, size_t n) {
    while (n > 0) {
        const ssize_t sent = ::send(fd, data, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

int ConnectToServer(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

struct CNntpRelay::Session {
    int index = 0;
    int clientFd = -1;
    int serverFd = -1;
    std::string partialLine;  // client bytes behind the last LF
    std::string replyVerb;    // the command the server is answering: its verb
    int replyNumber = 0;      // and its number among the commands of that verb
    size_t replyBytes = 0;    // bytes of that reply passed on so far
    std::thread thread;
};

CNntpRelay::CNntpRelay(uint16_t serverPort) : serverPort_(serverPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (listener_ >= 0) ::close(listener_);
        throw std::runtime_error("relay: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

CNntpRelay::~CNntpRelay() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    acceptThread_.join();
    ::close(listener_);
    // No session is added any more; their threads see stopping_ within one poll.
    for (auto& session : sessions_) session->thread.join();
}

void CNntpRelay::AcceptLoop() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
        }
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) != 1) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        std::lock_guard lock(mutex_);
        auto session = std::make_unique<Session>();
        session->index = static_cast<int>(sessions_.size()) + 1;
        session->clientFd = client;
        Session* s = session.get();
        sessions_.push_back(std::move(session));
        s->thread = std::thread([this, s] { Relay(*s); });
    }
}

void CNntpRelay::Relay(Session& session) {
    session.serverFd = ConnectToServer(serverPort_);
    char buffer[64 * 1024];
    while (session.serverFd >= 0) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        pollfd p[2] = {{session.clientFd, POLLIN, 0}, {session.serverFd, POLLIN, 0}};
        if (::poll(p, 2, kPollMs) <= 0) continue;
        if (p[0].revents != 0) {
            const ssize_t n = ::recv(session.clientFd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            NoteClientBytes(session, buffer, static_cast<size_t>(n));
            if (!SendAllBytes(session.serverFd, buffer, static_cast<size_t>(n))) break;
        }
        if (p[1].revents != 0) {
            const ssize_t n = ::recv(session.serverFd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            bool fire = false;
            const size_t pass = PassableServerBytes(session, static_cast<size_t>(n), &fire);
            if (!SendAllBytes(session.clientFd, buffer, pass)) break;
            if (fire) {
                std::unique_lock lock(mutex_);
                if (armedAction_ == Action::kCut) break;
                changed_.wait(lock, [&] { return !held_ || stopping_; });
            }
            if (pass < static_cast<size_t>(n) &&
                !SendAllBytes(session.clientFd, buffer + pass, static_cast<size_t>(n) - pass)) {
                break;
            }
        }
    }
    ::shutdown(session.clientFd, SHUT_RDWR);
    ::close(session.clientFd);
    if (session.serverFd >= 0) ::close(session.serverFd);
}

void CNntpRelay::NoteClientBytes(Session& session, const char* data, size_t n) {
    session.partialLine.append(data, n);
    size_t end;
    while ((end = session.partialLine.find('\n')) != std::string::npos) {
        std::string line = session.partialLine.substr(0, end);
        session.partialLine.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::lock_guard lock(mutex_);
        commands_.push_back(std::to_string(session.index) + " " + line);
        std::string verb = line.substr(0, line.find(' '));
        for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        session.replyVerb = verb;
        session.replyNumber = ++commandCounts_[verb];
        session.replyBytes = 0;
    }
}

size_t CNntpRelay::PassableServerBytes(Session& session, size_t n, bool* fire) {
    std::lock_guard lock(mutex_);
    size_t pass = n;
    if (armedNumber_ != 0 && !triggered_ && session.replyVerb == armedVerb_ &&
        session.replyNumber == armedNumber_ && session.replyBytes + n >= armedBytes_) {
        pass = armedBytes_ - session.replyBytes;
        triggered_ = true;
        held_ = armedAction_ == Action::kHold;
        *fire = true;
        changed_.notify_all();
    }
    session.replyBytes += n;
    return pass;
}

void CNntpRelay::ArmCommand(const std::string& verb, int nth, size_t bytes, Action action) {
    std::lock_guard lock(mutex_);
    armedVerb_ = verb;
    armedNumber_ = nth;
    armedBytes_ = bytes;
    armedAction_ = action;
    triggered_ = false;
}

bool CNntpRelay::WaitTriggered(int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return triggered_; });
}

void CNntpRelay::Release() {
    {
        std::lock_guard lock(mutex_);
        held_ = false;
    }
    changed_.notify_all();
}

std::vector<std::string> CNntpRelay::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

int CNntpRelay::Connections() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(sessions_.size());
}

}  // namespace vexlo::test
