// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes away.
#pragma once

#include <string>

namespace vexlo::test {

class CTempDir {
  public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    // The directory, with a trailing "/".
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};

// Whole-file helpers for tests.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace vexlo::test
