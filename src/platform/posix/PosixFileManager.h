// SPDX-License-Identifier: MIT
#pragma once

#include "platform/FileManager.h"

namespace orvane::platform::posix {

/// Files through std::filesystem; the trash is the freedesktop.org one.
class PosixFileManager final : public FileManager {
  public:
    bool fileExistsAtPath(const std::string& path) override;
    bool trashItem(const std::string& path) override;
};

}  // namespace orvane::platform::posix
