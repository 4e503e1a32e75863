// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::runtime {

/// The log: one line per event, each starting with "[Component] ". Thread-safe;
/// the framed decoder logs from the I/O queue.
class Logger {
  public:
    virtual ~Logger() = default;
    virtual void line(std::string_view text) = 0;
};

/// Writes each line to standard output and flushes it.
class StdoutLogger final : public Logger {
  public:
    void line(std::string_view text) override;

  private:
    std::mutex mutex_;
};

/// Keeps every line, for tests; optionally echoes them elsewhere too.
class CapturingLogger final : public Logger {
  public:
    void line(std::string_view text) override;
    std::vector<std::string> lines() const;
    /// Lines that start with prefix, in order.
    std::vector<std::string> linesStartingWith(std::string_view prefix) const;
    std::size_t countStartingWith(std::string_view prefix) const {
        return linesStartingWith(prefix).size();
    }
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace orvane::runtime
