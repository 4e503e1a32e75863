// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "ddc/VCPCode.h"
#include "platform/PlatformTypes.h"

namespace orvane::ddc {

/// Every failure of the DDC engine. Thrown through the engine's tasks; callers
/// log errorDescription() and fall back.
class DDCError : public std::exception {
  public:
    enum class Kind {
        displayNotFound,
        framebufferNotFound,
        i2cOpenFailed,
        i2cSendFailed,
        i2cRequestFailed,
        readResponseTooShort,
        vcpCodeUnsupported,
        maxRetriesExceeded,
        i2cInterfaceNotFound,
        readResponseInvalid,
        readChecksumMismatch,
        avServiceNotAvailable,
        writeNotApplied,
    };

    static DDCError displayNotFound(DisplayID display);
    static DDCError framebufferNotFound(DisplayID display);
    static DDCError i2cOpenFailed(platform::IOReturn status);
    static DDCError i2cSendFailed(platform::IOReturn status);
    /// platformText, when given, is the platform's own words for status.
    static DDCError i2cRequestFailed(platform::IOReturn status,
                                     const std::string& platformText = {});
    static DDCError readResponseTooShort(int expected, int got);
    static DDCError vcpCodeUnsupported(VCPCode code);
    static DDCError maxRetriesExceeded(const DDCError& last);
    static DDCError i2cInterfaceNotFound();
    static DDCError readResponseInvalid();
    static DDCError readChecksumMismatch();
    static DDCError avServiceNotAvailable();
    /// The display acknowledged a Set VCP and kept its old value (holds).
    static DDCError writeNotApplied(VCPCode code, std::uint16_t asked, std::uint16_t holds);

    Kind kind() const { return kind_; }
    /// The localized description every log line uses.
    const std::string& errorDescription() const { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

    // Payloads; meaningful only for the kinds that carry them.
    DisplayID displayID() const { return displayID_; }
    platform::IOReturn status() const { return status_; }
    int expected() const { return expected_; }
    int got() const { return got_; }
    VCPCode code() const { return code_; }
    /// The last attempt's error, for maxRetriesExceeded; null otherwise.
    const DDCError* underlying() const { return underlying_.get(); }

  private:
    DDCError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
    Kind kind_;
    std::string text_;
    DisplayID displayID_ = 0;
    platform::IOReturn status_ = 0;
    int expected_ = 0;
    int got_ = 0;
    VCPCode code_ = VCPCode::brightness;
    std::shared_ptr<const DDCError> underlying_;
};

}  // namespace orvane::ddc
