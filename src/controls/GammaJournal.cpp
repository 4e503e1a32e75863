// SPDX-License-Identifier: MIT
#include "controls/GammaJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "runtime/Environment.h"

namespace orvane::controls {

namespace {
constexpr int kVersion = 1;

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

GammaJournal::GammaJournal(std::string path, runtime::Logger& log)
    : path_(std::move(path)), log_(log) {}

std::string GammaJournal::defaultPath(const std::string& machine) {
    const auto dir = runtime::environmentPath("XDG_RUNTIME_DIR");
    return dir ? *dir + "/orvane-gamma-" + machine + ".json" : std::string();
}

bool GammaJournal::record(DisplayID display, const Tables& original) {
    if (path_.empty()) return true;
    tables_[display] = original;
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
    for (const auto& [id, t] : tables_)
        displays[std::to_string(id)] = {{"red", t.red}, {"green", t.green}, {"blue", t.blue}};
    const nlohmann::json doc = {{"version", kVersion}, {"displays", displays}};
    std::string error;
    if (replaceFile(path_, doc.dump(), error)) return true;
    log_.line("[GammaJournal] Could not save the original gamma tables to " + path_ + ": " + error +
              " - a crash now would leave the screen dimmed");
    return false;
}

void GammaJournal::restoreLeftovers(platform::WindowServer& windowServer) {
    if (path_.empty()) return;
    std::ifstream in(path_);
    if (!in) return;
    const auto doc = nlohmann::json::parse(in, nullptr, false);
    in.close();
    if (doc.is_discarded() || !doc.is_object() || !doc.contains("displays") ||
        !doc["displays"].is_object()) {
        log_.line("[GammaJournal] Ignored an unreadable gamma journal: " + path_);
        ::unlink(path_.c_str());
        return;
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
        const auto red = entry["red"].get<std::vector<float>>(),
                   green = entry["green"].get<std::vector<float>>(),
                   blue = entry["blue"].get<std::vector<float>>();
        if (red.size() != green.size() || red.size() != blue.size()) {
            log_.line("[GammaJournal] Ignored an unreadable entry for display " + key);
            continue;
        }
        const auto status = windowServer.setDisplayTransferByTable(
            DisplayID(id), std::uint32_t(red.size()), red.data(), green.data(), blue.data());
        log_.line(status == platform::kCGErrorSuccess
                      ? "[GammaJournal] Restored the gamma tables of display " + key +
                            " left dimmed by an earlier run"
                      : "[GammaJournal] Could not restore the gamma tables of display " + key +
                            " (error " + std::to_string(status) + ")");
    }
    ::unlink(path_.c_str());
}

}  // namespace orvane::controls
