#include "cli/queue_printer.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "cli/visible_text.h"
#include "nntp/transfer_stats.h"
#include "tasks/download_queue.h"
#include "tasks/task.h"
#include "tasks/task_agent.h"

namespace vexlo::cli {

namespace {

const char* IconText(RowIcon icon) {
    switch (icon) {
        case RowIcon::Waiting:
            return "waiting";
        case RowIcon::Running:
            return "running";
        case RowIcon::Completed:
            return "done";
        case RowIcon::Error:
            return "error";
    }
    return "";
}

std::string Rate(uint32_t bytesPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KB/s", bytesPerSecond / 1024.0);
    return text;
}

}  // namespace

void PrintQueue(const CDownloadQueue& queue, FILE* out) {
    if (queue.Count() == 0) {
        std::fprintf(out, "Queue is empty.\n");
        return;
    }
    std::fprintf(out, "%-7s %-8s %-24s %-9s %-11s %-9s %-8s %s\n", "Task ID", "State", "Progress",
                 "Parts", "Size", "Task", "Chan", "Subject Header / Newsgroup / Save-To");
    for (size_t i = 0; i < queue.Count(); ++i) {
        const QueueRow& row = queue.Row(i);
        const CTask& t = *row.task;
        // A queue read from its file has no progress texts yet; the result
        // says what the last run did.
        std::string progress = row.progressText.empty() ? t.ResultText() : row.progressText;
        // Downloads show their resume point: the parts fetched so far.
        std::string parts = "-";
        if (t.GetType() == kTaskDecode || t.GetType() == kTaskGet)
            parts =
                std::to_string(t.GetPartsFetched()) + "/" + std::to_string(t.GetArticles().size());
        std::fprintf(out, "%-7u %-8s %-24s %-9s %-11s %-9s %-8s %s\n", t.GetId(),
                     IconText(row.icon), Visible(progress).c_str(), parts.c_str(),
                     t.SizeText().c_str(), t.TypeName(), t.AffinityText().c_str(),
                     Visible(t.GetSubject()).c_str());
        std::fprintf(out, "%-81s %s  %s\n", "", Visible(t.GetGroupName()).c_str(),
                     Visible(t.GetSaveDir()).c_str());
        std::string status = t.GetStatusText();
        if (!status.empty()) std::fprintf(out, "%-81s [%s]\n", "", Visible(status).c_str());
    }
}

CProgressPrinter::CProgressPrinter(FILE* out) : out_(out), terminal_(::isatty(fileno(out))) {}

void CProgressPrinter::Update(const CDownloadQueue& queue, const CTaskAgent& agent,
                              CTransferStats& stats, size_t waiting) {
    CTransferStats::Ring sent, received;
    stats.GetRateHistory(sent, received);
    uint32_t current = received[1];  // the last whole second
    uint32_t peak = *std::max_element(received.begin() + 1, received.end());
    std::string block;
    for (int channel = 1; channel <= agent.ChannelCount(); ++channel) {
        const CTask* task = agent.RunningTask(channel);
        if (task == nullptr) continue;
        int row = queue.FindRow(task);
        std::string progress = row >= 0 ? queue.Row(static_cast<size_t>(row)).progressText : "";
        if (progress.empty()) progress = task->GetStatusText();
        char head[64];
        std::snprintf(head, sizeof head, "  [chan %d] ", channel);
        std::string text = Visible(progress);
        if (text.size() < 28) text.resize(28, ' ');
        block += head + text + " " + Visible(task->GetSubject()) + "\n";
    }
    block += "  rate " + Rate(current) + " (peak " + Rate(peak) + "), " + std::to_string(waiting) +
             " waiting\n";
    if (terminal_) {
        for (int i = 0; i < drawnLines_; ++i) std::fputs("\x1b[1A\x1b[2K", out_);
        std::fputs(block.c_str(), out_);
        drawnLines_ = static_cast<int>(std::count(block.begin(), block.end(), '\n'));
    } else if (block != lastBlock_) {
        std::fputs(block.c_str(), out_);
    }
    lastBlock_ = block;
    std::fflush(out_);
}

void CProgressPrinter::TaskDone(const CTask& task, int channel) {
    if (terminal_) {
        for (int i = 0; i < drawnLines_; ++i) std::fputs("\x1b[1A\x1b[2K", out_);
        drawnLines_ = 0;
        lastBlock_.clear();
    }
    const char* result = task.ResultText();
    std::fprintf(out_, "Task %u %s on channel %d: %s - %s\n", task.GetId(),
                 result[0] ? result : "STOPPED", channel, Visible(task.GetSubject()).c_str(),
                 Visible(task.GetStatusText()).c_str());
    std::fflush(out_);
}

void CProgressPrinter::Finish() {
    drawnLines_ = 0;
    lastBlock_.clear();
}

}  // namespace vexlo::cli
