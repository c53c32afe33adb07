// A bare NNTP reader connection for tests that check the server itself: lines
// in, lines out, nothing interpreted. The project's real client is
// CNntpConnection; this one exists so the fixture can be tested on its own.
// One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/loopback_socket.h"

namespace vexlo::test {

class CRawNntpClient {
  public:
    // Connects to 127.0.0.1:port and reads the greeting line into *greeting.
    bool Connect(uint16_t port, std::string* greeting);
    // Sends one command and returns the status line ("" when the connection failed).
    std::string Command(const std::string& line);
    // Reads the lines of a multi-line reply up to the "." line, as they came on the
    // wire (still dot-stuffed).
    bool ReadBlock(std::vector<std::string>* lines);
    // AUTHINFO USER and PASS; returns the reply to PASS (or to USER when it is not 381).
    std::string Login(const std::string& user, const std::string& password);

  private:
    CSocketFd socket_;
    std::unique_ptr<CLineReader> reader_;
};

}  // namespace vexlo::test
