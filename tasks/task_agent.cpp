#include "tasks/task_agent.h"

#include "core/app_context.h"
#include "tasks/task.h"
#include "tasks/task_messages.h"
#include "tasks/task_thread.h"

namespace vexlo {

CTaskAgent::CTaskAgent(CAppContext& context, const CTaskHandlers& handlers)
    : context_(context), handlers_(handlers) {}

CTaskAgent::~CTaskAgent() {
    DestroyChannels();
}

int CTaskAgent::CreateChannels(int count, CThreadMessageQueue& notify,
                               std::unique_ptr<CNntpConnection> openConnection) {
    for (int index = 0; index < count; ++index) {
        auto channel = std::make_unique<CTaskThread>(context_, handlers_, index, notify,
                                                     std::move(openConnection));
        if (!channel->Start()) {
            context_.messageBox.Show("Failed To Create Background Task Thread!",
                                     MessageIcon::Exclamation);
            DestroyChannels();
            return 0;
        }
        channels_.push_back(std::move(channel));
    }
    running_.assign(channels_.size(), nullptr);
    state_ = kStopped;
    busy_ = 0;
    return 1;
}

void CTaskAgent::DestroyChannels() {
    for (auto& channel : channels_) channel->Stop();
    channels_.clear();
    running_.clear();
    state_ = kNoChannels;
    busy_ = 0;
}

int CTaskAgent::StartProcessing() {
    if (state_ != kStopped && state_ != kStopping) return 0;
    state_ = kRunning;
    return 1;
}

int CTaskAgent::StopNow() {
    if (state_ != kRunning && state_ != kStopping) return 0;
    state_ = kStopping;
    if (busy_ == 0) {
        state_ = kStopped;
        return 1;
    }
    for (size_t i = 0; i < channels_.size(); ++i)
        if (busy_ & (1u << i)) channels_[i]->SetAbort(1);
    return 1;
}

int CTaskAgent::StopAfterCurrent() {
    if (state_ != kRunning) return 0;
    state_ = busy_ == 0 ? kStopped : kStopping;
    return 1;
}

uint32_t CTaskAgent::FreeChannels() const {
    if (state_ != kRunning) return 0;
    uint32_t all = channels_.empty() ? 0 : (1u << channels_.size()) - 1;
    return all & ~busy_;
}

int CTaskAgent::ProcessTask(int channel, CTask* task) {
    if (channel < 1 || channel > ChannelCount()) return 0;
    uint32_t bit = 1u << (channel - 1);
    if (busy_ & bit) {
        context_.log.LogPrintf("! FAILED: ProcessTask() Chan=%d : Channel is BUSY : SUBJ = %s\n",
                               channel, task->GetSubject().c_str());
        return 0;
    }
    busy_ |= bit;
    CTaskThread& thread = *channels_[static_cast<size_t>(channel - 1)];
    thread.SetAbort(0);
    task->SetAssigned(1);
    running_[static_cast<size_t>(channel - 1)] = task;
    thread.Post(WM_TASK_RUN, reinterpret_cast<uintptr_t>(task));
    return 1;
}

void CTaskAgent::ChannelDone(int channel, CTask* task) {
    if (channel >= 1 && channel <= 8) busy_ &= ~(1u << (channel - 1));
    if (channel >= 1 && channel <= ChannelCount())
        running_[static_cast<size_t>(channel - 1)] = nullptr;
    task->SetAssigned(0);
    if (state_ == kStopping && busy_ == 0) state_ = kStopped;
}

void CTaskAgent::IdleFreeChannels() {
    for (size_t i = 0; i < channels_.size(); ++i)
        if (!(busy_ & (1u << i))) channels_[i]->Post(WM_TASK_IDLE);
}

}  // namespace vexlo

namespace vexlo {
const CTask* CTaskAgent::RunningTask(int channel) const {
    return channel >= 1 && channel <= ChannelCount() ? running_[static_cast<size_t>(channel - 1)]
                                                     : nullptr;
}
}  // namespace vexlo
