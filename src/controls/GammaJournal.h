// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/WindowServer.h"
#include "runtime/Logger.h"

namespace orvane::controls {

/// The gamma tables displays had before Orvane dimmed them, kept in a file
/// while they are dimmed, so that a run that ends without putting them back
/// (killed, crashed) is mended by the next start. The file is replaced
/// atomically on every change and removed once every display has its own
/// tables back. Main thread.
class GammaJournal {
  public:
    struct Tables {
        std::vector<float> red, green, blue;
        bool operator==(const Tables&) const = default;
    };

    /// Keeps its file at path; an empty path keeps nothing.
    GammaJournal(std::string path, runtime::Logger& log);

    /// "$XDG_RUNTIME_DIR/orvane-gamma-<machine>.json"; empty without a runtime
    /// folder. One file per backend: display IDs of one mean nothing to another.
    static std::string defaultPath(const std::string& machine);

    /// Saves display's tables before its first change; false when they could
    /// not be saved (said in the log).
    bool record(DisplayID display, const Tables& original);
    /// The display has its tables back.
    void forget(DisplayID display);
    /// Puts back the tables an earlier run left in the file, each said in the
    /// log, then removes the file. An unreadable file is said and removed.
    void restoreLeftovers(platform::WindowServer& windowServer);

    const std::string& path() const { return path_; }

  private:
    bool save();

    std::string path_;
    runtime::Logger& log_;
    std::map<DisplayID, Tables> tables_;
};

}  // namespace orvane::controls
