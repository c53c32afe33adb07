// DATA/_SETUP.INI: the INI store, the settings and statistics read from it,
// and the settings written back and read again.
#include "fuzz_support.h"
#include "platform/profile_store.h"

using namespace vexlo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::AppDir() + "DATA/fuzz.ini";
    fuzz::WriteInput(path, data, size);
    CProfileStore profile(path);
    CAppSettings settings;
    settings.Load(profile);
    CTransferStats stats;
    stats.LoadHistory(profile);
    profile.Section("Settings");
    fuzz::Require(settings.GetConn() >= 1 && settings.GetConn() <= 8, "Conn repaired");

    settings.Save(profile);
    CAppSettings again;
    again.Load(CProfileStore(path));
    fuzz::Require(
        again.GetServer() == settings.GetServer() && again.GetUser() == settings.GetUser() &&
            again.GetPass() == settings.GetPass() &&
            again.GetAppTitle() == settings.GetAppTitle() &&
            again.GetPort() == settings.GetPort() && again.GetOptions() == settings.GetOptions(),
        "settings read back as saved");
    return 0;
}
