// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/ColorProfileDirectories.h"
#include "platform/FileSystem.h"

namespace orvane::platform::sim {

/// A file system whose absolute paths resolve under a real directory chosen
/// by the rig or the test. With an empty root nothing exists.
class SimFileSystem final : public FileSystem {
  public:
    SimFileSystem(std::string root, std::string home);
    std::string homeDirectory() override { return home_; }
    /// A freedesktop machine's folders, resolved under the root like every path.
    std::vector<std::string> colorProfileDirectories() override {
        return freedesktopColorProfileDirectories(home_, "");
    }
    std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path) override;
    std::optional<std::vector<std::uint8_t>> contentsOfFile(const std::string& path) override;
    const std::string& root() const { return root_; }

  private:
    std::string resolve(const std::string& path) const;
    std::string root_;
    std::string home_;
};

}  // namespace orvane::platform::sim
