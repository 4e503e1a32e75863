// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

#include "platform/FileManager.h"
#include "platform/ProcessRunner.h"

namespace orvane::app {

/// After the application was copied out of its installer disk image, detaches
/// the image and moves it to the trash. Silent: every failure is ignored.
class InstallerImageCleanup {
  public:
    static constexpr const char* kHdiutil = "/usr/bin/hdiutil";

    struct MountedImage {
        std::string imagePath;
        std::string mountPoint;
    };

    InstallerImageCleanup(platform::ProcessRunner& runner, platform::FileManager& files,
                          std::string bundlePath, std::string homeDirectory)
        : runner_(runner),
          files_(files),
          bundlePath_(std::move(bundlePath)),
          home_(std::move(homeDirectory)) {}

    /// Only an application installed in an applications folder looks for its image.
    bool shouldRun() const;
    /// The first mounted image holding a copy of the bundle.
    std::optional<MountedImage> findImage();
    void detachAndTrash(const MountedImage& image);
    /// findImage, then detachAndTrash.
    void run();

  private:
    platform::ProcessRunner& runner_;
    platform::FileManager& files_;
    std::string bundlePath_;
    std::string home_;
};

}  // namespace orvane::app
