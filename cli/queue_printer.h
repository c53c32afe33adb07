// Text output of the queue and of live progress for the command line.
#pragma once

#include <cstdio>
#include <string>

namespace vexlo {
class CDownloadQueue;
class CTaskAgent;
class CTransferStats;
class CTask;
}  // namespace vexlo

namespace vexlo::cli {

// The queue as the queue bar shows it: ID, progress or result, size, type,
// channels, subject, group, save-to directory.
void PrintQueue(const CDownloadQueue& queue, FILE* out = stdout);

// Live progress of the channels while the queue runs.
class CProgressPrinter {
  public:
    explicit CProgressPrinter(FILE* out);
    // Redraws the channel lines (in place on a terminal; only changes otherwise),
    // with the number of tasks still waiting to run.
    void Update(const CDownloadQueue& queue, const CTaskAgent& agent, CTransferStats& stats,
                size_t waiting);
    // One line for a task whose run ended.
    void TaskDone(const CTask& task, int channel);
    // Ends the live block so that later output starts on a fresh line.
    void Finish();

  private:
    FILE* out_;
    bool terminal_;
    int drawnLines_ = 0;
    std::string lastBlock_;
};

}  // namespace vexlo::cli
