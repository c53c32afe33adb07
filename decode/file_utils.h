// File and directory utilities used around output and data files.
//
// Paths use "/" as separator; the first level of an absolute path is "/".
// Stateless; safe on any thread.
#pragma once

#include <string>
#include <string_view>

namespace vexlo {

// True when the file exists and can be opened for reading (a directory is not a file).
bool FileExists(const std::string& path);
// True when the path names a directory whose entries can be listed. "" is false.
bool DirectoryExists(const std::string& path);
// want = true: appends "/" when missing ("" becomes "/"); false: removes one trailing "/".
void SetTrailingBackslash(bool want, std::string& path);
int CountChar(std::string_view text, char ch);
// Zero-based index of the n-th occurrence of ch; -1 when n < 1 or there are fewer.
int FindNthChar(std::string_view text, char ch, int n);
// Levels of the path with a trailing "/" ensured: its number of "/" (-1 when none).
int CountPathLevels(std::string path);
// The leading part of the path up to and including the "/" that closes `level`
// ("/a/b" level 1 is "/", level 2 is "/a/"). False when the path has too few levels.
bool GetPathLevel(std::string path, int level, std::string& out);
// Creates every missing level of the path; true when the directory exists at the end.
bool CreateDirectoryPath(const std::string& path);

}  // namespace vexlo
