// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace orvane::platform {

struct ProcessResult {
    bool launched = false;
    int exitStatus = -1;
    /// Standard output, when it was captured.
    std::string output;
};

/// Launches a program and waits for it to end.
class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;
    /// Runs executable with args and waits for it; launched is false when it could
    /// not start. Standard error is discarded; standard output is captured or
    /// discarded. Any thread; blocks.
    virtual ProcessResult run(const std::string& executable, const std::vector<std::string>& args,
                              bool captureOutput) = 0;
};

}  // namespace orvane::platform
