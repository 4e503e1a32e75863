// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/WindowServer.h"
#include "runtime/Logger.h"

namespace orvane::controls {

/// The gamma tables displays had before Orvane dimmed them, kept in a file
/// while they are dimmed, so that a run that ends without putting them back
/// (killed, crashed) is mended by the next start. The file is replaced
/// atomically on every change and removed once every display has its own
/// tables back. Only the running instance has one. Main thread.
///
/// A table is given back only to a display that still shows it dimmed (the
/// original scaled down): a display that shows something else since (another
/// monitor on the connector, another program's ramp) is left as it is.
class GammaJournal {
  public:
    struct Tables {
        std::vector<float> red, green, blue;
        bool operator==(const Tables&) const = default;
    };

    /// Keeps its file at path; an empty path keeps nothing.
    GammaJournal(std::string path, runtime::Logger& log);

    /// "orvane-gamma-<machine>.json" beside the instance socket, in the
    /// private runtime directory; empty without one. One file per backend:
    /// display IDs of one mean nothing to another.
    static std::string defaultPath(const std::string& machine);

    /// Saves display's tables before its first change; false when they could
    /// not be saved (said in the log).
    bool record(DisplayID display, const Tables& original);
    /// The display has its tables back.
    void forget(DisplayID display);
    /// Reads what an earlier run left and gives each display that is there its
    /// tables back, each said in the log; what belongs to displays that are not
    /// there waits for them (reclaim). The file goes once nothing is left. A
    /// file in a folder or of an owner that is not private to the user is
    /// never read; an unreadable one is said and removed.
    void restoreLeftovers(platform::WindowServer& windowServer);
    /// The original tables of a display that comes (back) with an entry here,
    /// from this run or an earlier one: given back to it when it shows them
    /// dimmed, and returned, so that its next dimming starts from them and
    /// never from a dimmed table. None (and the entry dropped) when the
    /// display shows something else; none (entry kept) when it is not there.
    std::optional<Tables> reclaim(DisplayID display, platform::WindowServer& windowServer);
    bool holds(DisplayID display) const { return tables_.count(display) > 0; }

    /// The factor f with shown = f * original, entry by entry, when there is
    /// one: the display shows the original, dimmed (f < 1) or not. None when
    /// it shows another table (another program's ramp).
    static std::optional<double> shownScale(const Tables& original, const Tables& shown);

    const std::string& path() const { return path_; }

  private:
    struct Entry {
        Tables tables;
        bool earlierRun = false;
    };
    bool save();
    bool readFile();

    std::string path_;
    runtime::Logger& log_;
    std::map<DisplayID, Entry> tables_;
};

}  // namespace orvane::controls
