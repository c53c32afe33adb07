// The set command: every setting of DATA/_SETUP.INI's Settings section by its
// key, and each bit of Options by its name, shown and changed with the
// settings sheet's rules and refusal texts.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/visible_text.h"
#include "decode/file_utils.h"
#include "frame/settings_rules.h"
#include "frame/task_dialog_rules.h"
#include "groups/group_folder.h"

namespace vexlo::cli {

namespace {

struct OptionBit {
    const char* name;
    uint32_t bit;
};
constexpr OptionBit kOptionBits[] = {
    {"OPT_FULL_ROW_HEADER", OPT_FULL_ROW_HEADER},
    {"OPT_FULL_ROW_GROUP", OPT_FULL_ROW_GROUP},
    {"OPT_FULL_ROW_QUEUE", OPT_FULL_ROW_QUEUE},
    {"OPT_AUTO_REMOVE_DONE", OPT_AUTO_REMOVE_DONE},
    {"OPT_GROUP_SUBFOLDER", OPT_GROUP_SUBFOLDER},
    {"OPT_RENAME_EXISTING", OPT_RENAME_EXISTING},
    {"OPT_AUTO_SAVE_QUEUE", OPT_AUTO_SAVE_QUEUE},
    {"OPT_SCAN_TO_TOP", OPT_SCAN_TO_TOP},
    {"OPT_NO_DOWNLOAD_DIALOG", OPT_NO_DOWNLOAD_DIALOG},
    {"OPT_START_MAXIMIZED", OPT_START_MAXIMIZED},
    {"OPT_LIMIT_SPEED", OPT_LIMIT_SPEED},
    {"OPT_DECODE_YENC", OPT_DECODE_YENC},
};

constexpr int kMaxRetries = 65535;
constexpr int kMaxSpeed = 99;

// A number of digits only, or -1.
int StrictNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoi(text);
}

bool ParseSwitch(const std::string& name, const std::string& text) {
    for (const char* on : {"on", "1", "yes", "true"})
        if (strcasecmp(text.c_str(), on) == 0) return true;
    for (const char* off : {"off", "0", "no", "false"})
        if (strcasecmp(text.c_str(), off) == 0) return false;
    throw CUsageError(name + " takes on or off");
}

std::string ChannelList(uint32_t mask) {
    std::string text;
    for (int channel = 1; channel <= 8; ++channel)
        if (mask & (1u << (channel - 1)))
            text += (text.empty() ? "" : ",") + std::to_string(channel);
    return text;
}

template <int N>
std::string Widths(int (CAppSettings::*get)(int) const, const CAppSettings& s) {
    std::string text;
    for (int i = 0; i < N; ++i) text += (i ? ":" : "") + std::to_string((s.*get)(i));
    return text;
}

template <int N>
void SetWidths(const std::string& name, const std::string& text,
               void (CAppSettings::*set)(int, int), CAppSettings& s) {
    int widths[N];
    if (std::count(text.begin(), text.end(), ':') != N - 1 ||
        ParseIntList(text, ':', N, widths) != N)
        throw CUsageError(name + " takes " + std::to_string(N) + " widths joined by \":\"");
    for (int i = 0; i < N; ++i) (s.*set)(i, widths[i]);
}

// One setting: how `set` shows it and how it stores a value, returning the
// refusal text (nullptr when stored). Shapes of value that no page could
// produce are usage errors.
struct Setting {
    std::string name;
    std::function<std::string(CAppSettings&)> show;
    std::function<const char*(CAppSettings&, const std::string&)> change;
};

std::vector<Setting> AllSettings(const std::string& appDir) {
    auto text = [](const char* name, const std::string& (CAppSettings::*get)() const,
                   bool (CAppSettings::*set)(std::string_view), const char* emptyText) {
        return Setting{
            name, [get](CAppSettings& s) { return (s.*get)(); },
            [=](CAppSettings& s, const std::string& value) -> const char* {
                if (value.empty()) return emptyText;
                if (!(s.*set)(value))
                    throw CUsageError(std::string(name) + ": 1 to 259 characters, no line breaks");
                return nullptr;
            }};
    };
    std::vector<Setting> all = {
        text("Server", &CAppSettings::GetServer, &CAppSettings::SetServer, kServerNotSpecifiedText),
        {"Port", [](CAppSettings& s) { return std::to_string(s.GetPort()); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             if (value.empty()) return kPortNotSpecifiedText;
             return s.SetPort(StrictNumber(value)) ? nullptr : kPortInvalidText;
         }},
        {"Conn", [](CAppSettings& s) { return std::to_string(s.GetConn()); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             if (!s.SetConn(StrictNumber(value))) throw CUsageError("Conn must be 1 to 8");
             // New downloads keep to the channels there are.
             if (!s.SetAffinity(s.GetAffinity())) s.SetAffinity(1);
             return nullptr;
         }},
        {"Retries", [](CAppSettings& s) { return std::to_string(s.GetRetries()); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             const int retries = StrictNumber(value);
             if (retries < 0 || retries > kMaxRetries) return kRetriesInvalidText;
             s.SetRetries(retries);
             return nullptr;
         }},
        {"Auth", [](CAppSettings& s) { return std::string(s.GetAuth() == 1 ? "on" : "off"); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             s.SetAuth(ParseSwitch("Auth", value) ? 1 : 0);
             return nullptr;
         }},
        text("User", &CAppSettings::GetUser, &CAppSettings::SetUser, kUserNotSpecifiedText),
        text("Pass", &CAppSettings::GetPass, &CAppSettings::SetPass, kPasswordNotSpecifiedText),
        {"Affinity", [](CAppSettings& s) { return ChannelList(s.GetAffinity()); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             if (value.empty()) return kNoChannelAffinityText;
             s.SetAffinity(ParseChannels(value, s.GetConn(), "Affinity"));
             return nullptr;
         }},
        {"TLS", [](CAppSettings& s) { return std::to_string(s.GetTls()); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             if (!s.SetTls(StrictNumber(value)))
                 throw CUsageError("TLS must be 0 (none), 1 (NNTPS) or 2 (STARTTLS)");
             return nullptr;
         }},
        {"TlsVerify", [](CAppSettings& s) { return std::string(s.GetTlsVerify() ? "on" : "off"); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             s.SetTlsVerify(ParseSwitch("TlsVerify", value) ? 1 : 0);
             return nullptr;
         }},
        {"TlsCaFile", [](CAppSettings& s) { return s.GetTlsCaFile(); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             const std::string path =
                 value.empty() ? value
                               : std::filesystem::absolute(value).lexically_normal().string();
             if (!path.empty() && !FileExists(path)) return kCaFileNotFoundText;
             if (!s.SetTlsCaFile(path))
                 throw CUsageError("TlsCaFile: at most 259 characters, no line breaks");
             return nullptr;
         }},
    };
    // The password is not shown, only whether there is one.
    all[6].show = [](CAppSettings& s) { return std::string(s.GetPass().empty() ? "" : "(set)"); };
    for (const OptionBit& option : kOptionBits)
        all.push_back({option.name,
                       [bit = option.bit](CAppSettings& s) {
                           return std::string(s.TestOptions(bit) ? "on" : "off");
                       },
                       [option](CAppSettings& s, const std::string& value) -> const char* {
                           s.SetOption(option.bit, ParseSwitch(option.name, value) ? 1 : 0);
                           return nullptr;
                       }});
    std::vector<Setting> rest = {
        {"SaveQueue", [](CAppSettings& s) { return std::to_string(s.GetSaveQueue()); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             return s.SetSaveQueue(StrictNumber(value)) ? nullptr : kIntervalNotSelectedText;
         }},
        {"ChanMaxBPS", [](CAppSettings& s) { return std::to_string(s.GetChanMaxBPS()); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             const int speed = StrictNumber(value);
             if (speed < 1 || speed > kMaxSpeed) return kSpeedInvalidText;
             s.SetChanMaxBPS(speed);
             return nullptr;
         }},
        text("AppTitle", &CAppSettings::GetAppTitle, &CAppSettings::SetAppTitle, nullptr),
        {"SaveDefault", [](CAppSettings& s) { return s.GetSaveDefault(); },
         [appDir](CAppSettings& s, const std::string& value) -> const char* {
             if (value.empty()) {
                 s.SetSaveDefault("");
                 return nullptr;
             }
             std::string folder;
             const std::string path = value.front() == '/' ? value : appDir + value;
             if (const char* refusal = CheckSaveToFolder(path, folder)) return refusal;
             s.SetSaveDefault(folder);
             return nullptr;
         }},
        {"LVCWH", [](CAppSettings& s) { return Widths<4>(&CAppSettings::GetHeaderWidth, s); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             SetWidths<4>("LVCWH", value, &CAppSettings::SetHeaderWidth, s);
             return nullptr;
         }},
        {"LVCWG", [](CAppSettings& s) { return Widths<6>(&CAppSettings::GetGroupWidth, s); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             SetWidths<6>("LVCWG", value, &CAppSettings::SetGroupWidth, s);
             return nullptr;
         }},
        {"LVCWQ", [](CAppSettings& s) { return Widths<8>(&CAppSettings::GetQueueWidth, s); },
         [](CAppSettings& s, const std::string& value) -> const char* {
             SetWidths<8>("LVCWQ", value, &CAppSettings::SetQueueWidth, s);
             return nullptr;
         }},
    };
    // An empty title prefix would leave the stored one as it is.
    rest[2].change = [](CAppSettings& s, const std::string& value) -> const char* {
        if (!s.SetAppTitle(value))
            throw CUsageError("AppTitle: 1 to 259 characters, no line breaks");
        return nullptr;
    };
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

// The setting named `name` (any letter case; option bits also without "OPT_").
const Setting& FindSetting(const std::vector<Setting>& all, const std::string& name) {
    for (const Setting& setting : all)
        if (strcasecmp(setting.name.c_str(), name.c_str()) == 0 ||
            (setting.name.rfind("OPT_", 0) == 0 &&
             strcasecmp(setting.name.c_str() + 4, name.c_str()) == 0))
            return setting;
    throw CUsageError("no setting " + name + " (vexlo-cli set lists them)");
}

// The rules between settings that the Server and Options pages apply, for
// the names a command changed.
const char* CheckTogether(const CAppSettings& s, const std::vector<std::string>& changed) {
    auto any = [&](std::initializer_list<const char*> names) {
        for (const auto& name : changed)
            for (const char* other : names)
                if (name == other) return true;
        return false;
    };
    if (s.GetAuth() == 1 && any({"Auth", "User", "Pass"})) {
        if (s.GetUser().empty()) return kUserNotSpecifiedText;
        if (s.GetPass().empty()) return kPasswordNotSpecifiedText;
    }
    if (s.TestOptions(OPT_AUTO_SAVE_QUEUE) && any({"OPT_AUTO_SAVE_QUEUE", "SaveQueue"}) &&
        SaveQueueIntervalIndex(s.GetSaveQueue()) == 0)
        return kIntervalNotSelectedText;
    if (s.TestOptions(OPT_LIMIT_SPEED) && any({"OPT_LIMIT_SPEED", "ChanMaxBPS"}) &&
        (s.GetChanMaxBPS() < 1 || s.GetChanMaxBPS() > kMaxSpeed))
        return kSpeedInvalidText;
    return nullptr;
}

}  // namespace

int CCliApp::CmdSet(CArgs& args) {
    const std::vector<std::string> words = args.Rest();
    if (words.size() > 1 && words.size() % 2 != 0)
        throw CUsageError("set takes a name, or pairs of name and value");
    const std::vector<Setting> all = AllSettings(context_.AppDir());
    auto print = [&](const Setting& setting, CAppSettings& s) {
        std::printf("%-24s %s\n", setting.name.c_str(), Visible(setting.show(s)).c_str());
    };
    if (words.size() <= 1) {
        if (words.empty())
            for (const Setting& setting : all) print(setting, context_.settings);
        else
            print(FindSetting(all, words[0]), context_.settings);
        return kExitOk;
    }
    // Every value is checked on a copy first: a bad one changes nothing.
    CAppSettings changed = context_.settings;
    std::vector<std::string> names;
    for (size_t i = 0; i < words.size(); i += 2) {
        const Setting& setting = FindSetting(all, words[i]);
        names.push_back(setting.name);
        const char* refusal = setting.change(changed, words[i + 1]);
        if (!refusal) refusal = i + 2 == words.size() ? CheckTogether(changed, names) : nullptr;
        if (refusal) {
            context_.messageBox.Show(refusal, MessageIcon::Stop);
            return kExitUsage;
        }
    }
    if (!Begin(true)) return kExitTaskError;
    context_.settings = changed;
    context_.settings.Save(context_.profile);
    for (const std::string& name : names) print(FindSetting(all, name), context_.settings);
    return kExitOk;
}

}  // namespace vexlo::cli
