#include "core/app_context.h"

#include "core/app_dirs.h"

namespace vexlo {

CAppContext::CAppContext(std::string appDir, IMessageBox& box, CTransferStats::Clock clock)
    : messageBox(box),
      profile(GetProfilePath(appDir)),
      log(locks),
      stats(std::move(clock)),
      appDir_(std::move(appDir)) {}

bool CAppContext::Start() {
    if (!CreateAppDirectories(appDir_, messageBox)) {
        messageBox.Show(kCreateDirsHaltText, MessageIcon::Stop);
        return false;
    }
    log.OpenLog(GetDebugLogPath(appDir_));
    settings.Load(profile);
    stats.LoadHistory(profile);
    return true;
}

void CAppContext::Finish() {
    stats.SaveHistory(profile);
    settings.Save(profile);
    log.CloseLog();
}

}  // namespace vexlo
