#include "frame/settings_rules.h"

#include "core/app_settings.h"
#include "core/number_readers.h"
#include "decode/file_utils.h"

namespace vexlo {

namespace {

constexpr size_t kMaxRetriesText = 31;  // the retries text is read up to here
constexpr int kMaxPort = 65535;
constexpr int kMaxRetries = 65535;
constexpr int kMaxSpeed = 99;
constexpr size_t kMaxSpeedText = 3;

int OptionBox(const CAppSettings& settings, uint32_t bit) {
    return settings.TestOptions(bit) != 0;
}

void SetBox(CAppSettings& settings, uint32_t bit, bool ticked) {
    settings.SetOption(bit, ticked ? 1 : 0);
}

}  // namespace

ServerPageValues ServerPageFromSettings(const CAppSettings& settings) {
    ServerPageValues values;
    values.server = settings.GetServer();
    values.port = std::to_string(settings.GetPort());
    values.user = settings.GetUser();
    values.password = settings.GetPass();
    values.confirm = settings.GetPass();
    const int conn = settings.GetConn();
    values.connections = conn >= 1 && conn <= kMaxConnections ? conn - 1 : -1;
    values.login = settings.GetAuth() == 1;
    values.tls = settings.GetTls();
    values.tlsVerify = settings.GetTlsVerify() != 0;
    values.tlsCaFile = settings.GetTlsCaFile();
    return values;
}

namespace {
int DefaultPort(int tls) {
    return tls == kTlsImplicit ? kDefaultNntpsPort : 119;
}
}  // namespace

std::string DefaultPortHint(int tls) {
    return "(Puerto Por defecto = " + std::to_string(DefaultPort(tls)) + ")";
}

std::string PortForEncryption(const std::string& port, int oldTls, int newTls) {
    return port == std::to_string(DefaultPort(oldTls)) ? std::to_string(DefaultPort(newTls)) : port;
}

bool TlsVerifyEnabled(const ServerPageValues& values) {
    return values.tls != kTlsNone;
}

bool TlsCaFileEnabled(const ServerPageValues& values) {
    return values.tls != kTlsNone && values.tlsVerify;
}

TlsSettings TlsFromServerPage(const ServerPageValues& values) {
    TlsSettings tls;
    tls.mode = values.tls;
    tls.verify = values.tlsVerify;
    tls.caFile = values.tlsCaFile;
    tls.hostName = values.server;
    return tls;
}

const char* CheckServerPage(const ServerPageValues& values) {
    if (values.server.empty()) return kServerNotSpecifiedText;
    if (values.port.empty()) return kPortNotSpecifiedText;
    const int port = ReadLenientInt(values.port);
    if (port < 1 || port > kMaxPort) return kPortInvalidText;
    if (values.login) {
        if (values.user.empty()) return kUserNotSpecifiedText;
        if (values.password.empty()) return kPasswordNotSpecifiedText;
        if (values.password != values.confirm) return kPasswordMismatchText;
    }
    if (TlsCaFileEnabled(values) && !values.tlsCaFile.empty() && !FileExists(values.tlsCaFile))
        return kCaFileNotFoundText;
    return nullptr;
}

const char* ApplyServerPage(const ServerPageValues& values, CAppSettings& settings) {
    if (const char* refusal = CheckServerPage(values)) return refusal;
    settings.SetServer(values.server);
    settings.SetPort(ReadLenientInt(values.port));
    if (values.connections >= 0) settings.SetConn(values.connections + 1);
    settings.SetAuth(values.login ? 1 : 0);
    settings.SetUser(values.user);
    settings.SetPass(values.password);
    settings.SetTls(values.tls);
    settings.SetTlsVerify(values.tlsVerify ? 1 : 0);
    settings.SetTlsCaFile(values.tlsCaFile);
    return nullptr;
}

int SaveQueueIntervalIndex(int seconds) {
    for (size_t i = 0; i < kSaveQueueIntervals.size(); ++i)
        if (kSaveQueueIntervals[i].seconds == seconds) return static_cast<int>(i) + 1;
    return 0;
}

std::string SpeedText(int chanMaxBPS) {
    std::string text = std::to_string(chanMaxBPS);
    return text.size() > kMaxSpeedText ? "8" : text;
}

OptionsPageValues OptionsPageFromSettings(const CAppSettings& settings) {
    OptionsPageValues values;
    values.fullRowGroup = OptionBox(settings, OPT_FULL_ROW_GROUP);
    values.fullRowQueue = OptionBox(settings, OPT_FULL_ROW_QUEUE);
    values.fullRowHeader = OptionBox(settings, OPT_FULL_ROW_HEADER);
    values.autoRemoveDone = OptionBox(settings, OPT_AUTO_REMOVE_DONE);
    values.renameExisting = OptionBox(settings, OPT_RENAME_EXISTING);
    values.scanToTop = OptionBox(settings, OPT_SCAN_TO_TOP);
    values.noDownloadDialog = OptionBox(settings, OPT_NO_DOWNLOAD_DIALOG);
    values.autoSaveQueue = OptionBox(settings, OPT_AUTO_SAVE_QUEUE);
    values.limitSpeed = OptionBox(settings, OPT_LIMIT_SPEED);
    values.decodeYenc = OptionBox(settings, OPT_DECODE_YENC);
    values.interval = SaveQueueIntervalIndex(settings.GetSaveQueue());
    values.retries = std::to_string(settings.GetRetries());
    values.speed = SpeedText(settings.GetChanMaxBPS());
    values.appTitle = settings.GetAppTitle();
    return values;
}

const char* ApplyOptionsPage(const OptionsPageValues& values, CAppSettings& settings) {
    SetBox(settings, OPT_FULL_ROW_HEADER, values.fullRowHeader);
    SetBox(settings, OPT_FULL_ROW_GROUP, values.fullRowGroup);
    SetBox(settings, OPT_FULL_ROW_QUEUE, values.fullRowQueue);

    SetBox(settings, OPT_AUTO_REMOVE_DONE, values.autoRemoveDone);
    SetBox(settings, OPT_AUTO_SAVE_QUEUE, values.autoSaveQueue);
    SetBox(settings, OPT_SCAN_TO_TOP, values.scanToTop);
    SetBox(settings, OPT_NO_DOWNLOAD_DIALOG, values.noDownloadDialog);

    const int intervals = static_cast<int>(kSaveQueueIntervals.size());
    if (values.interval >= 1 && values.interval <= intervals) {
        settings.SetSaveQueue(
            kSaveQueueIntervals[static_cast<size_t>(values.interval - 1)].seconds);
    } else if (values.autoSaveQueue) {
        return kIntervalNotSelectedText;
    }

    const int retries = ReadLenientInt(std::string_view(values.retries).substr(0, kMaxRetriesText));
    if (retries < 0 || retries > kMaxRetries) return kRetriesInvalidText;
    settings.SetRetries(retries);

    SetBox(settings, OPT_RENAME_EXISTING, values.renameExisting);
    SetBox(settings, OPT_LIMIT_SPEED, values.limitSpeed);

    const int speed = ReadLenientInt(values.speed);
    if (speed >= 1 && speed <= kMaxSpeed) {
        settings.SetChanMaxBPS(speed);
    } else if (values.limitSpeed) {
        return kSpeedInvalidText;
    }

    SetBox(settings, OPT_DECODE_YENC, values.decodeYenc);

    if (!values.appTitle.empty() && values.appTitle.size() <= kMaxTextLength)
        settings.SetAppTitle(values.appTitle);
    return nullptr;
}

}  // namespace vexlo
