#include "groups/server_group_file.h"

#include <cerrno>
#include <cstdio>

#include "core/message_box.h"
#include "decode/file_utils.h"
#include "platform/file.h"

namespace vexlo {

bool GroupListLinePasses(std::string_view line, std::string_view filter) {
    return filter.empty() || line.empty() || line.find(filter) != std::string_view::npos;
}

bool ReadServerGroupList(const std::string& path, std::string_view filter,
                         std::vector<std::string>& names) {
    CFile file;
    if (!file.Open(path, CFile::Mode::Read)) return false;
    std::string text;
    char block[64 * 1024];
    for (;;) {
        int64_t n = file.Read(block, sizeof block);
        if (n < 0) return false;  // a directory, or a read error
        if (n == 0) break;
        text.append(block, static_cast<size_t>(n));
    }

    std::vector<std::string> read;
    std::string_view rest = text;
    while (!rest.empty()) {
        // One line through its LF, or the first 1022 characters of a longer one.
        size_t end = rest.find('\n');
        size_t take = end == std::string_view::npos ? rest.size() : end + 1;
        if (take > kMaxGroupListLine) take = kMaxGroupListLine;
        std::string_view line = rest.substr(0, take);
        rest.remove_prefix(take);
        if (!GroupListLinePasses(line, filter)) continue;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        read.emplace_back(line);
    }
    names = std::move(read);
    return true;
}

bool InstallServerGroupList(const std::string& tempPath, const std::string& allPath,
                            IMessageBox& messageBox) {
    if (FileExists(allPath) && !RemoveFile(allPath))
        messageBox.Show(kDeleteOldGroupListText, MessageIcon::Exclamation);
    if (RenameFile(tempPath, allPath)) return true;
    unsigned code = static_cast<unsigned>(errno);
    char text[96];
    std::snprintf(text, sizeof text, kMoveGroupListText, code);
    messageBox.Show(text, MessageIcon::Exclamation);
    return false;
}

}  // namespace vexlo
