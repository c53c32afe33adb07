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
    std::string error;
    std::string reply;
    if (!reader_ || !SendAll(socket_.Get(), line + "\r\n", &error) || !reader_->ReadLine(&reply)) {
        return "";
    }
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
    std::string reply = Command("AUTHINFO USER " + user);
    if (reply.rfind("381", 0) != 0) return reply;
    return Command("AUTHINFO PASS " + password);
}

std::vector<std::string> Unstuff(const std::vector<std::string>& wireLines) {
    std::vector<std::string> lines;
    lines.reserve(wireLines.size());
    for (const std::string& line : wireLines) {
        lines.push_back(line.rfind("..", 0) == 0 ? line.substr(1) : line);
    }
    return lines;
}

}  // namespace vexlo::test
