#include "nntp/tls_settings.h"

#include "core/app_settings.h"

namespace vexlo {

TlsSettings TlsFromSettings(const CAppSettings& settings, CDebugLog* log) {
    TlsSettings tls;
    tls.mode = settings.GetTls();
    tls.verify = settings.GetTlsVerify() != 0;
    tls.caFile = settings.GetTlsCaFile();
    tls.hostName = settings.GetServer();
    tls.log = log;
    return tls;
}

}  // namespace vexlo
