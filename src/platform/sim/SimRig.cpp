// SPDX-License-Identifier: MIT
#include "platform/sim/SimRig.h"

#include <fstream>
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
    if (j.contains("times")) f.times = static_cast<int>(number(j.at("times"), where + ".times"));
    if (j.contains("status")) f.status = status(j.at("status"), where + ".status");
    if (j.contains("bytes")) f.bytes = static_cast<int>(number(j.at("bytes"), where + ".bytes"));
    return f;
}

SimMonitorSpec monitor(const json& j, const std::string& where) {
    SimMonitorSpec m;
    if (!j.is_object()) fail(where + " must be an object");
    m.answers = j.value("answers", true);
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

SimDisplaySpec display(const json& j, int index) {
    const std::string where = "displays[" + std::to_string(index) + "]";
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
    } catch (const json::parse_error& e) {
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
            rig.displays.push_back(display(d, i++));
            for (std::size_t k = 0; k + 1 < rig.displays.size(); ++k) {
                if (rig.displays[k].id == rig.displays.back().id) {
                    fail("display id " + std::to_string(rig.displays.back().id) + " is used twice");
                }
            }
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
    return parse(text.str());
}

SimRig SimRig::defaultRig() {
    return parse(kDefaultRigJSON);
}

}  // namespace orvane::platform::sim
