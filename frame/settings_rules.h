// The rules of the settings sheet's Server and Options pages without their
// widgets: what the pages show for the settings, whether what the user typed
// may be stored, and the storing itself.
//
// A page reads its controls into a values struct (texts as typed, list
// selections as indexes) and hands it here; the answer is the refusal text to
// show with the stop icon, or nullptr when the values were stored.
//
// Thread: main thread (the owner of the settings).
#pragma once

#include <string>

#include "nntp/tls_settings.h"

namespace vexlo {

class CAppSettings;

// Refusals of the Server page (also the checks of its Test button).
inline constexpr const char* kServerNotSpecifiedText = "Server Address Not Specified";
inline constexpr const char* kPortNotSpecifiedText = "Server Port Not Specified";
inline constexpr const char* kPortInvalidText =
    "Server Port Invalid.  Valid Numbers Are From 1 to 65535.";
inline constexpr const char* kUserNotSpecifiedText = "Authorization Info: Username Not Specified";
inline constexpr const char* kPasswordNotSpecifiedText =
    "Authorization Info: Password Not Specified";
inline constexpr const char* kPasswordMismatchText =
    "Authorization Info: Password & Confirm Do Not Match";
// The Test button when the server text names no host.
inline constexpr const char* kResolveFailedText =
    "Unable To Resolve Server Name To IP Address.\r\nMake sure you have entered it correctly, "
    "and\r\nyour DNS settings are correct.";

// The encryption's CA file named on the Server page does not exist.
inline constexpr const char* kCaFileNotFoundText = "TLS CA Certificate File Not Found";

// Refusals of the Options page.
inline constexpr const char* kIntervalNotSelectedText = "Auto-Save Queue Interval Not Selected";
inline constexpr const char* kRetriesInvalidText = "Invalid Max Auto-Retry Value";
inline constexpr const char* kSpeedInvalidText =
    "Invalid Max Connection Speed Value\r\nValid range is 1 to 99";

// The first entry of the auto-save interval list; entries 1..6 are
// kSaveQueueIntervals.
inline constexpr const char* kSelectIntervalText = "(SELECT)";
inline constexpr int kMaxConnections = 8;

struct ServerPageValues {
    std::string server;
    std::string port;
    std::string user;
    std::string password;
    std::string confirm;
    int connections = -1;  // list index: Conn - 1; -1 when nothing is selected
    bool login = false;
    int tls = kTlsNone;  // "Cifrado:" list index: the TLS setting
    bool tlsVerify = true;
    std::string tlsCaFile;
};

// The "Cifrado:" list, in the order of the TLS setting.
inline constexpr const char* kTlsModeTexts[] = {"Ninguno", "TLS (NNTPS)", "STARTTLS"};
inline constexpr const char* kTlsVerifyText = "Verificar Certificado";
inline constexpr const char* kTlsCaFileLabel = "Certificado CA:";

// The port hint beside the port box: "(Puerto Por defecto = 119)", or 563
// for NNTPS.
std::string DefaultPortHint(int tls);
// The port box after the encryption changed from `oldTls` to `newTls`: a port
// that is the default of the old choice becomes the default of the new one;
// any other port stays as typed.
std::string PortForEncryption(const std::string& port, int oldTls, int newTls);
// The verification box is offered with encryption on; the CA file box also
// needs verification ticked.
bool TlsVerifyEnabled(const ServerPageValues& values);
bool TlsCaFileEnabled(const ServerPageValues& values);
// The encryption the Test button tries: what is typed, for the typed server.
TlsSettings TlsFromServerPage(const ServerPageValues& values);

// Init: the settings as the page shows them (the password in both boxes; no
// selection when Conn lies outside 1..8).
ServerPageValues ServerPageFromSettings(const CAppSettings& settings);

// The checks of apply and of the Test button, in their order: server, port
// (empty, then outside 1..65535 when read as an integer), with the login box
// ticked user, password and the case-sensitive confirmation, and, when the CA
// file is used (encryption and verification on), that it exists.
const char* CheckServerPage(const ServerPageValues& values);

// Apply: the checks, then server, port, Conn (when a count is selected), Auth,
// user and password are stored (an empty user or password leaves the stored
// one as it was), then TLS, TlsVerify and TlsCaFile (an empty one clears it).
// Nothing is stored when a check refuses.
const char* ApplyServerPage(const ServerPageValues& values, CAppSettings& settings);

struct OptionsPageValues {
    bool fullRowGroup = false;
    bool fullRowQueue = false;
    bool fullRowHeader = false;
    bool autoRemoveDone = false;
    bool renameExisting = false;
    bool scanToTop = false;
    bool noDownloadDialog = false;
    bool autoSaveQueue = false;
    bool limitSpeed = false;
    bool decodeYenc = false;
    int interval = 0;  // 0 "(SELECT)", 1..6 the intervals, -1 nothing selected
    std::string retries;
    std::string speed;
    std::string appTitle;
};

// Init: each box from its option bit, the interval entry of SaveQueue
// ("(SELECT)" for any other value), retries as "%d", the speed as "%d" (or
// "8" when that is longer than three characters), the title prefix.
OptionsPageValues OptionsPageFromSettings(const CAppSettings& settings);

// The list entry of an auto-save interval in seconds: 1..6, or 0 ("(SELECT)").
int SaveQueueIntervalIndex(int seconds);

// The speed box's text for ChanMaxBPS.
std::string SpeedText(int chanMaxBPS);

// Apply, step by step: the full-row bits; the auto-remove, auto-save,
// scan-to-top and no-download-dialog bits; the interval (refused without an
// entry while auto-save is ticked); retries 0..65535; the rename and limit
// bits; the speed 1..99 (refused out of range while the limit box is ticked,
// otherwise left as it was); the yEnc bit; the title prefix when it holds 1 to 259
// characters. A refusal ends the apply; the steps before it stay applied.
const char* ApplyOptionsPage(const OptionsPageValues& values, CAppSettings& settings);

}  // namespace vexlo
