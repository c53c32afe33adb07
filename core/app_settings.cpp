#include "core/app_settings.h"

#include <strings.h>

#include "core/number_readers.h"
#include "decode/file_utils.h"
#include "platform/profile_store.h"

namespace vexlo {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

int ParseIntList(std::string_view text, char separator, int n, int* out) {
    if (text.empty() || n < 1) return 0;
    if (!IsDigit(text[0]) && text[0] != '-') return 0;
    int count = 0;
    out[count++] = ReadLenientInt(text);
    if (text.size() == 1) return count;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i - 1] != separator) continue;
        if (!IsDigit(text[i]) && text[i] != '-') return 0;
        if (count == n) return n;
        out[count++] = ReadLenientInt(text.substr(i));
    }
    return count;
}

CAppSettings::CAppSettings() = default;

namespace {
// A line break in a setting would reach the server inside a command line
// (AUTHINFO) and cannot be stored in the profile.
bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}
}  // namespace

bool CAppSettings::SetNonEmptyText(std::string& field, std::string_view text) {
    if (text.empty() || text.size() > kMaxTextLength || HasLineBreak(text)) return false;
    field = text;
    return true;
}

bool CAppSettings::SetPort(int port) {
    if (port < 1 || port > 65535) return false;
    port_ = port;
    return true;
}

bool CAppSettings::SetConn(int conn) {
    if (conn < 1 || conn > 8) return false;
    conn_ = conn;
    return true;
}

bool CAppSettings::SetRetries(int retries) {
    if (retries < 0 || retries > 65535) return false;
    retries_ = retries;
    return true;
}

uint32_t CAppSettings::GetChannelMask() {
    if (conn_ < 1 || conn_ > 8) {
        conn_ = 1;
        affinity_ = 1;
        return 1;
    }
    return (1u << conn_) - 1;
}

bool CAppSettings::SetAffinity(uint32_t mask) {
    uint32_t m = mask & GetChannelMask();
    if (m == 0) return false;
    affinity_ = m;
    return true;
}

void CAppSettings::SetOption(uint32_t bit, int state) {
    if (state == 1)
        options_ |= bit;
    else
        options_ &= ~bit;
}

bool CAppSettings::SetSaveQueue(int seconds) {
    for (const auto& interval : kSaveQueueIntervals) {
        if (interval.seconds == seconds) {
            saveQueue_ = seconds;
            return true;
        }
    }
    return false;
}

std::string CAppSettings::GetSaveDefault() {
    if (!saveDefault_.empty() && !DirectoryExists(saveDefault_)) saveDefault_.clear();
    return saveDefault_;
}

void CAppSettings::SetSaveDefault(std::string_view text) {
    if (text.size() <= kMaxTextLength && !HasLineBreak(text)) saveDefault_ = text;
}

bool CAppSettings::SetTls(int mode) {
    if (mode < 0 || mode > 2) return false;
    tls_ = mode;
    return true;
}

bool CAppSettings::SetTlsCaFile(std::string_view path) {
    if (path.size() > kMaxTextLength || HasLineBreak(path)) return false;
    tlsCaFile_ = path;
    return true;
}

template <size_t N>
void CAppSettings::LoadWidths(const CProfileStore& profile, const char* key,
                              const char* defaultText, std::array<int, N>& widths) {
    std::string text = profile.GetProfileString(kSettingsSection, key, defaultText);
    int values[N];
    if (ParseIntList(text, ':', static_cast<int>(N), values) == static_cast<int>(N)) {
        for (size_t i = 0; i < N; ++i) SetWidth(widths, static_cast<int>(i), values[i]);
    } else {
        widths.fill(32);
    }
}

template <size_t N>
std::string CAppSettings::FormatWidths(const std::array<int, N>& widths) {
    std::string text;
    for (size_t i = 0; i < N; ++i) {
        if (i > 0) text += ':';
        text += std::to_string(widths[i]);
    }
    return text;
}

namespace {
// Stored texts longer than a field holds are cut to the field.
std::string ReadText(const CProfileStore& profile, const char* key) {
    std::string text = profile.GetProfileString(kSettingsSection, key, "");
    if (text.size() > kMaxTextLength) text.resize(kMaxTextLength);
    return text;
}

bool HasKey(const CProfileStore& profile, std::string_view key) {
    for (const auto& [name, value] : profile.Section(kSettingsSection))
        if (name.size() == key.size() && strncasecmp(name.c_str(), key.data(), key.size()) == 0)
            return true;
    return false;
}
}  // namespace

bool CAppSettings::Load(const CProfileStore& profile) {
    const char* s = kSettingsSection;
    server_ = ReadText(profile, "Server");
    port_ = profile.GetProfileInt(s, "Port", 119);
    conn_ = profile.GetProfileInt(s, "Conn", 1);
    retries_ = profile.GetProfileInt(s, "Retries", 99);
    auth_ = profile.GetProfileInt(s, "Auth", 0);
    user_ = ReadText(profile, "User");
    pass_ = ReadText(profile, "Pass");
    affinity_ = static_cast<uint32_t>(profile.GetProfileInt(s, "Affinity", 1));
    options_ = static_cast<uint32_t>(profile.GetProfileInt(s, "Options", 0));
    saveQueue_ = profile.GetProfileInt(s, "SaveQueue", 0);
    saveDefault_ = ReadText(profile, "SaveDefault");
    chanMaxBPS_ = profile.GetProfileInt(s, "ChanMaxBPS", 0);
    std::string title = profile.GetProfileString(s, "AppTitle", "");
    appTitle_ = title.size() < 260 ? title : std::string();
    LoadWidths(profile, "LVCWH", "512:39:52:162", headerWidths_);
    LoadWidths(profile, "LVCWG", "230:38:38:44:153:322", groupWidths_);
    LoadWidths(profile, "LVCWQ", "56:80:64:75:38:552:184:308", queueWidths_);
    // An unknown encryption mode reads as none; TlsVerify is off only at 0.
    if (!SetTls(profile.GetProfileInt(s, "TLS", 0))) tls_ = 0;
    SetTlsVerify(profile.GetProfileInt(s, "TlsVerify", 1));
    tlsCaFile_ = ReadText(profile, "TlsCaFile");
    // The channels are started from Conn: a stored value outside 1..8 would
    // start none, more than eight, or shift the channel mask past 32 bits.
    // It is repaired here as the channel mask repairs it (Conn and Affinity 1).
    GetChannelMask();
    return true;
}

bool CAppSettings::Save(CProfileStore& profile) const {
    const char* s = kSettingsSection;
    CProfileBatch batch(profile);
    profile.WriteProfileString(s, "Server", server_);
    profile.WriteProfileInt(s, "Port", port_);
    profile.WriteProfileInt(s, "Conn", conn_);
    profile.WriteProfileInt(s, "Retries", retries_);
    profile.WriteProfileInt(s, "Auth", auth_);
    profile.WriteProfileString(s, "User", user_);
    profile.WriteProfileString(s, "Pass", pass_);
    profile.WriteProfileInt(s, "Affinity", static_cast<int>(affinity_));
    profile.WriteProfileInt(s, "Options", static_cast<int>(options_));
    profile.WriteProfileInt(s, "SaveQueue", saveQueue_);
    profile.WriteProfileString(s, "SaveDefault", saveDefault_);
    profile.WriteProfileInt(s, "ChanMaxBPS", chanMaxBPS_);
    profile.WriteProfileString(s, "AppTitle", appTitle_);
    profile.WriteProfileString(s, "LVCWH", FormatWidths(headerWidths_));
    profile.WriteProfileString(s, "LVCWG", FormatWidths(groupWidths_));
    profile.WriteProfileString(s, "LVCWQ", FormatWidths(queueWidths_));
    const bool tlsStored =
        HasKey(profile, "TLS") || HasKey(profile, "TlsVerify") || HasKey(profile, "TlsCaFile");
    if (tlsStored || tls_ != 0 || tlsVerify_ != 1 || !tlsCaFile_.empty()) {
        profile.WriteProfileInt(s, "TLS", tls_);
        profile.WriteProfileInt(s, "TlsVerify", tlsVerify_);
        profile.WriteProfileString(s, "TlsCaFile", tlsCaFile_);
    }
    return true;
}

}  // namespace vexlo
