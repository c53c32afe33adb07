#include "support/raw_nntp_client.h"

namespace vexlo::test {

bool CRawNntpClient::Connect(uint16_t port, std::string* greeting) {
    std::string error;
    socket_ = ConnectLoopback(port, "", 60, &error);
    if (!socket_.IsOpen()) return false;
    reader_ = std::make_unique<CLineReader>(socket_.Get(), /*quickAck=*/true);
    return reader_->ReadLine(greeting);
}

std::string CRawNntpClient::Command(const std::string& line) {
    std::string reply;
    if (reader_ && SendAll(socket_.Get(), line + "\r\n")) reader_->ReadLine(&reply);
    return reply;
}

bool CRawNntpClient::ReadBlock(std::vector<std::string>* lines) {
    lines->clear();
    std::string line;
    while (reader_ && reader_->ReadLine(&line)) {
        if (line == ".") return true;
        lines->push_back(line);
    }
    return false;
}

std::string CRawNntpClient::Login(const std::string& user, const std::string& password) {
    const std::string reply = Command("AUTHINFO USER " + user);
    return reply.rfind("381", 0) != 0 ? reply : Command("AUTHINFO PASS " + password);
}

}  // namespace vexlo::test
