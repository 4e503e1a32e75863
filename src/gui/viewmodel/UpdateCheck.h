// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

namespace orvane::gui {

/// The manual update check's decisions, apart from fetching the feed.
struct UpdateCheck {
    /// A feed has items exactly when it answered 200 with a non-empty UTF-8
    /// body that holds "<item>" or "<item ".
    static bool feedHasItems(int httpStatus, const std::string& body);
    /// The newest item's version (its sparkle:shortVersionString, else its
    /// title) and download page (its link); none when the feed has neither.
    struct Release {
        std::string version;
        std::string link;
    };
    static std::optional<Release> newestRelease(const std::string& body);
    /// "You're up to date!" and its informative text, with the fallbacks
    /// "This app" and "1.0" for a missing name or version.
    static constexpr const char* kUpToDate = "You're up to date!";
    static std::string upToDateText(const std::optional<std::string>& name,
                                    const std::optional<std::string>& version);
};

}  // namespace orvane::gui
