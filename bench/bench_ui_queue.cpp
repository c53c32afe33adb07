// The queue bar on a queue of 10,000 download tasks, shown on the offscreen
// platform (unless QT_QPA_PLATFORM names another).
//
// Eight channels are started against a closed local port, so the eight tasks
// the dispatcher hands them stay running (their channels keep trying to
// connect) for as long as the benchmark needs. Each tick publishes a new
// progress report for every running task, then times what the main window's
// one-second timer does for the bar: the queue's progress refresh, the model's
// change notices and the event processing that repaints the bar.
//
// Prints: BENCH ui_queue_refresh_10k_ms (median of 400 ticks, ms),
// BENCH ui_queue_add_10k_ms (queueing the 10,000 tasks with the bar shown),
// BENCH ui_queue_move_to_top_10k_ms (the last row moved to the top, repainted).
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/app_context.h"
#include "support/recording_message_box.h"
#include "support/temp_dir.h"
#include "tasks/main_controller.h"
#include "tasks/task_handlers.h"
#include "ui/queue_bar.h"

using namespace vexlo;

namespace {

constexpr int kTasks = 10'000;
constexpr int kChannels = 8;
constexpr int kTicks = 400;
constexpr uint32_t kParts = 20;
constexpr uint32_t kPartLines = 2000;

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::CTempDir dir;
    test::CRecordingMessageBox box;
    CAppContext context(dir.Path(), box);
    if (!context.Start()) return 1;
    context.settings.SetServer("127.0.0.1");
    context.settings.SetPort(1);
    context.settings.SetConn(kChannels);
    context.settings.SetOption(OPT_AUTO_SAVE_QUEUE, 0);
    CTaskHandlers handlers;
    CMainController controller(context, handlers);
    controller.StartChannels();
    CDownloadQueue& queue = controller.Queue();

    ui::CQueueBar bar(context, queue);
    bar.resize(1200, 320);
    bar.show();
    app.processEvents();

    DownloadParts parts;
    parts.group = "alt.binaries.bench";
    parts.saveDir = dir.Path() + "dl/";
    parts.size = uint64_t{kParts} * kPartLines * 45;
    for (uint32_t p = 0; p < kParts; ++p) {
        parts.articles.push_back(1000 + p);
        parts.lines.push_back(kPartLines);
    }
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTasks; ++i) {
        CTask task(&context.settings);
        parts.subject = "bench file " + std::to_string(i) + ".bin (01/20)";
        MakeDownloadTask(task, parts);
        queue.AddTask(task, false);
    }
    app.processEvents();
    const double addMs = MsSince(start);

    controller.StartCommand();
    app.processEvents();
    std::vector<const CTask*> running;
    for (size_t i = 0; i < queue.Count(); ++i)
        if (queue.Row(i).icon == RowIcon::Running) running.push_back(queue.Row(i).task.get());
    if (running.size() != kChannels) {
        std::fprintf(stderr, "expected %d running tasks, found %zu\n", kChannels, running.size());
        return 1;
    }

    std::vector<double> ticks;
    for (int t = 0; t < kTicks; ++t) {
        // Each channel 50 lines further since the last tick.
        uint32_t line = static_cast<uint32_t>(t + 1) * 50;
        for (const CTask* task : running)
            context.progress.PublishProgress(
                {task->Key(), kProgressTransferring, kProgressKindDownload,
                 1 + (line / kPartLines) % kParts, kParts, line % kPartLines, kPartLines});
        start = std::chrono::steady_clock::now();
        queue.RefreshProgress();
        app.processEvents();
        ticks.push_back(MsSince(start));
    }

    queue.Select(queue.Count() - 1, true);
    app.processEvents();
    start = std::chrono::steady_clock::now();
    queue.MoveToTop();
    app.processEvents();
    const double moveMs = MsSince(start);

    std::printf("BENCH ui_queue_refresh_10k_ms %.3f ms\n", Median(ticks));
    std::printf("BENCH ui_queue_add_10k_ms %.1f ms\n", addMs);
    std::printf("BENCH ui_queue_move_to_top_10k_ms %.1f ms\n", moveMs);
    controller.StopNowCommand();
    return 0;
}
