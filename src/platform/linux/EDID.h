// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvane::platform::linux_ {

/// What Orvane reads from a monitor's EDID base block. Written by hand: Debian
/// has no maintained EDID library, and only a few fields are needed.
struct EDID {
    struct Mode {
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        double refreshRate = 0;
    };
    static constexpr std::size_t kBlockSize = 128;

    /// The three-letter PNP ID ("DEL").
    std::string vendor;
    /// Bytes 8-9 as one big-endian number: the vendor number the core matches on.
    std::uint16_t vendorNumber = 0;
    std::uint16_t productCode = 0;
    std::uint32_t serialNumber = 0;
    /// 0 when unknown; 255 marks a model year.
    std::uint8_t week = 0;
    int year = 0;
    /// From the monitor-name and serial-text descriptors; empty when absent.
    /// Bytes outside printable ASCII are replaced with '?'.
    std::string name;
    std::string serialText;
    /// The first detailed timing.
    std::optional<Mode> preferredMode;

    /// EDID is untrusted: none unless data holds a whole base block with the
    /// fixed header and a correct checksum. Nothing past that block is read.
    static std::optional<EDID> parse(std::span<const std::uint8_t> data);
};

}  // namespace orvane::platform::linux_
