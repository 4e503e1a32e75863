// SPDX-License-Identifier: MIT
#include "platform/sim/SimRig.h"

#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace orvane::platform::sim {

extern const char* const kDefaultRigJSON;

namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("rig: " + what);
}

/// Numbers may be written as JSON numbers or as "0x..." strings (EDID ids, statuses).
std::int64_t number(const json& v, const std::string& where) {
    if (v.is_number_unsigned() &&
        v.get<std::uint64_t>() >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        fail(where + " is out of range");
    if (v.is_number_integer()) return v.get<std::int64_t>();
    if (v.is_string()) {
        const auto s = v.get<std::string>();
        try {
            std::size_t used = 0;
            const long long n = std::stoll(s, &used, 0);
            if (used == s.size()) return n;
        } catch (const std::exception&) {
        }
    }
    fail(where + " must be a number");
}

std::uint32_t u32(const json& v, const std::string& where) {
    const auto n = number(v, where);
    if (n < 0 || n > 0xFFFFFFFFLL) fail(where + " is out of range");
    return static_cast<std::uint32_t>(n);
}

IOReturn status(const json& v, const std::string& where) {
    return static_cast<IOReturn>(static_cast<std::uint32_t>(number(v, where)));
}

SimRegistryNumber registryNumber(const json& obj, const char* key, const std::string& where) {
    SimRegistryNumber r;
    if (!obj.contains(key)) return r;
    const json& v = obj.at(key);
    if (v.is_null()) {
        r.mode = SimRegistryNumber::Mode::missing;
    } else {
        r.mode = SimRegistryNumber::Mode::value;
        r.value = u32(v, where + "." + key);
    }
    return r;
}

/// {"red": [...], "green": [...], "blue": [...]}, the --rig-out form: 256
/// samples each, within 0...1.
std::array<std::vector<float>, 3> gammaTables(const json& j, const std::string& where) {
    if (!j.is_object()) fail(where + " must be an object of red, green and blue");
    std::array<std::vector<float>, 3> tables;
    const char* names[] = {"red", "green", "blue"};
    for (std::size_t c = 0; c < 3; ++c) {
        const std::string at = where + "." + names[c];
        if (!j.contains(names[c]) || !j.at(names[c]).is_array() ||
            j.at(names[c]).size() != kSimGammaSamples)
            fail(at + " must hold " + std::to_string(kSimGammaSamples) + " samples");
        for (const auto& v : j.at(names[c])) {
            if (!v.is_number() || !(v.get<double>() >= 0 && v.get<double>() <= 1))
                fail(at + " samples must be numbers within 0...1");
            tables[c].push_back(v.get<float>());
        }
    }
    return tables;
}

SimFault fault(const json& j, const std::string& where) {
    if (!j.is_object() || !j.contains("kind")) fail(where + " needs a kind");
    SimFault f;
    const auto kind = simFaultKindFromName(j.at("kind").get<std::string>());
    if (!kind) fail(where + ": unknown fault kind " + j.at("kind").dump());
    f.kind = *kind;
    if (j.contains("code")) {
        const auto code = simVCPCodeFromName(j.at("code").get<std::string>());
        if (!code) fail(where + ": unknown VCP code " + j.at("code").dump());
        f.code = code;
    }
    if (j.contains("times")) {
        const auto times = number(j.at("times"), where + ".times");
        if (times < -1 || times > std::numeric_limits<int>::max())
            fail(where + ".times is out of range");
        f.times = static_cast<int>(times);
    }
    if (j.contains("status")) f.status = status(j.at("status"), where + ".status");
    if (j.contains("bytes")) {
        const auto bytes = number(j.at("bytes"), where + ".bytes");
        if (bytes < 0 || bytes > kMaxSimFaultBytes) fail(where + ".bytes is out of range");
        f.bytes = static_cast<int>(bytes);
    }
    if (j.contains("writesOnly")) {
        if (!j.at("writesOnly").is_boolean()) fail(where + ".writesOnly must be true or false");
        f.writesOnly = j.at("writesOnly").get<bool>();
    }
    return f;
}

SimMonitorSpec monitor(const json& j, const std::string& where) {
    SimMonitorSpec m;
    if (!j.is_object()) fail(where + " must be an object");
    m.answers = j.value("answers", true);
    if (j.contains("capabilities")) {
        if (!j.at("capabilities").is_string()) fail(where + ".capabilities must be a string");
        m.capabilities = j.at("capabilities").get<std::string>();
    }
    if (j.contains("vcp")) {
        for (const auto& [name, pair] : j.at("vcp").items()) {
            const auto code = simVCPCodeFromName(name);
            if (!code) fail(where + ".vcp: unknown VCP code " + name);
            if (!pair.is_array() || pair.size() != 2)
                fail(where + ".vcp." + name + " must be [current, max]");
            const auto current = u32(pair[0], where + ".vcp." + name);
            const auto max = u32(pair[1], where + ".vcp." + name);
            if (current > 0xFFFF || max > 0xFFFF) fail(where + ".vcp." + name + " exceeds 16 bits");
            m.features[*code] = {static_cast<std::uint16_t>(current),
                                 static_cast<std::uint16_t>(max)};
        }
    }
    if (j.contains("faults")) {
        int i = 0;
        for (const auto& f : j.at("faults")) {
            m.faults.push_back(fault(f, where + ".faults[" + std::to_string(i++) + "]"));
        }
    }
    return m;
}

std::vector<std::uint8_t> hexBytes(const std::string& text, const std::string& where) {
    if (text.size() % 2) fail(where + " must have an even number of hex digits");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        try {
            std::size_t used = 0;
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), &used, 16)));
            if (used != 2) fail(where + " is not hex");
        } catch (const std::logic_error&) {
            fail(where + " is not hex");
        }
    }
    return bytes;
}

std::size_t size(const json& v, const std::string& where) {
    return u32(v, where);
}

SimModeSpec mode(const json& j, const std::string& where) {
    if (!j.is_object() || !j.contains("width") || !j.contains("height"))
        fail(where + " needs width and height");
    SimModeSpec m;
    m.width = size(j.at("width"), where + ".width");
    m.height = size(j.at("height"), where + ".height");
    m.pixelWidth = j.contains("pixelWidth") ? size(j.at("pixelWidth"), where) : m.width;
    m.pixelHeight = j.contains("pixelHeight") ? size(j.at("pixelHeight"), where) : m.height;
    m.refreshRate = j.value("refresh", 60.0);
    m.duplicateLowResolution = j.value("duplicateLowResolution", false);
    return m;
}

SimScreenSpec screen(const json& j, const std::string& where) {
    SimScreenSpec s;
    if (j.is_null()) {
        s.present = false;
        return s;
    }
    if (!j.is_object()) fail(where + " must be an object or null");
    if (j.contains("name")) s.name = j.at("name").get<std::string>();
    if (j.contains("number")) s.number = number(j.at("number"), where + ".number");
    if (j.contains("colorSpace")) {
        const json& c = j.at("colorSpace");
        if (c.is_null()) {
            s.colorSpace.reset();
        } else {
            SimColorSpaceSpec cs;
            if (c.contains("name")) {
                cs.nameless = c.at("name").is_null();
                if (!cs.nameless) cs.name = c.at("name").get<std::string>();
            }
            if (c.contains("icc"))
                cs.iccProfile = hexBytes(c.at("icc").get<std::string>(), where + ".colorSpace.icc");
            s.colorSpace = cs;
        }
    }
    return s;
}

SimAudioDeviceSpec audioDevice(const json& j, int index) {
    const std::string where = "audioDevices[" + std::to_string(index) + "]";
    if (!j.is_object() || !j.contains("id")) fail(where + " needs an id");
    SimAudioDeviceSpec a;
    a.id = u32(j.at("id"), where + ".id");
    a.name = j.value("name", "Audio " + std::to_string(a.id));
    a.transport = j.value("transport", a.transport);
    if (a.transport.size() != 4) fail(where + ".transport must have four characters");
    if (j.contains("outputBuffers")) a.outputBuffers = u32(j.at("outputBuffers"), where);
    a.virtualMainVolume = j.value("virtualMainVolume", a.virtualMainVolume);
    a.mainScalar = j.value("mainScalar", a.mainScalar);
    if (j.contains("channels")) a.channels = j.at("channels").get<std::vector<std::uint32_t>>();
    a.volume = j.value("volume", a.volume);
    if (j.contains("mute")) {
        a.hasMute = !j.at("mute").is_null();
        if (a.hasMute) a.muted = j.at("mute").get<bool>();
    }
    return a;
}

SimDisplaySpec display(const json& j, const std::string& where);

SimRigEvent event(const json& j, int index) {
    const std::string where = "events[" + std::to_string(index) + "]";
    if (!j.is_object()) fail(where + " must be an object");
    SimRigEvent e;
    e.afterMs = number(j.value("afterMs", json(0)), where + ".afterMs");
    // A year is beyond any run; more would overflow the clock's nanoseconds.
    constexpr std::int64_t kMaxAfterMs = 366LL * 24 * 3600 * 1000;
    if (e.afterMs < 0 || e.afterMs > kMaxAfterMs) fail(where + ".afterMs is out of range");
    if (j.contains("connect")) e.connect = display(j.at("connect"), where + ".connect");
    if (j.contains("disconnect")) e.disconnect = u32(j.at("disconnect"), where + ".disconnect");
    if (j.contains("mediaKey")) e.systemDefined = number(j.at("mediaKey"), where + ".mediaKey");
    if (j.contains("hotKey")) {
        const auto& h = j.at("hotKey");
        if (!h.is_object() || !h.contains("keyCode")) fail(where + ".hotKey needs a keyCode");
        e.hotKey = std::pair{u32(h.at("keyCode"), where + ".hotKey.keyCode"),
                             u32(h.value("modifiers", json(0)), where + ".hotKey.modifiers")};
    }
    if (j.contains("disableTaps")) {
        const auto reason = j.at("disableTaps").get<std::string>();
        if (reason != "timeout" && reason != "userInput")
            fail(where + ".disableTaps must be \"timeout\" or \"userInput\"");
        e.disableTaps = reason == "timeout";
    }
    const int kinds = e.connect.has_value() + e.disconnect.has_value() +
                      e.systemDefined.has_value() + e.hotKey.has_value() +
                      e.disableTaps.has_value();
    if (kinds != 1)
        fail(where + " needs exactly one of connect, disconnect, mediaKey, hotKey, disableTaps");
    return e;
}

SimDisplaySpec display(const json& j, const std::string& where) {
    if (!j.is_object() || !j.contains("id")) fail(where + " needs an id");
    SimDisplaySpec d;
    d.id = u32(j.at("id"), where + ".id");
    d.name = j.value("name", "Display " + std::to_string(d.id));
    if (j.contains("vendor")) d.vendor = u32(j.at("vendor"), where + ".vendor");
    if (j.contains("model")) d.model = u32(j.at("model"), where + ".model");
    if (j.contains("serial")) d.serial = u32(j.at("serial"), where + ".serial");
    d.builtIn = j.value("builtIn", false);
    const std::string ddc = j.value("ddc", "none");
    if (ddc == "i2c") {
        d.ddc = SimDDCPath::i2c;
    } else if (ddc == "avService") {
        d.ddc = SimDDCPath::avService;
    } else if (ddc == "none") {
        d.ddc = SimDDCPath::none;
    } else {
        fail(where + ".ddc must be i2c, avService or none");
    }
    if (j.contains("registry")) {
        const json& r = j.at("registry");
        d.registryVendor = registryNumber(r, "vendor", where + ".registry");
        d.registryProduct = registryNumber(r, "product", where + ".registry");
        d.registrySerial = registryNumber(r, "serial", where + ".registry");
    }
    d.framebufferClass = j.value("framebufferClass", d.framebufferClass);
    d.avServiceClass = j.value("avServiceClass", d.avServiceClass);
    if (j.contains("ancestors")) d.ancestors = j.at("ancestors").get<std::vector<std::string>>();
    if (j.contains("monitor")) d.monitor = monitor(j.at("monitor"), where + ".monitor");
    d.inRegistry = j.value("inRegistry", true);
    if (j.contains("modes")) {
        d.modes.clear();
        int i = 0;
        for (const auto& m : j.at("modes"))
            d.modes.push_back(mode(m, where + ".modes[" + std::to_string(i++) + "]"));
    }
    if (j.contains("currentMode")) {
        if (j.at("currentMode").is_null()) {
            d.currentMode.reset();
        } else {
            d.currentMode = size(j.at("currentMode"), where + ".currentMode");
        }
    }
    if (d.currentMode && *d.currentMode >= d.modes.size())
        fail(where + ".currentMode is not one of its modes");
    if (j.contains("pixels")) {
        const auto& p = j.at("pixels");
        if (!p.is_array() || p.size() != 2) fail(where + ".pixels must be [wide, high]");
        d.pixelsWide = size(p[0], where + ".pixels");
        d.pixelsHigh = size(p[1], where + ".pixels");
    } else if (d.currentMode) {
        d.pixelsWide = d.modes[*d.currentMode].pixelWidth;
        d.pixelsHigh = d.modes[*d.currentMode].pixelHeight;
    }
    if (j.contains("screen")) d.screen = screen(j.at("screen"), where + ".screen");
    if (j.contains("panelBrightness")) d.panelBrightness = j.at("panelBrightness").get<float>();
    d.panelBrightnessWritable = j.value("panelBrightnessWritable", true);
    d.gamma = j.value("gamma", 1.0);
    if (!(d.gamma > 0)) fail(where + ".gamma must be positive");
    if (j.contains("shownGamma"))
        d.shownGamma = gammaTables(j.at("shownGamma"), where + ".shownGamma");
    return d;
}

}  // namespace

std::optional<std::uint8_t> simVCPCodeFromName(std::string_view name) {
    static const std::map<std::string, std::uint8_t, std::less<>> names = {
        {"brightness", 0x10},  {"contrast", 0x12},  {"volume", 0x62},
        {"inputSource", 0x60}, {"powerMode", 0xD6},
    };
    if (auto it = names.find(name); it != names.end()) return it->second;
    if (name.size() > 2 && name.substr(0, 2) == "0x") {
        try {
            std::size_t used = 0;
            const unsigned long v = std::stoul(std::string(name), &used, 16);
            if (used == name.size() && v <= 0xFF) return static_cast<std::uint8_t>(v);
        } catch (const std::exception&) {
        }
    }
    return std::nullopt;
}

SimRig SimRig::parse(std::string_view text) {
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception& e) {  // a syntax error, or a number beyond a double
        fail(std::string("not valid JSON: ") + e.what());
    }
    if (!j.is_object()) fail("the top level must be an object");
    SimRig rig;
    try {
        rig.name = j.value("name", rig.name);
        if (j.contains("avService")) {
            const json& av = j.at("avService");
            rig.avFramework = av.value("framework", true);
            if (av.contains("functions"))
                rig.avFunctions = av.at("functions").get<std::vector<std::string>>();
        }
        if (j.contains("failingEnumerations")) {
            for (const auto& [cls, st] : j.at("failingEnumerations").items()) {
                rig.failingEnumerations[cls] = status(st, "failingEnumerations." + cls);
            }
        }
        int i = 0;
        for (const auto& d : j.value("displays", json::array())) {
            rig.displays.push_back(display(d, "displays[" + std::to_string(i++) + "]"));
            for (std::size_t k = 0; k + 1 < rig.displays.size(); ++k) {
                if (rig.displays[k].id == rig.displays.back().id) {
                    fail("display id " + std::to_string(rig.displays.back().id) + " is used twice");
                }
            }
        }
        i = 0;
        for (const auto& a : j.value("audioDevices", json::array()))
            rig.audioDevices.push_back(audioDevice(a, i++));
        i = 0;
        for (const auto& e : j.value("events", json::array()))
            rig.events.push_back(event(e, i++));
        rig.profileRoot = j.value("profileRoot", rig.profileRoot);
        rig.homeDirectory = j.value("homeDirectory", rig.homeDirectory);
        rig.accessibilityTrusted = j.value("accessibility", true);
        rig.overlays = j.value("overlays", true);
        const auto layout = j.value("keyboardLayout", std::string("us"));
        if (layout == "us") {
            rig.keyboardLayout = SimKeyboardLayoutKind::us;
        } else if (layout == "none") {
            rig.keyboardLayout = SimKeyboardLayoutKind::noInputSource;
        } else if (layout == "noLayoutData") {
            rig.keyboardLayout = SimKeyboardLayoutKind::noLayoutData;
        } else {
            fail("keyboardLayout must be \"us\", \"none\" or \"noLayoutData\"");
        }
    } catch (const json::exception& e) {
        fail(e.what());
    }
    return rig;
}

SimRig SimRig::load(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("rig: cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    SimRig rig = parse(text.str());
    // A relative profile root is relative to the rig file.
    if (!rig.profileRoot.empty() && rig.profileRoot.front() != '/') {
        const auto slash = path.find_last_of('/');
        if (slash != std::string::npos)
            rig.profileRoot = path.substr(0, slash + 1) + rig.profileRoot;
    }
    return rig;
}

SimRig SimRig::defaultRig() {
    return parse(kDefaultRigJSON);
}

}  // namespace orvane::platform::sim
