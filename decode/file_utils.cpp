#include "decode/file_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexlo {

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    // O_NONBLOCK: a named pipe must not hold the caller up.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool regular = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return regular;
}

bool DirectoryExists(const std::string& path) {
    if (path.empty()) return false;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return false;
    ::closedir(dir);
    return true;
}

void SetTrailingBackslash(bool want, std::string& path) {
    bool has = !path.empty() && path.back() == '/';
    if (want && !has) path += '/';
    if (!want && has) path.pop_back();
}

int CountChar(std::string_view text, char ch) {
    int n = 0;
    for (char c : text) n += c == ch;
    return n;
}

int FindNthChar(std::string_view text, char ch, int n) {
    if (n < 1) return -1;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ch && --n == 0) return static_cast<int>(i);
    }
    return -1;
}

int CountPathLevels(std::string path) {
    SetTrailingBackslash(true, path);
    int n = CountChar(path, '/');
    return n > 0 ? n : -1;
}

bool GetPathLevel(std::string path, int level, std::string& out) {
    if (level < 1) return false;
    SetTrailingBackslash(true, path);
    int index = FindNthChar(path, '/', level);
    if (index < 0) return false;
    out = path.substr(0, static_cast<size_t>(index) + 1);
    return true;
}

bool CreateDirectoryPath(const std::string& path) {
    if (DirectoryExists(path)) return true;
    int levels = CountPathLevels(path);
    for (int level = 1; level <= levels; ++level) {
        std::string part;
        if (!GetPathLevel(path, level, part)) return false;
        if (DirectoryExists(part)) continue;
        // EEXIST alone is no success: a file of that name may stand in the way.
        if (::mkdir(part.c_str(), 0755) != 0 && !DirectoryExists(part)) return false;
    }
    return true;
}

}  // namespace vexlo
