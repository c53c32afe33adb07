// The profile store: one plain INI file read and written key by key.
//
// Semantics follow the Windows profile functions: section and key names match
// case-insensitively; values are trimmed of surrounding blanks (and of one pair
// of surrounding double quotes); writing one key keeps every other section,
// key, comment and line of the file. A value that would not read back as
// written (enclosing blanks or quotes) is written inside a pair of quotes. Each
// write replaces the whole file atomically (temporary file, flush, rename), so a
// crash never leaves half a file. An unreadable file, or one holding NUL bytes
// (garbled, not text), reads as empty and is replaced whole by the next write.
// Thread-safe: guarded by mutex_.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo {

class CProfileStore {
  public:
    // Reads `path` when it exists; a missing file is an empty profile.
    explicit CProfileStore(std::string path);

    const std::string& Path() const { return path_; }

    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const;
    // The value read as a decimal integer (leading blanks, optional sign,
    // digits up to the first non-digit); `defaultValue` when the key is missing.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;

    // Sets one key and rewrites the file; false when the file could not be written
    // (the value is kept in memory all the same). A value holding a line break or
    // a NUL is refused: false, and nothing changes.
    bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteProfileInt(std::string_view section, std::string_view key, int value);

    // Between BeginBatch and the matching EndBatch, writes change memory only;
    // EndBatch writes the file once (false when that failed).
    void BeginBatch();
    bool EndBatch();

    // Every key=value of a section, in file order (for tests and diagnostics).
    std::vector<std::pair<std::string, std::string>> Section(std::string_view section) const;

  private:
    bool Save();  // requires mutex_ held
    // Index of the line "[section]", or -1.
    int FindSection(std::string_view section) const;  // requires mutex_ held
    // Index of the key's line inside the section that starts at sectionLine, or -1.
    int FindKey(int sectionLine, std::string_view key) const;  // requires mutex_ held

    const std::string path_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;  // the file's lines without line ends; guarded by mutex_
    int batchDepth_ = 0;              // guarded by mutex_
    bool dirty_ = false;              // a batched write is not on disk yet; guarded by mutex_
};

// Batches the profile writes of a scope into one file write.
class CProfileBatch {
  public:
    explicit CProfileBatch(CProfileStore& profile) : profile_(profile) { profile_.BeginBatch(); }
    ~CProfileBatch() { profile_.EndBatch(); }
    CProfileBatch(const CProfileBatch&) = delete;
    CProfileBatch& operator=(const CProfileBatch&) = delete;

  private:
    CProfileStore& profile_;
};

}  // namespace vexlo
