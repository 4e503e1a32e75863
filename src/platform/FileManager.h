// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvane::platform {

/// The file operations of the application shell.
/// Linux: the freedesktop trash, with its .trashinfo record.
class FileManager {
  public:
    virtual ~FileManager() = default;
    /// Whether something exists at path (a dangling link does not). Any thread.
    virtual bool fileExistsAtPath(const std::string& path) = 0;
    /// Moves the item to the user's trash; false when that fails, and the item
    /// stays. Any thread.
    virtual bool trashItem(const std::string& path) = 0;
};

}  // namespace orvane::platform
