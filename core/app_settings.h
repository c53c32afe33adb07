// CAppSettings: every program setting, held in memory and stored in the
// section "Settings" of DATA/_SETUP.INI.
//
// Loaded once at start, changed on the main thread by the settings pages and
// dialogs, saved whole when the settings sheet closes and at exit. Channel
// threads read it while running (server values, retries, options); it is only
// written while no channel runs a task that reads the written value, so it has
// no lock, as the texts are read before a task starts. Text fields hold at
// most 259 characters.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vexlo {

class CProfileStore;

// Bits of the Options setting.
enum : uint32_t {
    OPT_FULL_ROW_HEADER = 4,
    OPT_FULL_ROW_GROUP = 8,
    OPT_FULL_ROW_QUEUE = 16,
    OPT_AUTO_REMOVE_DONE = 32,
    OPT_GROUP_SUBFOLDER = 64,
    OPT_RENAME_EXISTING = 128,
    OPT_AUTO_SAVE_QUEUE = 256,
    OPT_SCAN_TO_TOP = 512,
    OPT_NO_DOWNLOAD_DIALOG = 1024,
    OPT_START_MAXIMIZED = 2048,
    OPT_LIMIT_SPEED = 4096,
    // Bodies that hold a yEnc block (and no uuencoded begin line before it)
    // are decoded; off, they end with "No Binary Attachment Found".
    OPT_DECODE_YENC = 8192,
};

inline constexpr size_t kMaxTextLength = 259;  // fixed 260-byte text fields
inline constexpr const char* kSettingsSection = "Settings";

// The auto-save intervals that can be chosen, with their list texts.
struct SaveQueueInterval {
    const char* text;
    int seconds;
};
inline constexpr std::array<SaveQueueInterval, 6> kSaveQueueIntervals = {{
    {"Every 15 Sec", 15},
    {"Every 30 Sec", 30},
    {"Every 1 Min", 60},
    {"Every 5 Min", 300},
    {"Every 10 Min", 600},
    {"Every 15 Min", 900},
}};

// Reads up to n integers separated by `separator` into out (see the list
// rules: a value after a separator must start with a digit or "-", else the
// whole list is rejected with 0). Returns the number of values read.
int ParseIntList(std::string_view text, char separator, int n, int* out);

class CAppSettings {
  public:
    static constexpr int kHeaderColumns = 4, kGroupColumns = 6, kQueueColumns = 8;
    static constexpr int kMinWidth = 8, kMaxWidth = 1280;

    CAppSettings();

    // Reads section Settings; numbers are taken as stored, except a Conn
    // outside 1..8, which is repaired to 1 with Affinity 1, and a TLS outside
    // 0..2, which reads as 0.
    bool Load(const CProfileStore& profile);
    bool Save(CProfileStore& profile) const;

    const std::string& GetServer() const { return server_; }
    bool SetServer(std::string_view text) { return SetNonEmptyText(server_, text); }
    const std::string& GetUser() const { return user_; }
    bool SetUser(std::string_view text) { return SetNonEmptyText(user_, text); }
    const std::string& GetPass() const { return pass_; }
    bool SetPass(std::string_view text) { return SetNonEmptyText(pass_, text); }
    const std::string& GetAppTitle() const { return appTitle_; }
    bool SetAppTitle(std::string_view text) { return SetNonEmptyText(appTitle_, text); }

    int GetPort() const { return port_; }
    bool SetPort(int port);
    int GetConn() const { return conn_; }
    bool SetConn(int conn);
    int GetRetries() const { return retries_; }
    bool SetRetries(int retries);
    int GetAuth() const { return auth_; }
    void SetAuth(int auth) { auth_ = auth; }

    // (1 << conn) - 1 for conn 1..8; any other conn is repaired to 1 (with affinity 1).
    uint32_t GetChannelMask();
    uint32_t GetAffinity() const { return affinity_; }
    bool SetAffinity(uint32_t mask);

    uint32_t TestOptions(uint32_t bits) const { return options_ & bits; }
    void SetOption(uint32_t bit, int state);
    uint32_t GetOptions() const { return options_; }

    int GetSaveQueue() const { return saveQueue_; }
    bool SetSaveQueue(int seconds);

    // Empties the stored path when it no longer names a directory.
    std::string GetSaveDefault();
    void SetSaveDefault(std::string_view text);

    int GetChanMaxBPS() const { return chanMaxBPS_; }
    void SetChanMaxBPS(int value) { chanMaxBPS_ = value; }

    // Encryption of the server connections (nntp/tls_settings.h): TLS 0 plain,
    // 1 NNTPS, 2 STARTTLS; TlsVerify 1 checks the certificate, 0 accepts any;
    // TlsCaFile an extra trusted certificate file, may be empty. The keys are
    // written only once they differ from these defaults (or stand in the file),
    // so a profile that never used them keeps its keys as they were.
    int GetTls() const { return tls_; }
    bool SetTls(int mode);  // 0..2, else false
    int GetTlsVerify() const { return tlsVerify_; }
    void SetTlsVerify(int verify) { tlsVerify_ = verify != 0 ? 1 : 0; }
    const std::string& GetTlsCaFile() const { return tlsCaFile_; }
    bool SetTlsCaFile(std::string_view path);  // at most 259 characters, no line breaks

    int GetHeaderWidth(int index) const { return GetWidth(headerWidths_, index); }
    void SetHeaderWidth(int index, int width) { SetWidth(headerWidths_, index, width); }
    int GetGroupWidth(int index) const { return GetWidth(groupWidths_, index); }
    void SetGroupWidth(int index, int width) { SetWidth(groupWidths_, index, width); }
    int GetQueueWidth(int index) const { return GetWidth(queueWidths_, index); }
    void SetQueueWidth(int index, int width) { SetWidth(queueWidths_, index, width); }

  private:
    static bool SetNonEmptyText(std::string& field, std::string_view text);
    // Defined here: the inline accessors above use them from every caller.
    template <size_t N>
    static int GetWidth(const std::array<int, N>& widths, int index) {
        return index >= 0 && static_cast<size_t>(index) < N ? widths[static_cast<size_t>(index)]
                                                            : 0;
    }
    template <size_t N>
    static void SetWidth(std::array<int, N>& widths, int index, int width) {
        if (index < 0 || static_cast<size_t>(index) >= N) return;
        widths[static_cast<size_t>(index)] = width < kMinWidth   ? kMinWidth
                                             : width > kMaxWidth ? kMaxWidth
                                                                 : width;
    }
    template <size_t N>
    static void LoadWidths(const CProfileStore& profile, const char* key, const char* defaultText,
                           std::array<int, N>& widths);
    template <size_t N>
    static std::string FormatWidths(const std::array<int, N>& widths);

    std::string server_;
    int port_ = 119;
    int retries_ = 99;
    int auth_ = 0;
    std::string user_;
    std::string pass_;
    int conn_ = 1;
    uint32_t affinity_ = 1;
    uint32_t options_ = 0;
    int saveQueue_ = 0;
    int chanMaxBPS_ = 0;
    std::string appTitle_;
    std::string saveDefault_;
    int tls_ = 0;
    int tlsVerify_ = 1;
    std::string tlsCaFile_;
    std::array<int, kHeaderColumns> headerWidths_{};
    std::array<int, kGroupColumns> groupWidths_{};
    std::array<int, kQueueColumns> queueWidths_{};
};

}  // namespace vexlo
