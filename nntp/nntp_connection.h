// TEMPORARY placeholder until the real connection lands.
#pragma once
#include <cstdint>
namespace vexlo {
class CNntpConnection {
public:
    static constexpr int kInvalidSocket = -1;
    virtual ~CNntpConnection() = default;
    int Connect(uint32_t, uint16_t, int, const char*, const char*) { return 0; }
    int ReadLine() { return -1; }
    int ReadReply(char*, int) { return -1; }
    int Send(const char*) { return 0; }
    int Quit() { return 0; }
    const char* GetLine() const { return ""; }
    const char* GetError() const { return ""; }
    const char* GetBanner() const { return ""; }
    int GetSocket() const { return kInvalidSocket; }
};
}  // namespace vexlo
