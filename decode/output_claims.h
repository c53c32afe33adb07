// COutputClaims: the output files that unfinished downloads will write again.
//
// A download task that has opened its output file claims the file's path until
// it completes, gives the file up (restart, deletion) or leaves the queue; the
// queue's load claims the files of the unfinished tasks it reads back. Another
// task never opens a claimed path: it names its file as if renaming were on,
// whatever the option says, so a task that resumes later finds its own bytes
// and nobody else's.
//
// Thread-safe: channels claim and release while the main thread loads and
// removes tasks; one mutex, held only for the map's own short operations.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace vexlo {

class COutputClaims {
  public:
    // `task` (a task's Key) claims `path` unless another task does; a task
    // claims one path at a time (a new claim replaces its old one). False
    // when another task claims the path.
    bool TryClaim(uint32_t task, const std::string& path);
    // The task gives its path up (nothing when it claims none).
    void Release(uint32_t task);
    // True when a task other than `task` claims `path`.
    bool ClaimedByOther(const std::string& path, uint32_t task) const;

  private:
    mutable std::mutex mutex_;
    std::map<uint32_t, std::string> paths_;  // task key -> claimed path; guarded by mutex_
};

}  // namespace vexlo
