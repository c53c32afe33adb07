// Working files that cannot be read whole (_GROUPS.DAT, _QUEUE.DAT).
//
// Such a file holds whatever could not be read, and the next save or the queue
// file's rules would overwrite or delete it. Before that, its bytes are kept
// beside it as "<name>.bad" (a copy of an earlier damage is replaced: the
// newest is kept), and the one message about the damage names the copy. A
// command that only reads (FileAccess::kReadOnly) keeps no copy and changes
// no file; it only tells.
//
// Stateless; safe on any thread (the loaders call it on the main thread).
#pragma once

#include <string>

namespace vexlo {

// How a command uses the working files it loads.
enum class FileAccess {
    kOwner,     // may save, replace or delete them (the program, changing commands)
    kReadOnly,  // only reads them (listing commands beside a running program)
};

// Copies the file at `path` to path + ".bad", atomically. Returns the copy's
// path, or "" when no copy could be written (the file must then be left alone).
std::string KeepDamagedCopy(const std::string& path);

// The line added to a damaged file's message: where its copy is.
std::string DamagedCopyNote(const std::string& copyPath);

}  // namespace vexlo
