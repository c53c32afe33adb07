// A running engine for tests: a context over a temporary directory, the main
// controller with test handlers, and a message pump driven by the test thread
// (which is the main thread of the engine).
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "core/app_context.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/main_controller.h"
#include "tasks/task.h"
#include "tasks/task_handlers.h"

namespace vexlo::test {

class CEngineHarness {
  public:
    // `download`, when given, runs the downloads (kTaskDecode).
    CEngineHarness(const std::string& server, uint16_t port, int conn, TaskHandler download = {})
        : context(dir.Path(), box) {
        context.Start();
        context.settings.SetServer(server);
        context.settings.SetPort(port);
        context.settings.SetConn(conn);
        context.settings.SetAffinity(0xff);
        if (download) handlers.Register(kTaskDecode, std::move(download));
    }

    void Open() {
        controller = std::make_unique<CMainController>(context, handlers);
        controller->Open();
    }
    CDownloadQueue& Queue() { return controller->Queue(); }
    CTaskAgent& Agent() { return controller->Agent(); }
    bool Idle() { return Queue().CountWaiting() == 0 && Agent().BusyMask() == 0; }

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
    // Starts processing; pumps until `done` holds.
    bool RunUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
        controller->StartCommand();
        return PumpUntil(done, timeoutMs);
    }

    CTempDir dir;
    CRecordingMessageBox box;
    CAppContext context;
    CTaskHandlers handlers;
    std::unique_ptr<CMainController> controller;  // last: it goes before the context
};

}  // namespace vexlo::test
