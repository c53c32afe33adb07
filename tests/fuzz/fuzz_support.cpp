#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/file.h"

namespace vexlo::fuzz {

namespace {
// A temporary application directory, removed when the run ends. In memory
// where there is a tmpfs: the readers' writes and flushes would otherwise
// hold every input up on the disk.
struct CRunDirectory {
    std::string path = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/vexlo-fuzz-XXXXXX"
                                                                 : "/tmp/vexlo-fuzz-XXXXXX";
    CRunDirectory() {
        if (::mkdtemp(path.data()) == nullptr) std::abort();
        path += "/";
        std::filesystem::create_directories(path + "DATA");
    }
    ~CRunDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};
}  // namespace

const std::string& AppDir() {
    static const CRunDirectory dir;
    return dir.path;
}

CAppContext& Context() {
    static CSilentMessageBox box;
    static CAppContext context(AppDir(), box);
    static const bool started = context.Start();
    if (!started) std::abort();
    return context;
}

void WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    CFile file;
    if (!file.Open(path, CFile::Mode::CreateTruncate) || (size > 0 && !file.Write(data, size)))
        std::abort();
}

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

}  // namespace vexlo::fuzz
