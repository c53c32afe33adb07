// The server's byte stream into a download: the input is everything a server
// sends on one connection (greeting, GROUP reply, BODY replies and bodies),
// written at once by a peer thread on loopback; RetrieveBinary runs a
// three-part DECODE task over it. Output files are removed after each input.
#include <sys/socket.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "decode/retrieve_binary.h"
#include "fuzz_support.h"
#include "nntp/nntp_connection.h"
#include "support/loopback_socket.h"
#include "tasks/task.h"

using namespace vexlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One listener for the whole run: a port of its own per input would fill
    // the port range with closed connections.
    static test::CLoopbackListener listener;
    std::thread server([&] {
        const test::CSocketFd peer = listener.Accept(10000);
        test::SendAll(peer.Get(), {reinterpret_cast<const char*>(data), size});
        ::shutdown(peer.Get(), SHUT_WR);
        char sink[4096];
        while (::recv(peer.Get(), sink, sizeof sink, 0) > 0) {
        }
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
        if (connection.Connect(0x7F000001, listener.Port(), 0, "", "") == 1) {
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
