// The server's byte stream into a download: the input is everything a server
// sends on one connection (greeting, GROUP reply, BODY replies and bodies),
// written at once by a peer thread on loopback; RetrieveBinary runs a
// three-part DECODE task over it. Output files are removed after each input.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "decode/retrieve_binary.h"
#include "fuzz_support.h"
#include "nntp/nntp_connection.h"
#include "tasks/task.h"

using namespace vexlo;

namespace {

int Listener(uint16_t* port) {
    static int fd = -1;
    static uint16_t bound = 0;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd, 4) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            std::abort();
        bound = ntohs(addr.sin_port);
    }
    *port = bound;
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint16_t port = 0;
    const int listener = Listener(&port);
    std::thread server([&] {
        const int peer = ::accept(listener, nullptr, nullptr);
        if (peer < 0) return;
        for (size_t sent = 0; sent < size;) {
            const ssize_t n = ::send(peer, data + sent, size - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
        ::shutdown(peer, SHUT_WR);
        char sink[4096];
        while (::recv(peer, sink, sizeof sink, 0) > 0) {
        }
        ::close(peer);
    });

    CAppContext& context = fuzz::Context();
    const std::string out = fuzz::AppDir() + "out/";
    CTask task(&context.settings);
    task.SetType(kTaskDecode);
    task.SetGroupName("alt.test");
    task.SetSaveDir(out);
    task.SetArticles({1, 2, 3});
    task.SetLines({10, 10, 10});
    task.SetInProgress(1);
    {
        CNntpConnection connection(2000);
        if (connection.Connect(0x7F000001, port, 0, "", "") == 1) {
            std::atomic<uint32_t> abort{0};
            RetrieveBinary(context, connection, abort, task);
            if (connection.GetSocket() != CNntpConnection::kInvalidSocket) connection.Quit();
        }
    }
    server.join();
    fuzz::Require(task.GetPartsFetched() <= 3, "the resume point stays within the parts");
    context.outputClaims.Release(task.Key());
    std::filesystem::remove_all(out);
    return 0;
}
