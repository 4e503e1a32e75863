// SPDX-License-Identifier: MIT
// orvane://vcp: any feature a monitor lists, beside the five probed ones.
#include <algorithm>

#include "ddc/MCCSNames.h"
#include "runtime/Format.h"
#include "settings/CLIHandler.h"

namespace orvane::settings {

namespace {

std::string codeName(std::uint8_t code) {
    return ddc::displayName(static_cast<ddc::VCPCode>(code)) + " (" + ddc::hexByte(code) + ")";
}

}  // namespace

std::string CLIHandler::featureRefusal(const displays::DisplayState& state, std::uint8_t code,
                                       std::optional<std::uint16_t> value) const {
    // A monitor that lists its features is held to them; one that lists
    // none is asked anyway.
    const auto caps = registry_->knownCapabilities(state);
    if (!caps) return {};
    const std::string name = state.info.displayName();
    const auto* f = caps->feature(code);
    if (!f) return name + " does not list " + codeName(code);
    if (!value || f->values.empty()) return {};
    if (*value <= 0xFF && std::find(f->values.begin(), f->values.end(),
                                    static_cast<std::uint8_t>(*value)) != f->values.end())
        return {};
    std::string allowed;
    for (auto v : f->values)
        allowed += (allowed.empty() ? "" : ", ") + std::to_string(v);
    return name + " takes " + codeName(code) + " = " + allowed;
}

runtime::Task<bool> CLIHandler::vcp(Parameters p) {
    const char* codeText = parameter(p, "code");
    const auto selected = selectDisplays(p);
    if (!selected) co_return false;
    if (!codeText) {
        // The features each display's monitor lists.
        bool all = true;
        for (const auto& state : *selected) {
            auto caps = co_await registry_->capabilities(state->info.id);
            const std::string name = state->info.displayName();
            if (!caps) {
                log_.line(name + ": no capabilities (no DDC/CI, or the monitor lists none)");
                all = false;
                continue;
            }
            for (const auto& f : caps->features) {
                std::string line = name + ": " + codeName(f.code);
                for (std::size_t i = 0; i < f.values.size(); ++i)
                    line += (i ? ", " : ": ") + ddc::valueLabel(f.code, f.values[i]);
                log_.line(line);
            }
        }
        co_return all;
    }
    const auto code = ddc::parseCode(codeText);
    if (!code) co_return badValue("vcp", "'code' as a VCP code (0x87, or 135)");
    if (std::find(ddc::kProbedVCPCodes.begin(), ddc::kProbedVCPCodes.end(),
                  static_cast<ddc::VCPCode>(*code)) != ddc::kProbedVCPCodes.end()) {
        log_.line("[CLIHandler] " + codeName(*code) + " has a command of its own");
        co_return false;
    }
    const char* valueText = parameter(p, "value");
    std::optional<std::uint16_t> value;
    if (valueText) {
        value = parseUInt16(valueText);
        if (!value) co_return badValue("vcp", "'value' as a number from 0 to 65535");
    }
    bool all = true;
    std::vector<runtime::Task<bool>> writes;
    for (const auto& state : *selected) {
        const std::string name = state->info.displayName();
        // Read once per monitor (then kept): it holds the command to its list.
        const auto listed = co_await registry_->capabilities(state->info.id);
        (void)listed;
        if (auto why = featureRefusal(*state, *code, value); !why.empty()) {
            log_.line("[CLIHandler] " + why);
            all = false;
            continue;
        }
        if (!value) {
            const std::optional<ddc::VCPValue> read =
                co_await registry_->featureRead(*state, *code);
            if (!read) {
                all = false;
                continue;
            }
            log_.line(name + ": " + codeName(*code) + " = " + std::to_string(read->current) +
                      " (max " + std::to_string(read->max) + ")");
        } else if (auto write = registry_->featureWrite(*state, *code, *value)) {
            writes.push_back(std::move(*write));
        }
    }
    if (!value) co_return all;
    const bool wrote = co_await allOrNone(std::move(writes), "VCP writes");
    co_return wrote&& all;
}

}  // namespace orvane::settings
