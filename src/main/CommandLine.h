// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::cli {

/// What a start was asked to do.
struct Options {
    std::string platform;
    std::string rigPath;
    std::string rigOut;
    bool once = false;
    bool headless = false;
    /// The info listings as JSON documents on standard output, the log on
    /// standard error.
    bool json = false;
    std::vector<std::string> urls;
};

/// The options of argv; none when the start ends here (--help, --version, a
/// command line that is not understood: said, with its status in status).
std::optional<Options> parse(int argc, char** argv, int& status);

/// Whether arg is of the orvane scheme, as the URL handler takes it.
bool isOrvaneURL(std::string_view arg);

}  // namespace orvane::cli
