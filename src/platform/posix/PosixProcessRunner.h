// SPDX-License-Identifier: MIT
#pragma once

#include "platform/ProcessRunner.h"

namespace orvane::platform::posix {

/// fork and exec, with a pipe for standard output.
class PosixProcessRunner final : public ProcessRunner {
  public:
    ProcessResult run(const std::string& executable, const std::vector<std::string>& args,
                      bool captureOutput) override;
};

}  // namespace orvane::platform::posix
