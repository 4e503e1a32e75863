// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace orvane::test {

/// A fresh directory for one test, open to its user only, removed with everything in it afterwards.
class TempDirectory {
  public:
    TempDirectory() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "t";
        for (auto& c : name) {
            if (c == '/') c = '_';
        }
        path_ = std::filesystem::path(::testing::TempDir()) / ("orvane-" + name);
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        // Private, as a user's runtime folder is.
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    }
    ~TempDirectory() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace orvane::test
