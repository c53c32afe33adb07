#include "support/nntp_relay.h"

#include <poll.h>
#include <sys/socket.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>
#include <utility>

namespace vexlo::test {

namespace {

constexpr int kPollMs = 50;

// Whether a reply with this status code to this command goes on to a "." line.
bool IsMultiLine(const std::string& verb, int code) {
    static const std::set<int> kCodes{100, 101, 215, 220, 221, 222, 224, 225, 230, 231};
    return code == 211 ? verb == "LISTGROUP" : kCodes.count(code) > 0;
}

}  // namespace

struct CNntpRelay::Session {
    int index = 0;
    CSocketFd client, server;
    std::string partialLine;  // client bytes behind the last LF
    // Commands sent and not answered to the end, oldest first, as their verb
    // and their number among the commands of that verb ("" and 0 for the
    // greeting): clients may send several before reading (pipelining), and
    // replies come in order.
    std::deque<std::pair<std::string, int>> pending{{"", 0}};
    size_t replyBytes = 0;   // bytes of the front reply passed on so far
    std::string line;        // the front reply's current line so far (its start)
    bool statusLine = true;  // that line is the reply's first
    std::thread thread;
};

CNntpRelay::CNntpRelay(uint16_t serverPort) : serverPort_(serverPort) {
    acceptThread_ = std::thread([this] {
        for (;;) {
            CSocketFd client = listener_.Accept(kPollMs);
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            if (!client.IsOpen()) continue;
            auto session = std::make_unique<Session>();
            session->index = static_cast<int>(sessions_.size()) + 1;
            session->client = std::move(client);
            session->thread = std::thread([this, s = session.get()] { Relay(*s); });
            sessions_.push_back(std::move(session));
        }
    });
}

CNntpRelay::~CNntpRelay() {
    {
        // Set under the lock, so that a held reply's wait cannot miss it.
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    listener_.Stop();
    acceptThread_.join();
    // No session is added any more; their threads see stopping_ within one poll.
    for (auto& session : sessions_) session->thread.join();
}

void CNntpRelay::Relay(Session& session) {
    std::string error;
    session.server = ConnectLoopback(serverPort_, "", 60, &error);
    const int client = session.client.Get(), server = session.server.Get();
    char buffer[64 * 1024];
    while (session.server.IsOpen() && !stopping_) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, kPollMs) <= 0) continue;
        if (p[0].revents != 0) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            NoteClientBytes(session, buffer, static_cast<size_t>(n));
            if (!SendAll(server, {buffer, static_cast<size_t>(n)})) break;
        }
        if (p[1].revents != 0) {
            const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            bool fire = false;
            const size_t pass = PassableServerBytes(session, buffer, static_cast<size_t>(n), &fire);
            if (!SendAll(client, {buffer, pass})) break;
            if (fire) {
                std::unique_lock lock(mutex_);
                if (armedAction_ == Action::kCut) break;
                changed_.wait(lock, [&] { return !held_ || stopping_; });
            }
            if (!SendAll(client, {buffer + pass, static_cast<size_t>(n) - pass})) break;
        }
    }
    ::shutdown(client, SHUT_RDWR);
    session.client.Close();
    session.server.Close();
}

void CNntpRelay::NoteClientBytes(Session& session, const char* data, size_t n) {
    session.partialLine.append(data, n);
    const auto noMore = [](char*, size_t) { return 0L; };
    for (std::string line; !(line = TakeLine(session.partialLine, noMore)).empty();) {
        line.erase(line.find_last_not_of("\r\n") + 1);
        std::lock_guard lock(mutex_);
        commands_.push_back(std::to_string(session.index) + " " + line);
        std::string verb = line.substr(0, line.find(' '));
        for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const int number = ++commandCounts_[verb];
        session.pending.push_back({std::move(verb), number});
    }
}

size_t CNntpRelay::PassableServerBytes(Session& session, const char* data, size_t n, bool* fire) {
    // Walks the bytes line by line, following the replies in the order their
    // commands were sent; the trigger fires at the armed byte of the armed
    // reply, or at that reply's end when it is shorter.
    std::lock_guard lock(mutex_);
    size_t pass = n;
    auto armed = [&] {
        return armedNumber_ != 0 && !triggered_ && !session.pending.empty() &&
               session.pending.front() == std::pair(armedVerb_, armedNumber_);
    };
    auto fireAt = [&](size_t at) {
        pass = at;
        triggered_ = true;
        held_ = armedAction_ == Action::kHold;
        *fire = true;
        changed_.notify_all();
    };
    for (size_t at = 0; at < n;) {
        const char* lf = static_cast<const char*>(std::memchr(data + at, '\n', n - at));
        const size_t end = lf ? static_cast<size_t>(lf - data) + 1 : n;
        if (armed() && session.replyBytes + (end - at) >= armedBytes_)
            fireAt(at + (armedBytes_ - session.replyBytes));
        if (session.line.size() < 8) session.line.append(data + at, std::min<size_t>(end - at, 8));
        session.replyBytes += end - at;
        at = end;
        if (!lf) break;
        // A whole line of the front reply: its status line ends it unless a
        // "." line is to follow.
        const std::string verb = session.pending.empty() ? "" : session.pending.front().first;
        const bool ended = session.statusLine ? !IsMultiLine(verb, std::atoi(session.line.c_str()))
                                              : session.line == ".\r\n" || session.line == ".\n";
        session.statusLine = false;
        session.line.clear();
        if (!ended) continue;
        if (armed()) fireAt(at);  // the armed reply was shorter than the armed bytes
        if (!session.pending.empty()) session.pending.pop_front();
        session.replyBytes = 0;
        session.statusLine = true;
    }
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
