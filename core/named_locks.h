// CNamedLocks: the process-wide table of held names (advisory locks).
//
// A name stands for a shared resource: a newsgroup's data files (the group's
// name), every task's resume point ("{TASK-PROGRESS-LOCK}"), the debug log
// ("VX2KLOG"). A name is not owned by a thread: whoever took it releases it,
// and taking a held name fails even from the thread holding it. Names compare
// byte for byte, case-sensitively. Thread-safe: mutex_ is held only for the
// search and insertion or removal, never across a pause.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo {

inline constexpr const char* kTaskProgressLock = "{TASK-PROGRESS-LOCK}";
inline constexpr const char* kDebugLogLock = "VX2KLOG";

class CNamedLocks {
  public:
    // 1 when the name was free and is now held, 0 when it is held already.
    int TryLock(std::string_view name);
    // TryLock up to `attempts` times, 5 ms apart; 1 as soon as one succeeds.
    int LockWithRetries(std::string_view name, int attempts);
    // 1 when the name was held and is now free, 0 when it was not held.
    int Unlock(std::string_view name);
    // Waits without limit for "{TASK-PROGRESS-LOCK}", polling every 55 ms.
    void LockTaskProgress();
    void UnlockTaskProgress();
    bool IsHeld(std::string_view name) const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> held_;  // in the order taken; guarded by mutex_
};

// Holds a name for a scope; the name must have been taken already.
class CNamedLockHolder {
  public:
    CNamedLockHolder(CNamedLocks& locks, std::string name)
        : locks_(locks), name_(std::move(name)) {}
    ~CNamedLockHolder() { locks_.Unlock(name_); }
    CNamedLockHolder(const CNamedLockHolder&) = delete;
    CNamedLockHolder& operator=(const CNamedLockHolder&) = delete;

  private:
    CNamedLocks& locks_;
    std::string name_;
};

// Takes a name once, without waiting, and gives it back at the end of the
// scope when it was taken.
class CScopedTryLock {
  public:
    CScopedTryLock(CNamedLocks& locks, std::string name)
        : locks_(locks), name_(std::move(name)), held_(locks_.TryLock(name_) == 1) {}
    ~CScopedTryLock() {
        if (held_) locks_.Unlock(name_);
    }
    CScopedTryLock(const CScopedTryLock&) = delete;
    CScopedTryLock& operator=(const CScopedTryLock&) = delete;
    bool Held() const { return held_; }

  private:
    CNamedLocks& locks_;
    std::string name_;
    bool held_;
};

// Holds the task progress lock for a scope.
class CTaskProgressGuard {
  public:
    explicit CTaskProgressGuard(CNamedLocks& locks) : locks_(locks) { locks_.LockTaskProgress(); }
    ~CTaskProgressGuard() { locks_.UnlockTaskProgress(); }
    CTaskProgressGuard(const CTaskProgressGuard&) = delete;
    CTaskProgressGuard& operator=(const CTaskProgressGuard&) = delete;

  private:
    CNamedLocks& locks_;
};

}  // namespace vexlo
