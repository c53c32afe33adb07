// CServerTest: the server connection test — n connections opened one after
// another on a server worker and kept open until the test is closed, so the
// rows show whether the server accepts n simultaneous logins.
//
// The test decides; it draws nothing. The GUI's test dialog and the command
// line both drive one: Start, then ProcessMessages until IsFinished, then
// Close. Each row is data: its channel number, its icon (the shared image list:
// 0 waiting, 1 running, 2 completed, 3 failed) and its result text — "-" while
// waiting, "Connecting ..." while running, the server's greeting when the
// connection opened, the connection's error text when it did not, and
// "-CANCELLED-" for rows the user cancelled before they ran.
//
// Thread: owned by the main thread (Start, ProcessMessages, Cancel, Close and
// every reader). The worker touches only the connection of the running row,
// which the test reads again only after the worker's notice for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nntp/server_test_thread.h"
#include "platform/message_queue.h"

namespace vexlo {

class CAppContext;
class CNntpConnection;

inline constexpr const char* kTestWaitingText = "-";
inline constexpr const char* kTestConnectingText = "Connecting ...";
inline constexpr const char* kTestCancelledText = "-CANCELLED-";

// Icons of the shared image list.
enum : int { kIconWaiting = 0, kIconRunning = 1, kIconCompleted = 2, kIconFailed = 3 };

struct ServerTestRow {
    int channel = 0;  // 1 .. n, shown as "%d"
    int icon = kIconWaiting;
    bool ok = false;                        // the connection opened
    std::string result = kTestWaitingText;  // greeting, error text or state text
};

class CServerTest {
  public:
    // Message boxes and statistics are app's.
    explicit CServerTest(CAppContext& app);
    // Closes the test if Close was not called.
    ~CServerTest();
    CServerTest(const CServerTest&) = delete;
    CServerTest& operator=(const CServerTest&) = delete;

    // Called for every row change (row index) and when the test finishes (-1).
    std::function<void(int row)> onChange;

    // Call once. Starts the worker with `server` (the values typed on the server page,
    // resolved) and begins the first of `connections` tests. When the worker
    // cannot be created: "Failed To Create Background Task Thread!"
    // (exclamation icon), no rows, and the test is finished at once (OK closes
    // it); returns false. The dialog offers 1 to 8 connections; a count below 1
    // gives no rows and a finished test, a larger one is tested as given.
    bool Start(const ServerLogin& server, std::string_view serverText, int connections);

    // "%s, Port %d": what is being tested.
    const std::string& Title() const { return title_; }
    const std::vector<ServerTestRow>& Rows() const { return rows_; }

    // Handles the worker's notices, waiting up to `timeoutMs` for the first.
    // Returns the number handled.
    int ProcessMessages(uint32_t timeoutMs);

    // The Cancel button: the running test still reports, the rows after it are
    // cancelled. Cancel is disabled from then on.
    void Cancel();
    bool IsCancelled() const { return cancelled_; }

    // OK is enabled once the last test (or the cancelled one) has reported;
    // Cancel is enabled while tests run and the user has not cancelled.
    bool IsFinished() const { return okEnabled_; }
    bool OkEnabled() const { return okEnabled_; }
    bool CancelEnabled() const { return cancelEnabled_; }
    // The close box acts as OK only while OK is enabled.
    bool CanClose() const { return okEnabled_; }

    // OK: ends the worker (waiting for it without a time limit) and quits every
    // connection.
    void Close();

    // The open connection of a row (for a front end that wants more than the
    // row's text); nullptr before Start.
    const CNntpConnection* Connection(int row) const;

  private:
    void StartNextTest();
    void OnTestDone();
    void Changed(int row) {
        if (onChange) onChange(row);
    }

    CAppContext& app_;
    CThreadMessageQueue notify_;
    std::unique_ptr<CServerTestThread> worker_;
    std::vector<std::unique_ptr<CNntpConnection>> connections_;
    std::vector<ServerTestRow> rows_;
    std::string title_;
    int current_ = 0;  // 1-based index of the connection under test; 0 before the first
    bool cancelled_ = false;
    bool okEnabled_ = false;
    bool cancelEnabled_ = false;
};

// The whole test for a command line: Start, handle notices until finished
// (`cancel` becoming true acts as the Cancel button), Close. `rowDone` is
// called with each row as its test reports. Returns the final rows.
std::vector<ServerTestRow> RunServerTest(CAppContext& app, const ServerLogin& server,
                                         std::string_view serverText, int connections,
                                         const std::atomic<bool>* cancel,
                                         const std::function<void(const ServerTestRow&)>& rowDone);

}  // namespace vexlo
