// SPDX-License-Identifier: MIT
#include "runtime/Logger.h"

#include <cstdio>

namespace orvane::runtime {

void StdoutLogger::line(std::string_view text) {
    std::lock_guard lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void CapturingLogger::line(std::string_view text) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(text);
}

std::vector<std::string> CapturingLogger::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> CapturingLogger::linesStartingWith(std::string_view prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& l : lines_) {
        if (std::string_view(l).substr(0, prefix.size()) == prefix) out.push_back(l);
    }
    return out;
}

void CapturingLogger::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

}  // namespace orvane::runtime
