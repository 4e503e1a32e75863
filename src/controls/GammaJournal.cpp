// SPDX-License-Identifier: MIT
#include "controls/GammaJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "runtime/Environment.h"

namespace orvane::controls {

namespace {
constexpr int kVersion = 1;
constexpr std::size_t kMaxFile = 16 << 20;

/// Writes text to path through a temporary file, flushed to disk before the
/// rename: a crash leaves the old file or the new one, never half of one.
bool replaceFile(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const auto n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? std::strerror(errno) : "nothing written";
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += std::size_t(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool validTable(const nlohmann::json& j) {
    if (!j.is_array() || j.empty() || j.size() > 65536) return false;
    for (const auto& v : j) {
        if (!v.is_number() || !(v.get<double>() >= 0.0) || v.get<double>() > 1.0) return false;
    }
    return true;
}

}  // namespace

std::optional<double> GammaJournal::shownScale(const Tables& original, const Tables& shown) {
    constexpr double kTolerance = 0.004;  // a 16-bit ramp, read back as floats
    const std::array<std::pair<const std::vector<float>*, const std::vector<float>*>, 3> channels{
        {{&original.red, &shown.red},
         {&original.green, &shown.green},
         {&original.blue, &shown.blue}}};
    double peak = 0, at = 0;
    for (const auto& [o, v] : channels) {
        if (o->size() != v->size()) return std::nullopt;
        for (std::size_t i = 0; i < o->size(); ++i) {
            if ((*o)[i] > peak) {
                peak = (*o)[i];
                at = (*v)[i];
            }
        }
    }
    if (peak <= 0) return std::nullopt;
    const double f = at / peak;
    if (f > 1 + kTolerance) return std::nullopt;
    for (const auto& [o, v] : channels) {
        for (std::size_t i = 0; i < o->size(); ++i) {
            if (std::abs((*v)[i] - f * (*o)[i]) > kTolerance) return std::nullopt;
        }
    }
    return f;
}

namespace {

/// Tables no display ever had as its own: they would black it out.
bool black(const GammaJournal::Tables& t) {
    constexpr float kDarkest = 0.05f;
    for (const auto* table : {&t.red, &t.green, &t.blue}) {
        if (std::any_of(table->begin(), table->end(), [](float v) { return v >= kDarkest; }))
            return false;
    }
    return true;
}
}  // namespace

GammaJournal::GammaJournal(std::string path, runtime::Logger& log)
    : path_(std::move(path)), log_(log) {}

std::string GammaJournal::defaultPath(const std::string& machine) {
    const auto dir = runtime::privateRuntimeDirectory();
    return dir ? *dir + "/orvane-gamma-" + machine + ".json" : std::string();
}

bool GammaJournal::record(DisplayID display, const Tables& original) {
    if (path_.empty()) return true;
    tables_[display] = {original, false};
    return save();
}

void GammaJournal::forget(DisplayID display) {
    if (path_.empty() || !tables_.erase(display)) return;
    if (tables_.empty()) {
        ::unlink(path_.c_str());
    } else {
        save();
    }
}

bool GammaJournal::save() {
    nlohmann::json displays = nlohmann::json::object();
    for (const auto& [id, entry] : tables_) {
        const auto& t = entry.tables;
        displays[std::to_string(id)] = {{"red", t.red}, {"green", t.green}, {"blue", t.blue}};
    }
    const nlohmann::json doc = {{"version", kVersion}, {"displays", displays}};
    std::string error;
    if (replaceFile(path_, doc.dump(), error)) return true;
    log_.line("[GammaJournal] Could not save the original gamma tables to " + path_ + ": " + error +
              " - a crash now would leave the screen dimmed");
    return false;
}

bool GammaJournal::readFile() {
    if (path_.empty()) return false;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) return false;
    // Someone else could have put it there: a planted journal must not get to
    // write the screens' tables.
    const std::string folder = std::filesystem::path(path_).parent_path().string();
    struct stat st {};
    std::string distrust;
    if (fd < 0) {
        distrust = errno == ELOOP ? "it is a link" : std::strerror(errno);
    } else if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        distrust = "it is not a file";
    } else if (st.st_uid != getuid() || (st.st_mode & 022) != 0) {
        distrust = "it is not the user's alone";
    } else if (!runtime::isPrivateDirectory(folder)) {
        distrust = "its folder is open to others";
    }
    std::string text;
    if (distrust.empty()) {
        char buffer[65536];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || text.size() > kMaxFile) {
                distrust = n < 0 ? std::strerror(errno) : "it is too large";
                break;
            }
            text.append(buffer, std::size_t(n));
        }
    }
    if (fd >= 0) ::close(fd);
    if (!distrust.empty()) {
        log_.line("[GammaJournal] Ignored the gamma journal " + path_ + ": " + distrust);
        return false;
    }
    const auto doc = nlohmann::json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || !doc.contains("displays") ||
        !doc["displays"].is_object()) {
        log_.line("[GammaJournal] Ignored an unreadable gamma journal: " + path_);
        ::unlink(path_.c_str());
        return false;
    }
    for (const auto& [key, entry] : doc["displays"].items()) {
        char* end = nullptr;
        errno = 0;
        const unsigned long id = std::strtoul(key.c_str(), &end, 10);
        if (errno || !end || *end || key.empty() || id > 0xFFFFFFFFul || !entry.is_object() ||
            !validTable(entry.value("red", nlohmann::json())) ||
            !validTable(entry.value("green", nlohmann::json())) ||
            !validTable(entry.value("blue", nlohmann::json()))) {
            log_.line("[GammaJournal] Ignored an unreadable entry for display " + key);
            continue;
        }
        Tables t{entry["red"].get<std::vector<float>>(), entry["green"].get<std::vector<float>>(),
                 entry["blue"].get<std::vector<float>>()};
        if (t.red.size() != t.green.size() || t.red.size() != t.blue.size()) {
            log_.line("[GammaJournal] Ignored an unreadable entry for display " + key);
            continue;
        }
        if (black(t)) {
            log_.line("[GammaJournal] Ignored the entry for display " + key +
                      ": its tables are black");
            continue;
        }
        tables_.try_emplace(DisplayID(id), Entry{std::move(t), true});
    }
    return true;
}

void GammaJournal::restoreLeftovers(platform::WindowServer& windowServer) {
    if (!readFile()) return;
    std::vector<DisplayID> earlier;
    for (const auto& [id, entry] : tables_) {
        if (entry.earlierRun) earlier.push_back(id);
    }
    for (DisplayID id : earlier)
        reclaim(id, windowServer);
    // What is left waits for its displays; ignored entries are gone.
    if (tables_.empty()) {
        ::unlink(path_.c_str());
    } else {
        save();
    }
}

std::optional<GammaJournal::Tables> GammaJournal::reclaim(DisplayID display,
                                                          platform::WindowServer& windowServer) {
    const auto found = tables_.find(display);
    if (found == tables_.end()) return std::nullopt;
    const Tables original = found->second.tables;
    const bool earlierRun = found->second.earlierRun;
    const auto size = static_cast<std::uint32_t>(original.red.size());
    auto read = windowServer.gammaRamps(display, size);
    auto* ramps = std::get_if<platform::GammaRamps>(&read);
    if (!ramps || ramps->red.empty()) return std::nullopt;  // not there: the entry waits for it
    const auto samples = ramps->red.size();
    Tables shown{std::move(ramps->red), std::move(ramps->green), std::move(ramps->blue)};
    const auto key = std::to_string(display);
    const auto scale = samples == size ? shownScale(original, shown) : std::nullopt;
    if (!scale) {
        log_.line("[GammaJournal] Left display " + key +
                  " as it is: it no longer shows the tables Orvane dimmed");
        forget(display);
        return std::nullopt;
    }
    if (*scale < 0.995) {
        const auto refused =
            windowServer.setGammaRamps(display, {original.red, original.green, original.blue});
        if (earlierRun) {
            log_.line(!refused ? "[GammaJournal] Restored the gamma tables of display " + key +
                                     " left dimmed by an earlier run"
                               : "[GammaJournal] Could not restore the gamma tables of display " +
                                     key + " (error " + refused->text + ")");
        }
        if (refused) return original;  // still dimmed: kept
    }
    forget(display);
    return original;
}

}  // namespace orvane::controls
