// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvane::platform {

/// The file operations of the application shell.
class FileManager {
  public:
    virtual ~FileManager() = default;
    virtual bool fileExistsAtPath(const std::string& path) = 0;
    /// Moves the item to the user's trash; false when that fails.
    virtual bool trashItem(const std::string& path) = 0;
};

}  // namespace orvane::platform
