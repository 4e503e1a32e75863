// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>

#include "platform/FileManager.h"

namespace orvane::platform::posix {

/// Files through std::filesystem; the trash is the freedesktop.org home trash
/// (files/ and info/*.trashinfo), so a trashed item can be restored.
class PosixFileManager final : public FileManager {
  public:
    bool fileExistsAtPath(const std::string& path) override;
    /// False, with the item left in place, when it cannot be moved into the
    /// home trash (another file system, no home, no permission).
    bool trashItem(const std::string& path) override;
    /// $XDG_DATA_HOME/Trash, or ~/.local/share/Trash; empty without either.
    static std::filesystem::path homeTrash();
};

}  // namespace orvane::platform::posix
