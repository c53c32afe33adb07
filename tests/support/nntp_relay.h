// CNntpRelay: a TCP relay on 127.0.0.1 in front of a real news server, for
// fault tests of clients. It passes both directions through unchanged, notes
// the command lines clients send, and can break one reply in the middle: when
// the reply to the n-th command of a kind (BODY unless told otherwise, counted
// over all connections, from 1) has passed a given number of bytes, it cuts
// that connection (both sides closed, as a lost link looks to the client) or
// holds the rest back until the test releases it. Replies are matched to
// commands in order, so a client that sends several commands before reading
// (pipelining) is followed reply by reply: the relay knows which replies end
// at a "." line.
//
// Each client connection gets its own connection to the server and a thread
// that relays it. Thread-safe; the destructor ends every relayed connection.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_socket.h"

namespace vexlo::test {

class CNntpRelay {
  public:
    enum class Action { kCut, kHold };

    // Relays to 127.0.0.1:serverPort. Throws std::runtime_error when it cannot listen.
    explicit CNntpRelay(uint16_t serverPort);
    ~CNntpRelay();

    uint16_t Port() const { return listener_.Port(); }

    // Breaks the reply to BODY command number `body` after `bytes` bytes of it
    // have been passed on. One trigger at a time; arming again replaces it.
    void Arm(int body, size_t bytes, Action action) { ArmCommand("BODY", body, bytes, action); }
    // The same for command number `nth` of the kind `verb` ("XOVER", "GROUP").
    // The reply's bytes count from the status line on.
    void ArmCommand(const std::string& verb, int nth, size_t bytes, Action action);
    // Waits until the armed trigger fired; false after timeoutMs.
    bool WaitTriggered(int timeoutMs);
    // Lets a held reply go on.
    void Release();

    // Command lines clients sent, in order, each as "<connection> <line>"
    // (connections numbered from 1 in the order accepted).
    std::vector<std::string> Commands() const;
    int Connections() const;

  private:
    struct Session;
    void Relay(Session& session);
    // Client bytes: notes the complete command lines.
    void NoteClientBytes(Session& session, const char* data, size_t n);
    // Server bytes: how many of the n at `data` may pass now; fires the
    // trigger when due.
    size_t PassableServerBytes(Session& session, const char* data, size_t n, bool* fire);

    uint16_t serverPort_;
    CLoopbackListener listener_;
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> stopping_{false};               // written under mutex_
    std::map<std::string, int> commandCounts_;        // per verb; guarded by mutex_
    std::string armedVerb_;                           // guarded by mutex_
    int armedNumber_ = 0;                             // guarded by mutex_ (0: none)
    size_t armedBytes_ = 0;                           // guarded by mutex_
    Action armedAction_ = Action::kCut;               // guarded by mutex_
    bool triggered_ = false;                          // guarded by mutex_
    bool held_ = false;                               // guarded by mutex_
    std::vector<std::string> commands_;               // guarded by mutex_
    std::vector<std::unique_ptr<Session>> sessions_;  // guarded by mutex_
};

}  // namespace vexlo::test
