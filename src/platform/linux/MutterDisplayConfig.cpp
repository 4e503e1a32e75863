// SPDX-License-Identifier: MIT
#include "platform/linux/MutterDisplayConfig.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace orvane::platform::linux_ {

namespace {

constexpr const char* kPath = "/org/gnome/Mutter/DisplayConfig";
constexpr const char* kInterface = "org.gnome.Mutter.DisplayConfig";
constexpr std::uint32_t kTemporary = 1;

using Message = std::unique_ptr<sd_bus_message, decltype(&sd_bus_message_unref)>;

/// One method call; the reply, or none when it failed.
template <typename... Args>
Message callMethod(sd_bus* bus, const char* method, const char* types, Args... args) {
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C99 compound literal
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call_method(bus, MutterDisplayConfig::kService, kPath, kInterface, method,
                                     &error, &reply, types, args...);
    sd_bus_error_free(&error);
    return Message(r < 0 ? nullptr : reply, &sd_bus_message_unref);
}

/// A boolean in an a{sv} property list, by key; the rest is skipped.
std::map<std::string, bool> readBoolProperties(sd_bus_message* m) {
    std::map<std::string, bool> found;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return found;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        sd_bus_message_read(m, "s", &key);
        const char* contents = nullptr;
        char type = 0;
        sd_bus_message_peek_type(m, &type, &contents);
        if (contents && std::string(contents) == "b") {
            int value = 0;
            sd_bus_message_read(m, "v", "b", &value);
            if (key) found[key] = value != 0;
        } else {
            sd_bus_message_skip(m, "v");
        }
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    return found;
}

struct MutterMode {
    std::string id;
    int width = 0, height = 0;
    double refresh = 0, preferredScale = 1;
    std::vector<double> scales;
    bool current = false;
};

struct MutterMonitor {
    std::string connector, vendor, product, serial;
    std::vector<MutterMode> modes;
};

struct LogicalMonitor {
    int x = 0, y = 0;
    double scale = 1;
    std::uint32_t transform = 0;
    bool primary = false;
    std::vector<std::string> connectors;
};

struct State {
    std::uint32_t serial = 0;
    std::vector<MutterMonitor> monitors;
    std::vector<LogicalMonitor> logical;
};

std::optional<State> currentState(sd_bus* bus) {
    auto reply = callMethod(bus, "GetCurrentState", nullptr);
    if (!reply) return std::nullopt;
    sd_bus_message* m = reply.get();
    State state;
    if (sd_bus_message_read(m, "u", &state.serial) < 0) return std::nullopt;
    if (sd_bus_message_enter_container(m, 'a', "((ssss)a(siiddada{sv})a{sv})") < 0)
        return std::nullopt;
    while (sd_bus_message_enter_container(m, 'r', "(ssss)a(siiddada{sv})a{sv}") > 0) {
        MutterMonitor monitor;
        const char *connector, *vendor, *product, *serial;
        sd_bus_message_read(m, "(ssss)", &connector, &vendor, &product, &serial);
        monitor.connector = connector;
        monitor.vendor = vendor;
        monitor.product = product;
        monitor.serial = serial;
        sd_bus_message_enter_container(m, 'a', "(siiddada{sv})");
        while (sd_bus_message_enter_container(m, 'r', "siiddada{sv}") > 0) {
            MutterMode mode;
            const char* id = nullptr;
            sd_bus_message_read(m, "siidd", &id, &mode.width, &mode.height, &mode.refresh,
                                &mode.preferredScale);
            mode.id = id ? id : "";
            const void* scales = nullptr;
            std::size_t size = 0;
            sd_bus_message_read_array(m, 'd', &scales, &size);
            const auto* d = static_cast<const double*>(scales);
            mode.scales.assign(d, d + size / sizeof(double));
            mode.current = readBoolProperties(m)["is-current"];
            sd_bus_message_exit_container(m);
            monitor.modes.push_back(std::move(mode));
        }
        sd_bus_message_exit_container(m);
        sd_bus_message_skip(m, "a{sv}");
        sd_bus_message_exit_container(m);
        state.monitors.push_back(std::move(monitor));
    }
    sd_bus_message_exit_container(m);
    if (sd_bus_message_enter_container(m, 'a', "(iiduba(ssss)a{sv})") < 0) return std::nullopt;
    while (sd_bus_message_enter_container(m, 'r', "iiduba(ssss)a{sv}") > 0) {
        LogicalMonitor lm;
        int primary = 0;
        sd_bus_message_read(m, "iidub", &lm.x, &lm.y, &lm.scale, &lm.transform, &primary);
        lm.primary = primary != 0;
        sd_bus_message_enter_container(m, 'a', "(ssss)");
        const char *connector, *vendor, *product, *serial;
        while (sd_bus_message_read(m, "(ssss)", &connector, &vendor, &product, &serial) > 0)
            lm.connectors.emplace_back(connector);
        sd_bus_message_exit_container(m);
        sd_bus_message_skip(m, "a{sv}");
        sd_bus_message_exit_container(m);
        state.logical.push_back(std::move(lm));
    }
    sd_bus_message_exit_container(m);
    return state;
}

ScreenMode toMode(const MutterMode& m, std::int32_t index) {
    ScreenMode mode;
    mode.modeID = index;
    // Points are pixels over the preferred scale, as the shell lays them out.
    const double scale = m.preferredScale > 0 ? m.preferredScale : 1;
    mode.width = std::size_t(std::lround(m.width / scale));
    mode.height = std::size_t(std::lround(m.height / scale));
    mode.pixelWidth = std::size_t(m.width);
    mode.pixelHeight = std::size_t(m.height);
    mode.refreshRate = std::round(m.refresh * 100) / 100;
    return mode;
}

/// The CRTC that drives connector, from the older resources interface.
std::optional<std::pair<std::uint32_t, std::uint32_t>> crtcOf(sd_bus* bus,
                                                              const std::string& connector) {
    auto reply = callMethod(bus, "GetResources", nullptr);
    if (!reply) return std::nullopt;
    sd_bus_message* m = reply.get();
    std::uint32_t serial = 0;
    sd_bus_message_read(m, "u", &serial);
    sd_bus_message_skip(m, "a(uxiiiiiuaua{sv})");
    if (sd_bus_message_enter_container(m, 'a', "(uxiausauaua{sv})") < 0) return std::nullopt;
    while (sd_bus_message_enter_container(m, 'r', "uxiausauaua{sv}") > 0) {
        std::uint32_t id = 0;
        std::int64_t winsys = 0;
        int crtc = -1;
        const char* name = nullptr;
        sd_bus_message_read(m, "uxi", &id, &winsys, &crtc);
        sd_bus_message_skip(m, "au");
        sd_bus_message_read(m, "s", &name);
        sd_bus_message_skip(m, "auaua{sv}");
        sd_bus_message_exit_container(m);
        if (name && connector == name && crtc >= 0) return std::pair{serial, std::uint32_t(crtc)};
    }
    return std::nullopt;
}

}  // namespace

std::unique_ptr<MutterDisplayConfig> MutterDisplayConfig::open(std::string& error) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        error = "no session bus";
        return nullptr;
    }
    auto config = std::unique_ptr<MutterDisplayConfig>(new MutterDisplayConfig(bus));
    if (!currentState(bus)) {
        error = std::string(kService) + " does not answer on the session bus";
        return nullptr;
    }
    return config;
}

MutterDisplayConfig::MutterDisplayConfig(sd_bus* bus) : bus_(bus) {}

MutterDisplayConfig::~MutterDisplayConfig() {
    listener_.reset();  // its thread calls into this object
    sd_bus_flush_close_unref(bus_);
}

std::vector<SessionOutput> MutterDisplayConfig::outputs() {
    std::lock_guard lock(lock_);
    std::vector<SessionOutput> result;
    auto state = currentState(bus_);
    if (!state) return result;
    for (const auto& monitor : state->monitors) {
        SessionOutput out;
        out.name = monitor.connector;
        out.vendor = monitor.vendor;
        out.product = monitor.product;
        out.serial = monitor.serial;
        for (std::size_t i = 0; i < monitor.modes.size(); ++i) {
            const auto mode = toMode(monitor.modes[i], std::int32_t(i));
            out.modes.push_back(mode);
            out.modeNames.push_back(monitor.modes[i].id);
            if (monitor.modes[i].current) out.current = mode;
        }
        // A monitor without a current mode is off: it shows nothing to configure.
        if (out.current) result.push_back(std::move(out));
    }
    return result;
}

bool MutterDisplayConfig::setMode(const SessionOutput& output, std::int32_t modeID) {
    std::lock_guard lock(lock_);
    auto state = currentState(bus_);
    if (!state || modeID < 0 || std::size_t(modeID) >= output.modeNames.size()) return false;
    // The whole layout goes back with one monitor's mode changed.
    std::map<std::string, const MutterMode*> modeOf;
    for (const auto& monitor : state->monitors) {
        for (const auto& mode : monitor.modes) {
            if (monitor.connector == output.name) {
                if (mode.id == output.modeNames[std::size_t(modeID)])
                    modeOf[monitor.connector] = &mode;
            } else if (mode.current) {
                modeOf[monitor.connector] = &mode;
            }
        }
    }
    if (!modeOf.count(output.name)) return false;

    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface,
                                       "ApplyMonitorsConfig") < 0)
        return false;
    Message message(m, &sd_bus_message_unref);
    sd_bus_message_append(m, "uu", state->serial, kTemporary);
    sd_bus_message_open_container(m, 'a', "(iiduba(ssa{sv}))");
    for (const auto& lm : state->logical) {
        double scale = lm.scale;
        for (const auto& connector : lm.connectors) {
            const auto* mode = modeOf.count(connector) ? modeOf[connector] : nullptr;
            // A scale the new mode cannot take becomes its preferred one.
            if (mode && connector == output.name &&
                std::find(mode->scales.begin(), mode->scales.end(), scale) == mode->scales.end())
                scale = mode->preferredScale;
        }
        sd_bus_message_open_container(m, 'r', "iiduba(ssa{sv})");
        sd_bus_message_append(m, "iidub", lm.x, lm.y, scale, lm.transform, int(lm.primary));
        sd_bus_message_open_container(m, 'a', "(ssa{sv})");
        for (const auto& connector : lm.connectors) {
            if (!modeOf.count(connector)) continue;
            sd_bus_message_append(m, "(ssa{sv})", connector.c_str(), modeOf[connector]->id.c_str(),
                                  0);
        }
        sd_bus_message_close_container(m);
        sd_bus_message_close_container(m);
    }
    sd_bus_message_close_container(m);
    sd_bus_message_append(m, "a{sv}", 0);
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C99 compound literal
    const int r = sd_bus_call(bus_, m, 0, &error, nullptr);
    sd_bus_error_free(&error);
    return r >= 0;
}

int MutterDisplayConfig::gammaSize(const SessionOutput& output) {
    std::vector<float> r, g, b;
    return getGamma(output, r, g, b) ? int(r.size()) : 0;
}

bool MutterDisplayConfig::getGamma(const SessionOutput& output, std::vector<float>& red,
                                   std::vector<float>& green, std::vector<float>& blue) {
    std::lock_guard lock(lock_);
    const auto crtc = crtcOf(bus_, output.name);
    if (!crtc) return false;
    auto reply = callMethod(bus_, "GetCrtcGamma", "uu", crtc->first, crtc->second);
    if (!reply) return false;
    std::vector<float>* channels[] = {&red, &green, &blue};
    for (auto* channel : channels) {
        const void* data = nullptr;
        std::size_t size = 0;
        if (sd_bus_message_read_array(reply.get(), 'q', &data, &size) < 0) return false;
        const auto* values = static_cast<const std::uint16_t*>(data);
        channel->resize(size / sizeof(std::uint16_t));
        for (std::size_t i = 0; i < channel->size(); ++i)
            (*channel)[i] = float(values[i]) / 65535.0f;
    }
    return !red.empty() && red.size() == green.size() && red.size() == blue.size();
}

bool MutterDisplayConfig::setGamma(const SessionOutput& output, const std::vector<float>& red,
                                   const std::vector<float>& green,
                                   const std::vector<float>& blue) {
    std::lock_guard lock(lock_);
    const auto crtc = crtcOf(bus_, output.name);
    if (!crtc) return false;
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus_, &m, kService, kPath, kInterface, "SetCrtcGamma") < 0)
        return false;
    Message message(m, &sd_bus_message_unref);
    sd_bus_message_append(m, "uu", crtc->first, crtc->second);
    for (const auto* channel : {&red, &green, &blue}) {
        std::vector<std::uint16_t> values(channel->size());
        std::transform(channel->begin(), channel->end(), values.begin(), [](float v) {
            return std::uint16_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 65535.0f));
        });
        sd_bus_message_append_array(m, 'q', values.data(), values.size() * sizeof(std::uint16_t));
    }
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C99 compound literal
    const int r = sd_bus_call(bus_, m, 0, &error, nullptr);
    sd_bus_error_free(&error);
    return r >= 0;
}

void MutterDisplayConfig::startEvents() {
    if (listener_) return;
    // A connection of its own, with the match in place before this returns:
    // a change right after start must not be missed. Calls on bus_ must not
    // take its signals away either.
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return;
    const std::string rule = std::string("type='signal',sender='") + kService + "',path='" + kPath +
                             "',interface='" + kInterface + "',member='MonitorsChanged'";
    if (sd_bus_add_match(
            bus, nullptr, rule.c_str(),
            [](sd_bus_message*, void* self, sd_bus_error*) {
                auto* config = static_cast<MutterDisplayConfig*>(self);
                if (config->onScreenChange) config->onScreenChange();
                return 0;
            },
            this) < 0) {
        sd_bus_flush_close_unref(bus);
        return;
    }
    listener_ = std::make_unique<BusLoop>(bus);
}

}  // namespace orvane::platform::linux_
