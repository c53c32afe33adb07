#include "nntp/server_test.h"

#include <optional>
#include <utility>

#include "core/app_context.h"
#include "nntp/nntp_connection.h"
#include "tasks/task_messages.h"

namespace vexlo {

CServerTest::CServerTest(CAppContext& app) : app_(app) {}

CServerTest::~CServerTest() {
    Close();
}

bool CServerTest::Start(const ServerLogin& server, std::string_view serverText, int connections) {
    worker_ = std::make_unique<CServerTestThread>(app_.stats, notify_);
    worker_->SetServer(server);
    if (!worker_->Start()) {
        worker_.reset();
        app_.messageBox.Show(kWorkerStartErrorText, MessageIcon::Exclamation);
        okEnabled_ = true;
        Changed(-1);
        return false;
    }
    title_ = std::string(serverText) + ", Port " + std::to_string(server.port);
    for (int i = 1; i <= connections; ++i) {
        connections_.push_back(std::make_unique<CNntpConnection>());
        rows_.push_back(ServerTestRow{i, kIconWaiting, false, kTestWaitingText});
    }
    cancelEnabled_ = true;
    if (connections < 1) {
        // Nothing to test: the test is over before it began.
        okEnabled_ = true;
        cancelEnabled_ = false;
        Changed(-1);
        return true;
    }
    StartNextTest();
    return true;
}

void CServerTest::StartNextTest() {
    ++current_;
    if (current_ > static_cast<int>(rows_.size())) return;
    ServerTestRow& row = rows_[static_cast<size_t>(current_ - 1)];
    row.icon = kIconRunning;
    row.result = kTestConnectingText;
    worker_->SetTestConnection(connections_[static_cast<size_t>(current_ - 1)].get());
    worker_->Post(WM_WORKER_CONNECT);
    Changed(current_ - 1);
}

int CServerTest::ProcessMessages(uint32_t timeoutMs) {
    int handled = 0;
    ThreadMessage message;
    if (!notify_.GetFor(message, timeoutMs)) return 0;
    for (;;) {
        if (message.message == WM_TASK_DONE) OnTestDone();
        ++handled;
        std::optional<ThreadMessage> next = notify_.Peek();
        if (!next) break;
        message = *next;
    }
    return handled;
}

void CServerTest::OnTestDone() {
    if (current_ < 1 || current_ > static_cast<int>(rows_.size())) return;
    const size_t index = static_cast<size_t>(current_ - 1);
    const CNntpConnection& connection = *connections_[index];
    ServerTestRow& row = rows_[index];
    row.ok = connection.GetSocket() != CNntpConnection::kInvalidSocket;
    row.icon = row.ok ? kIconCompleted : kIconFailed;
    row.result = std::string(row.ok ? connection.GetBanner() : connection.GetError());
    Changed(current_ - 1);
    if (current_ < static_cast<int>(rows_.size()) && !cancelled_) {
        StartNextTest();
        return;
    }
    okEnabled_ = true;
    if (!cancelled_) {
        cancelEnabled_ = false;
    } else {
        for (size_t i = index + 1; i < rows_.size(); ++i) {
            rows_[i].result = kTestCancelledText;
            Changed(static_cast<int>(i));
        }
    }
    Changed(-1);
}

void CServerTest::Cancel() {
    if (!cancelEnabled_) return;
    cancelled_ = true;
    cancelEnabled_ = false;
    Changed(-1);
}

void CServerTest::Close() {
    if (worker_) {
        worker_->Stop();
        worker_.reset();
    }
    for (std::unique_ptr<CNntpConnection>& connection : connections_) {
        if (connection->GetSocket() != CNntpConnection::kInvalidSocket) connection->Quit();
    }
    connections_.clear();
}

const CNntpConnection* CServerTest::Connection(int row) const {
    if (row < 0 || row >= static_cast<int>(connections_.size())) return nullptr;
    return connections_[static_cast<size_t>(row)].get();
}

std::vector<ServerTestRow> RunServerTest(CAppContext& app, const ServerLogin& server,
                                         std::string_view serverText, int connections,
                                         const std::atomic<bool>* cancel,
                                         const std::function<void(const ServerTestRow&)>& rowDone) {
    constexpr uint32_t kPollMs = 100;
    CServerTest test(app);
    // The cancel flag is also looked at after each report, so a cancel given
    // while a test runs stops the tests after it.
    test.onChange = [&](int row) {
        if (row < 0) return;
        const ServerTestRow& r = test.Rows()[static_cast<size_t>(row)];
        if (r.icon != kIconCompleted && r.icon != kIconFailed && r.result != kTestCancelledText)
            return;
        if (rowDone) rowDone(r);
        if (cancel != nullptr && cancel->load()) test.Cancel();
    };
    test.Start(server, serverText, connections);
    while (!test.IsFinished()) {
        if (cancel != nullptr && cancel->load()) test.Cancel();
        test.ProcessMessages(kPollMs);
    }
    std::vector<ServerTestRow> rows = test.Rows();
    test.Close();
    return rows;
}

}  // namespace vexlo
