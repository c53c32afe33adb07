// A scripted TCP peer on 127.0.0.1 for replies a real news server never
// sends: odd codes, odd line endings, silence, cuts in the middle of a line.
//
// CScriptPeer listens on an ephemeral port and runs `script` on a thread of
// its own for each connection it accepts (up to `connections`, one after the
// other). The script talks through a CPeerSession. The destructor lets a
// running script end, then stops accepting (a client already waiting is
// still served) and joins the thread; session reads give up after a few
// seconds, so a script waiting for a client that never comes back still ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "support/loopback_socket.h"

namespace vexlo::test {

class CPeerSession {
  public:
    explicit CPeerSession(int fd) : fd_(fd) {}

    // Writes all of `bytes` (ignores a client that has gone away).
    void Write(std::string_view bytes);
    // Writes `bytes` in pieces of `piece` bytes, each a TCP segment of its own
    // (Nagle off), so the client sees the data arrive a little at a time.
    void WriteInPieces(std::string_view bytes, size_t piece);
    // Reads one line through its LF; "" when the client closed or time ran out.
    std::string ReadLine();
    // Waits until the client closes its end (or time runs out); true if it did.
    bool WaitForClose();
    // Closes the connection now (the client sees the end of the stream).
    void Close() { fd_.Close(); }

    int Fd() const { return fd_.Get(); }

  private:
    CSocketFd fd_;
    std::string pending_;
};

class CScriptPeer {
  public:
    using Script = std::function<void(CPeerSession&)>;

    explicit CScriptPeer(Script script, int connections = 1);
    ~CScriptPeer();

    static constexpr uint32_t kAddress = 0x7F000001;  // 127.0.0.1
    uint16_t Port() const { return listener_.Port(); }

  private:
    CLoopbackListener listener_;
    std::thread thread_;
};

// Writes `bytes` in pieces of `piece` bytes through `write`, each a TCP
// segment of its own on socket `fd` (Nagle off), so the client sees the data
// arrive a little at a time.
void WriteInPieces(int fd, std::string_view bytes, size_t piece,
                   const std::function<void(std::string_view)>& write);

// A loopback port on which nothing listens (connecting there is refused).
uint16_t UnusedLoopbackPort();

}  // namespace vexlo::test
