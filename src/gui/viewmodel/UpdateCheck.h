// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

namespace orvane::gui {

/// The update check's decisions, apart from fetching the feed.
struct UpdateCheck {
    /// A feed has items exactly when it answered 200 with a non-empty UTF-8
    /// body that holds "<item>" or "<item ".
    static bool feedHasItems(int httpStatus, const std::string& body);
    /// The newest item's version (its sparkle:shortVersionString, else the
    /// version its title names) and download page (its link); none when the
    /// feed has neither.
    struct Release {
        std::string version;
        std::string link;
    };
    static std::optional<Release> newestRelease(const std::string& body);
    /// Semantic version order: negative, 0 or positive as a is older than,
    /// the same as or newer than b. Numbers compare as numbers ("0.10" is
    /// after "0.9"), missing parts count as 0, a leading "v" is ignored, and a
    /// pre-release ("1.0.0-rc1") comes before its release. None when either
    /// holds no version.
    static std::optional<int> compareVersions(const std::string& a, const std::string& b);

    /// What a check ends with.
    struct Outcome {
        enum class Kind { newer, upToDate, failed } kind = Kind::failed;
        std::optional<Release> release;  // newer: what to offer
        std::string reason;              // failed: why, as said to the user
    };
    /// error is the network's own text for a fetch that did not complete
    /// (empty when it did); status the HTTP status otherwise.
    static Outcome decide(const std::string& error, int httpStatus, const std::string& body,
                          const std::string& runningVersion);

    /// "You're up to date!" and its informative text, with the fallbacks
    /// "This app" and "1.0" for a missing name or version.
    static constexpr const char* kUpToDate = "You're up to date!";
    static std::string upToDateText(const std::optional<std::string>& name,
                                    const std::optional<std::string>& version);
    static constexpr const char* kCheckFailed = "Could not check for updates";
};

}  // namespace orvane::gui
