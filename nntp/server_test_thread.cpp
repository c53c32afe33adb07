#include "nntp/server_test_thread.h"

#include <system_error>
#include <utility>

#include "core/app_context.h"
#include "core/number_readers.h"
#include "nntp/address.h"
#include "nntp/nntp_connection.h"
#include "nntp/transfer_stats.h"
#include "platform/file.h"
#include "tasks/task_messages.h"

namespace vexlo {

namespace {

constexpr std::string_view kListCommand = "LIST\r\n";
constexpr int kListReplyCode = 215;
// The error text is a 1024-byte field: a server line is kept up to 1023 characters.
constexpr size_t kMaxErrorText = 1023;
// Names are collected and written in blocks of about this size.
constexpr size_t kWriteBlock = 64 * 1024;

// Quits the job's connection at every end of the job, unless a failed read
// already closed it.
class CQuitOnExit {
  public:
    explicit CQuitOnExit(CNntpConnection& connection) : connection_(connection) {}
    ~CQuitOnExit() {
        if (connection_.GetSocket() != CNntpConnection::kInvalidSocket) connection_.Quit();
    }
    CQuitOnExit(const CQuitOnExit&) = delete;
    CQuitOnExit& operator=(const CQuitOnExit&) = delete;

  private:
    CNntpConnection& connection_;
};

// The list file with its names collected in memory and written in blocks.
class CListFileWriter {
  public:
    bool Open(const std::string& path) { return file_.Open(path, CFile::Mode::CreateTruncate); }
    bool Append(std::string_view name) {
        pending_.append(name);
        pending_.append("\r\n");
        return pending_.size() < kWriteBlock || Flush();
    }
    // Writes what is pending and closes; false when a write or the close failed.
    bool Close() {
        bool ok = Flush();
        return file_.Close() && ok;
    }

  private:
    bool Flush() {
        bool ok = file_.Write(pending_.data(), pending_.size());
        pending_.clear();
        return ok;
    }

    CFile file_;
    std::string pending_;
};

int Fail(std::string& errorText, std::string_view text) {
    errorText.assign(text.substr(0, kMaxErrorText));
    return -1;
}

}  // namespace

WorkerNotice ReadWorkerNotice(const ThreadMessage& message) {
    return WorkerNotice{static_cast<int>(static_cast<intptr_t>(message.wParam)),
                        static_cast<int>(message.lParam)};
}

bool ResolveServerAddress(const std::string& server, uint32_t* address) {
    return ParseDottedAddress(server, address) != 0 ||
           LookupHostAddress(server.c_str(), address) != 0;
}

int RunListJob(const ServerLogin& server, const std::string& listFile,
               const std::atomic<int>& abortFlag, CTransferStats& stats,
               const std::function<void(int count)>& progress, std::string& errorText) {
    errorText.clear();
    // The connection holds large fixed buffers: it lives on the heap, not on
    // the worker's stack.
    auto connection = std::make_unique<CNntpConnection>();
    CQuitOnExit quit(*connection);
    connection->SetTls(server.tls);
    if (!connection->Connect(server.address, server.port, server.useLogin, server.user,
                             server.password)) {
        return Fail(errorText, connection->GetError());
    }
    if (!connection->Send(kListCommand)) return Fail(errorText, kListSendErrorText);
    stats.AddBytesSent(static_cast<uint32_t>(kListCommand.size()));

    int length = connection->ReadLine();
    if (length < 1) return Fail(errorText, kListReadErrorText);
    stats.AddBytesReceived(static_cast<uint32_t>(length));
    std::string_view reply = connection->GetLine();
    int code = ReplyCode(reply);
    if (code < 0) return Fail(errorText, kListUnknownResponseText);
    if (code != kListReplyCode) return Fail(errorText, reply);

    CListFileWriter file;
    if (!file.Open(listFile)) return Fail(errorText, kListFileErrorText);
    int count = 0;
    for (;;) {
        if (abortFlag.load() == 1) {
            file.Close();
            return Fail(errorText, kListAbortedText);
        }
        length = connection->ReadLine();
        if (length < 0) {
            file.Close();
            return Fail(errorText, kListReadErrorText);
        }
        stats.AddBytesReceived(static_cast<uint32_t>(length) + 2);
        std::string_view line = connection->GetLine();
        if (line == ".") break;
        // A line is "name high low status"; a line without a blank names nothing.
        size_t blank = line.find(' ');
        if (blank == std::string_view::npos) continue;
        if (!file.Append(line.substr(0, blank))) {
            file.Close();
            return Fail(errorText, kListFileErrorText);
        }
        ++count;
        if (count % kListProgressInterval == 0 && progress) progress(count);
    }
    if (!file.Close()) return Fail(errorText, kListFileErrorText);
    return count;
}

CServerTestThread::CServerTestThread(CTransferStats& stats, CThreadMessageQueue& notify)
    : stats_(stats), notify_(notify) {}

CServerTestThread::~CServerTestThread() {
    Stop();
}

void CServerTestThread::SetServer(const ServerLogin& server) {
    std::lock_guard<std::mutex> lock(mutex_);
    server_ = server;
}

void CServerTestThread::SetListFile(std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    listFile_ = std::move(path);
}

void CServerTestThread::SetTestConnection(CNntpConnection* connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    testConnection_ = connection;
}

std::string CServerTestThread::GetErrorText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errorText_;
}

bool CServerTestThread::Start() {
    if (thread_.joinable()) return true;
    try {
        thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CServerTestThread::Stop() {
    if (!thread_.joinable()) return;
    queue_.Post(WM_WORKER_QUIT);
    thread_.join();
}

void CServerTestThread::PostNotice(int count, int kind) {
    notify_.Post(WM_TASK_DONE, static_cast<uintptr_t>(static_cast<intptr_t>(count)), kind);
}

void CServerTestThread::Loop() {
    ThreadMessage message;
    while (queue_.Get(message)) {
        switch (message.message) {
            case WM_WORKER_QUIT:
                return;
            case WM_WORKER_CONNECT:
                TestJob();
                break;
            case WM_WORKER_LIST:
                ListJob();
                break;
            default:
                break;
        }
    }
}

void CServerTestThread::ListJob() {
    ServerLogin server;
    std::string listFile;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        server = server_;
        listFile = listFile_;
        errorText_.clear();
    }
    std::string errorText;
    int count = RunListJob(
        server, listFile, abort_, stats_,
        [this](int names) { PostNotice(names, kWorkerNoticeProgress); }, errorText);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        errorText_ = std::move(errorText);
    }
    if (count < 0) {
        PostNotice(-1, kWorkerNoticeFailed);
    } else {
        PostNotice(count, kWorkerNoticeComplete);
    }
}

void CServerTestThread::TestJob() {
    ServerLogin server;
    CNntpConnection* connection = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        server = server_;
        connection = testConnection_;
    }
    if (connection != nullptr) {
        connection->SetTls(server.tls);
        connection->Connect(server.address, server.port, server.useLogin, server.user,
                            server.password);
    }
    PostNotice(0, kWorkerNoticeProgress);
}

std::unique_ptr<CServerTestThread> StartServerWorker(CAppContext& app, CThreadMessageQueue& notify,
                                                     const std::string& listFile,
                                                     std::string* failureText) {
    const CAppSettings& settings = app.settings;
    ServerLogin server;
    if (!ResolveServerAddress(settings.GetServer(), &server.address)) {
        app.messageBox.Show(kServerAddressErrorText, MessageIcon::Stop);
        if (failureText != nullptr) *failureText = kServerAddressErrorText;
        return nullptr;
    }
    server.port = static_cast<uint16_t>(settings.GetPort());
    server.useLogin = settings.GetAuth();
    server.user = settings.GetUser();
    server.password = settings.GetPass();
    server.tls = TlsFromSettings(settings, &app.log);

    auto worker = std::make_unique<CServerTestThread>(app.stats, notify);
    worker->SetServer(server);
    worker->SetListFile(listFile);
    if (!worker->Start()) {
        app.messageBox.Show(kWorkerStartErrorText, MessageIcon::Exclamation);
        if (failureText != nullptr) *failureText = kWorkerStartErrorText;
        return nullptr;
    }
    return worker;
}

}  // namespace vexlo
