// SPDX-License-Identifier: MIT
#include "ddc/MCCSNames.h"

#include <algorithm>
#include <array>
#include <utility>

#include "runtime/Format.h"
#include "runtime/Hex.h"

namespace orvane::ddc {

namespace {

using Name = std::pair<std::uint8_t, std::string_view>;

constexpr std::array kFeatures{
    Name{0x02, "New Control Value"},
    Name{0x04, "Restore Factory Defaults"},
    Name{0x05, "Restore Factory Brightness/Contrast"},
    Name{0x06, "Restore Factory Geometry"},
    Name{0x08, "Restore Factory Color"},
    Name{0x0B, "Color Temperature Increment"},
    Name{0x0C, "Color Temperature Request"},
    Name{0x10, "Brightness"},
    Name{0x12, "Contrast"},
    Name{0x14, "Color Preset"},
    Name{0x16, "Red Gain"},
    Name{0x18, "Green Gain"},
    Name{0x1A, "Blue Gain"},
    Name{0x52, "Active Control"},
    Name{0x60, "Input Source"},
    Name{0x62, "Volume"},
    Name{0x6C, "Red Black Level"},
    Name{0x6E, "Green Black Level"},
    Name{0x70, "Blue Black Level"},
    Name{0x87, "Sharpness"},
    Name{0x8D, "Audio Mute"},
    Name{0xAA, "Screen Orientation"},
    Name{0xAC, "Horizontal Frequency"},
    Name{0xAE, "Vertical Frequency"},
    Name{0xB2, "Sub-Pixel Layout"},
    Name{0xB6, "Display Technology"},
    Name{0xC6, "Application Enable Key"},
    Name{0xC8, "Controller Type"},
    Name{0xC9, "Firmware Level"},
    Name{0xCA, "OSD"},
    Name{0xCC, "OSD Language"},
    Name{0xD6, "Power Mode"},
    Name{0xDC, "Display Mode"},
    Name{0xDF, "VCP Version"},
};

constexpr std::array kColorPresets{
    Name{0x01, "sRGB"},    Name{0x02, "Native"},  Name{0x03, "4000 K"}, Name{0x04, "5000 K"},
    Name{0x05, "6500 K"},  Name{0x06, "7500 K"},  Name{0x07, "8200 K"}, Name{0x08, "9300 K"},
    Name{0x09, "10000 K"}, Name{0x0A, "11500 K"}, Name{0x0B, "User 1"}, Name{0x0C, "User 2"},
    Name{0x0D, "User 3"},
};

constexpr std::array kInputs{
    Name{0x01, "VGA-1"},         Name{0x02, "VGA-2"},       Name{0x03, "DVI-1"},
    Name{0x04, "DVI-2"},         Name{0x05, "Composite-1"}, Name{0x06, "Composite-2"},
    Name{0x07, "S-Video-1"},     Name{0x08, "S-Video-2"},   Name{0x09, "Tuner-1"},
    Name{0x0A, "Tuner-2"},       Name{0x0B, "Tuner-3"},     Name{0x0C, "Component-1"},
    Name{0x0D, "Component-2"},   Name{0x0E, "Component-3"}, Name{0x0F, "DisplayPort-1"},
    Name{0x10, "DisplayPort-2"}, Name{0x11, "HDMI-1"},      Name{0x12, "HDMI-2"},
};

constexpr std::array kMute{Name{0x01, "Muted"}, Name{0x02, "Not muted"}};

constexpr std::array kOrientation{Name{0x01, "0°"}, Name{0x02, "90°"}, Name{0x03, "180°"},
                                  Name{0x04, "270°"}};

constexpr std::array kLanguages{
    Name{0x01, "Chinese (traditional)"},
    Name{0x02, "English"},
    Name{0x03, "French"},
    Name{0x04, "German"},
    Name{0x05, "Italian"},
    Name{0x06, "Japanese"},
    Name{0x07, "Korean"},
    Name{0x08, "Portuguese (Portugal)"},
    Name{0x09, "Russian"},
    Name{0x0A, "Spanish"},
    Name{0x0B, "Swedish"},
    Name{0x0C, "Turkish"},
    Name{0x0D, "Chinese (simplified)"},
    Name{0x0E, "Portuguese (Brazil)"},
    Name{0x0F, "Arabic"},
    Name{0x10, "Bulgarian"},
    Name{0x11, "Croatian"},
    Name{0x12, "Czech"},
    Name{0x13, "Danish"},
    Name{0x14, "Dutch"},
    Name{0x15, "Estonian"},
    Name{0x16, "Finnish"},
    Name{0x17, "Greek"},
    Name{0x18, "Hebrew"},
    Name{0x19, "Hindi"},
    Name{0x1A, "Hungarian"},
    Name{0x1B, "Latvian"},
    Name{0x1C, "Lithuanian"},
    Name{0x1D, "Norwegian"},
    Name{0x1E, "Polish"},
    Name{0x1F, "Romanian"},
    Name{0x20, "Serbian"},
    Name{0x21, "Slovak"},
    Name{0x22, "Slovenian"},
    Name{0x23, "Thai"},
    Name{0x24, "Ukrainian"},
    Name{0x25, "Vietnamese"},
};

constexpr std::array kPowerModes{Name{0x01, "On"}, Name{0x02, "Standby"}, Name{0x03, "Suspend"},
                                 Name{0x04, "Off"}, Name{0x05, "Off (power switch)"}};

constexpr std::array kDisplayModes{
    Name{0x00, "Standard"}, Name{0x01, "Productivity"}, Name{0x02, "Mixed"},
    Name{0x03, "Movie"},    Name{0x04, "User"},         Name{0x05, "Games"},
    Name{0x06, "Sports"},   Name{0x07, "Professional"},
};

template <std::size_t N>
std::optional<std::string_view> find(const std::array<Name, N>& table, std::uint8_t key) {
    auto it =
        std::find_if(table.begin(), table.end(), [&](const Name& n) { return n.first == key; });
    if (it == table.end()) return std::nullopt;
    return it->second;
}

}  // namespace

std::optional<std::string_view> mccsFeatureName(std::uint8_t code) {
    return find(kFeatures, code);
}

std::optional<std::uint8_t> parseCode(std::string_view written) {
    std::string text = runtime::lowercased(std::string(written));
    int base = 10;
    if (text.size() > 2 && text.rfind("0x", 0) == 0) {
        text = text.substr(2);
        base = 16;
    } else if (text.size() > 1 && text.back() == 'h') {
        text.pop_back();
        base = 16;
    }
    if (text.empty() || text.size() > 3) return std::nullopt;
    unsigned v = 0;
    for (char c : text) {
        const int d = c >= '0' && c <= '9'                 ? c - '0'
                      : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                           : -1;
        if (d < 0) return std::nullopt;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    if (v > 0xFF) return std::nullopt;
    return static_cast<std::uint8_t>(v);
}

bool mccsLevel(std::uint8_t code) {
    constexpr std::array<std::uint8_t, 7> kLevels{0x16, 0x18, 0x1A, 0x6C, 0x6E, 0x70, 0x87};
    return std::find(kLevels.begin(), kLevels.end(), code) != kLevels.end();
}

bool mccsAdjustable(std::uint8_t code) {
    // The restore actions, the readings (frequencies, layout, versions) and
    // the five controls with rows of their own are left out.
    constexpr std::array<std::uint8_t, 12> kAdjustable{0x0C, 0x14, 0x16, 0x18, 0x1A, 0x6C,
                                                       0x6E, 0x70, 0x87, 0x8D, 0xCC, 0xDC};
    return std::find(kAdjustable.begin(), kAdjustable.end(), code) != kAdjustable.end();
}

std::optional<std::string_view> mccsValueName(std::uint8_t code, std::uint8_t value) {
    switch (code) {
        case 0x14:
            return find(kColorPresets, value);
        case 0x60:
            return find(kInputs, value);
        case 0x8D:
            return find(kMute, value);
        case 0xAA:
            return find(kOrientation, value);
        case 0xCC:
            return find(kLanguages, value);
        case 0xD6:
            return find(kPowerModes, value);
        case 0xDC:
            return find(kDisplayModes, value);
        default:
            return std::nullopt;
    }
}

std::string hexByte(std::uint8_t value) {
    return std::string(value < 0x10 ? "0x0" : "0x") + runtime::hex(value);
}

std::string featureLabel(std::uint8_t code) {
    if (auto name = mccsFeatureName(code)) return std::string(*name);
    return "VCP " + hexByte(code);
}

std::string valueLabel(std::uint8_t code, std::uint8_t value) {
    if (auto name = mccsValueName(code, value)) return std::string(*name);
    return hexByte(value);
}

}  // namespace orvane::ddc
