#include "groups/group_folder.h"

#include "core/app_settings.h"
#include "decode/file_utils.h"

namespace vexlo {

const char* CheckNewGroupInput(std::string_view name, std::string_view folder, bool subfolder,
                               std::string& directory) {
    std::string cutName(name.substr(0, kMaxTextLength));
    std::string normalized;
    if (cutName.empty()) return kNoGroupNameText;
    if (const char* refused = CheckSaveToFolder(folder, normalized)) return refused;
    directory = std::move(normalized);
    if (subfolder) directory += cutName;
    return nullptr;
}

const char* CheckSaveToFolder(std::string_view folder, std::string& normalized) {
    normalized = std::string(folder.substr(0, kMaxTextLength));
    SetTrailingBackslash(true, normalized);
    return DirectoryExists(normalized) ? nullptr : kNoSuchDirectoryText;
}

}  // namespace vexlo
