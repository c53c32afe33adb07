#include "tasks/task_thread.h"

#include <algorithm>

#include "core/app_context.h"
#include "nntp/address.h"
#include "nntp/nntp_connection.h"
#include "nntp/tls_settings.h"
#include "platform/tick.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"
#include "tasks/task_messages.h"

namespace vexlo {

namespace {
// Pauses between connection attempts: a refusing server is not hammered.
constexpr uint32_t kFirstReconnectPauseMs = 250;
constexpr uint32_t kMaxReconnectPauseMs = 10000;
constexpr uint32_t kAbortPollMs = 50;
}  // namespace

CTaskThread::CTaskThread(CAppContext& context, const CTaskHandlers& handlers, int channelIndex,
                         CThreadMessageQueue& notify,
                         std::unique_ptr<CNntpConnection> openConnection)
    : context_(context),
      handlers_(handlers),
      index_(channelIndex),
      notify_(notify),
      connection_(openConnection ? std::move(openConnection)
                                 : std::make_unique<CNntpConnection>()) {}

CTaskThread::~CTaskThread() {
    Stop();
}

bool CTaskThread::Start() {
    try {
        thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CTaskThread::Stop() {
    if (!thread_.joinable()) return;
    abort_ = 1;
    queue_.Post(WM_TASK_QUIT);
    thread_.join();
}

bool CTaskThread::SleepUnlessAborted(uint32_t ms) const {
    uint32_t start = GetTickCount32();
    while (!AbortRequested()) {
        uint32_t elapsed = GetTickCount32() - start;
        if (elapsed >= ms) return true;
        Sleep(std::min(kAbortPollMs, ms - elapsed));
    }
    return false;
}

void CTaskThread::Loop() {
    ThreadMessage message;
    while (queue_.Get(message)) {
        switch (message.message) {
            case WM_TASK_QUIT:
                if (connection_->GetSocket() != CNntpConnection::kInvalidSocket)
                    connection_->Quit();
                return;
            case WM_TASK_RUN:
                RunTask(*reinterpret_cast<CTask*>(message.wParam));
                break;
            case WM_TASK_IDLE:
                if (connection_->GetSocket() != CNntpConnection::kInvalidSocket)
                    connection_->Quit();
                break;
            default:
                break;
        }
    }
}

void CTaskThread::RunTask(CTask& task) {
    task.SetInProgress(1);
    for (int attempt = 0;; ++attempt) {
        if (task.GetResult() == kResultCompleted) break;
        if (attempt > 0 && attempt > context_.settings.GetRetries()) {
            task.SetResult(kResultError);
            task.SetStatusText("RETRY LIMIT EXCEEDED");
            task.SetInProgress(0);
            break;
        }
        bool aborted = false;
        if (!ConnectChannel(task)) {
            aborted = AbortRequested();
        } else {
            handlers_.Run(*this, task);
            aborted = AbortRequested();
        }
        if (aborted) {
            if (task.GetResult() != kResultCompleted) task.SetStatusText("ABORTED!");
            break;
        }
        if (task.GetInProgress() != 1) break;
    }
    notify_.Post(WM_TASK_DONE, reinterpret_cast<uintptr_t>(&task), index_);
}

bool CTaskThread::ConnectChannel(CTask& task) {
    const CAppSettings& settings = context_.settings;
    int auth = settings.GetAuth();
    int port = settings.GetPort();
    std::string server = settings.GetServer();
    std::string user = settings.GetUser();
    std::string pass = settings.GetPass();
    const TlsSettings tls = TlsFromSettings(settings, &context_.log);
    task.SetStatusText("Looking Up IP Address For Hostname");
    if (connection_->GetSocket() != CNntpConnection::kInvalidSocket) return true;
    uint32_t pause = kFirstReconnectPauseMs;
    for (;;) {
        uint32_t address = 0;
        if (!ParseDottedAddress(server, &address) && !LookupHostAddress(server.c_str(), &address)) {
            task.SetStatusText("ERROR: Unable to resolve hostname.");
            task.SetResult(kResultError);
            return false;
        }
        if (AbortRequested()) {
            task.SetStatusText("ABORTED!");
            return false;
        }
        task.SetStatusText("Connecting ...");
        connection_->SetTls(tls);
        connection_->Connect(address, static_cast<uint16_t>(port), auth == 1 ? 1 : 0, user.c_str(),
                             pass.c_str());
        if (connection_->GetSocket() != CNntpConnection::kInvalidSocket) return true;
        // Encryption failures are shown on the task; one that connecting again
        // cannot mend (a refused certificate, no STARTTLS) ends the task.
        if (connection_->IsTlsFailure()) {
            task.SetStatusText(connection_->GetError());
            if (connection_->IsTlsRefused()) {
                task.SetResult(kResultError);
                task.SetInProgress(0);
                return false;
            }
        }
        if (!SleepUnlessAborted(pause)) {
            task.SetStatusText("ABORTED!");
            return false;
        }
        pause = std::min(pause * 2, kMaxReconnectPauseMs);
    }
}

}  // namespace vexlo
