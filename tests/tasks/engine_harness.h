// A running engine for tests: a context over a temporary directory, the main
// controller with test handlers, and a message pump driven by the test thread
// (which is the main thread of the engine).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "core/app_context.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/main_controller.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"

namespace vexlo::test {

class CEngineHarness {
  public:
    CEngineHarness(const std::string& server, uint16_t port, int conn) : context(dir.Path(), box) {
        context.Start();
        context.settings.SetServer(server);
        context.settings.SetPort(port);
        context.settings.SetConn(conn);
        context.settings.SetAffinity(0xff);
    }

    void Open() {
        controller = std::make_unique<CMainController>(context, handlers);
        controller->Open();
    }
    CDownloadQueue& Queue() { return controller->Queue(); }
    CTaskAgent& Agent() { return controller->Agent(); }

    // Adds a task of `type` with `affinity` and `subject`; returns its row's task.
    CTask* Add(uint32_t type, uint32_t affinity, const std::string& subject) {
        CTask task(&context.settings);
        task.SetType(type);
        task.SetAffinity(affinity);
        task.SetSubject(subject);
        task.SetGroupName("alt.binaries.test");
        controller->QueueTask(task, false);
        return Queue().Row(Queue().Count() - 1).task.get();
    }

    // Pumps channel messages until `done` holds; false after `timeoutMs`.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            controller->ProcessMessages(20);
        }
        return true;
    }

    CTempDir dir;
    CRecordingMessageBox box;
    CAppContext context;
    CTaskHandlers handlers;
    std::unique_ptr<CMainController> controller;  // last: it goes before the context
};

// A gate that handlers wait at until the test opens it (or the channel aborts).
class CGate {
  public:
    // Waits until opened; false when the abort flag ended the wait.
    bool Wait(const std::atomic<uint32_t>& abort) {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        while (!open_ && abort.load() == 0) changed_.wait_for(lock, std::chrono::milliseconds(10));
        --waiting_;
        return open_;
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until `n` handlers stand at the gate.
    bool WaitForWaiting(int n, int timeoutMs = 15000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return waiting_ >= n; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int waiting_ = 0;
};

}  // namespace vexlo::test
