// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::platform {

/// The file manager's read side, for absolute paths. Main thread.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    /// The user's home directory; empty when unknown.
    virtual std::string homeDirectory() = 0;
    /// The folders installed colour profiles live in, in search order; none
    /// where the platform has no such folders.
    virtual std::vector<std::string> colorProfileDirectories() = 0;
    /// Entry names in listing order; none when the directory cannot be listed.
    virtual std::optional<std::vector<std::string>> contentsOfDirectory(
        const std::string& path) = 0;
    /// The whole file, as a value; none when it cannot be read.
    virtual std::optional<std::vector<std::uint8_t>> contentsOfFile(const std::string& path) = 0;
};

}  // namespace orvane::platform
