// CServerTestThread: the one-connection server worker of the server group list
// and of the server connection test.
//
// Contract:
//  - The worker is a thread with its own message queue. It runs one job at a
//    time, in the order the messages were posted:
//      WM_WORKER_LIST     the LIST job: the server's group names into the list
//                         file (DATA/_GROUPS.TMP), one name and CR LF a line;
//      WM_WORKER_CONNECT  the test job: Connect the test connection the owner
//                         has set, with the worker's server and login;
//      WM_WORKER_QUIT     leave the loop (the thread ends).
//  - Every job reports by posting WM_TASK_DONE to the notify queue, with the
//    count in wParam and the kind in lParam (read them with ReadWorkerNotice):
//    LIST posts (count, 0) after every 50 names, then (count, 1) when the list
//    is complete and the file closed, or (-1, -1) when it failed; the error
//    text then says why. The test job always posts (0, 0); its outcome is the
//    test connection itself (open or not, GetBanner, GetError). The test job
//    never closes that connection; the LIST job closes its own at every end.
//  - The LIST job counts what it sends and receives in the transfer statistics.
//
// Threads: the owner (a dialog model on the main thread) creates, starts, posts
// to and stops the worker; the jobs run on the worker thread. The server, login,
// list file and test connection are guarded by mutex_ and copied by each job
// when it starts. The abort flag is an atomic written by the owner and polled by
// the LIST job before each line. The error text is written by a job and read by
// the owner after the failure notice (the notice queue orders the two).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "nntp/tls_settings.h"
#include "platform/message_queue.h"

namespace vexlo {

class CAppContext;
class CNntpConnection;
class CTransferStats;

// Notice kinds (lParam of WM_TASK_DONE from the worker).
inline constexpr int kWorkerNoticeProgress = 0;   // LIST: names so far; test job: done
inline constexpr int kWorkerNoticeComplete = 1;   // LIST: the list file is complete
inline constexpr int kWorkerNoticeFailed = -1;    // the job failed (count -1)
inline constexpr int kListProgressInterval = 50;  // names between progress notices

// Error texts of the LIST job (besides the connection's own Connect texts).
inline constexpr const char* kListSendErrorText = "ERROR: Socket Send() Error [LIST]";
inline constexpr const char* kListReadErrorText = "ERROR: Socket Read() Error [LIST]";
inline constexpr const char* kListUnknownResponseText = "ERROR: Unknown Server Response";
inline constexpr const char* kListFileErrorText = "Error Creating/Opening GROUP LIST File";
inline constexpr const char* kListAbortedText = "ABORTED BY USER!";

// Texts of starting a worker.
inline constexpr const char* kServerAddressErrorText = "Error Getting Server IP Address.";
inline constexpr const char* kWorkerStartErrorText = "Failed To Create Background Task Thread!";

// The server a worker talks to and how it logs in.
struct ServerLogin {
    uint32_t address = 0;  // host order, first octet in the top byte
    uint16_t port = 119;
    int useLogin = 0;  // 1 = AUTHINFO USER/PASS after the greeting
    std::string user;
    std::string password;
    TlsSettings tls;  // plain text unless set
};

struct WorkerNotice {
    int count = 0;
    int kind = 0;
};
// The (count, kind) of a WM_TASK_DONE message posted by a worker.
WorkerNotice ReadWorkerNotice(const ThreadMessage& message);

// The server text as an address: a dotted address first, else a host look-up.
// False when both fail.
bool ResolveServerAddress(const std::string& server, uint32_t* address);

// The LIST job on the calling thread, with a connection of its own: connects,
// sends LIST, writes each name to `listFile` and closes the connection at every
// end. `progress(count)` is called after every 50th name. Returns the number of
// names written, or -1 with `errorText` set.
int RunListJob(const ServerLogin& server, const std::string& listFile,
               const std::atomic<int>& abortFlag, CTransferStats& stats,
               const std::function<void(int count)>& progress, std::string& errorText);

class CServerTestThread {
  public:
    // Notices go to `notify`; the LIST job counts into `stats`. Both must
    // outlive the worker.
    CServerTestThread(CTransferStats& stats, CThreadMessageQueue& notify);
    // Stops the thread if it still runs.
    ~CServerTestThread();
    CServerTestThread(const CServerTestThread&) = delete;
    CServerTestThread& operator=(const CServerTestThread&) = delete;

    // ---- Fields, set by the owner ----
    void SetServer(const ServerLogin& server);
    void SetListFile(std::string path);
    // The connection the next test job opens; owned by the caller, which may
    // touch it again only after the job's notice.
    void SetTestConnection(CNntpConnection* connection);
    void SetAbort(int value) { abort_ = value; }
    int GetAbort() const { return abort_.load(); }
    // The text of the last failure; read it after a (-1, -1) notice.
    std::string GetErrorText() const;

    // ---- Life ----
    // Starts the thread; false when it cannot be created.
    bool Start();
    bool IsRunning() const { return thread_.joinable(); }
    bool Post(uint32_t message) { return queue_.Post(message); }
    // Posts WM_WORKER_QUIT and waits for the thread to end, without a time-out
    // (a running job ends first). Nothing when the thread is not running.
    void Stop();

  private:
    void Loop();
    void ListJob();
    void TestJob();
    void PostNotice(int count, int kind);

    CTransferStats& stats_;
    CThreadMessageQueue& notify_;
    CThreadMessageQueue queue_;
    std::atomic<int> abort_{0};

    mutable std::mutex mutex_;
    ServerLogin server_;                         // guarded by mutex_
    std::string listFile_;                       // guarded by mutex_
    CNntpConnection* testConnection_ = nullptr;  // guarded by mutex_
    std::string errorText_;                      // guarded by mutex_

    std::thread thread_;
};

// Starting the worker of the server group list: resolves the `Server` setting
// (message box "Error Getting Server IP Address.", stop icon, on failure),
// creates the thread with `Port`, `Auth`, `User`, `Pass`, the TLS settings,
// the resolved address and `listFile` (message box "Failed To Create
// Background Task Thread!", exclamation icon, on failure). Returns the running
// worker, or nullptr with the text shown in *failureText (when given).
std::unique_ptr<CServerTestThread> StartServerWorker(CAppContext& app, CThreadMessageQueue& notify,
                                                     const std::string& listFile,
                                                     std::string* failureText = nullptr);

}  // namespace vexlo
