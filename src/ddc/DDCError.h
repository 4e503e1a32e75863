// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "ddc/VCPCode.h"
#include "platform/PlatformError.h"
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
    /// platformText, when given, is the platform's own words for the
    /// missing display or bus, and the whole description.
    static DDCError framebufferNotFound(DisplayID display, const std::string& platformText = {});
    /// The error's text is the platform's own words for it.
    static DDCError i2cOpenFailed(const platform::PlatformError& error);
    static DDCError i2cSendFailed(const platform::PlatformError& error);
    static DDCError i2cRequestFailed(const platform::PlatformError& error);
    static DDCError readResponseTooShort(int expected, int got);
    static DDCError vcpCodeUnsupported(VCPCode code);
    static DDCError maxRetriesExceeded(const DDCError& last);
    static DDCError i2cInterfaceNotFound(const std::string& platformText = {});
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
    /// The platform's error, for the bus failures.
    std::error_code platformError() const { return error_; }
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
    std::error_code error_;
    int expected_ = 0;
    int got_ = 0;
    VCPCode code_ = VCPCode::brightness;
    std::shared_ptr<const DDCError> underlying_;
};

}  // namespace orvane::ddc
