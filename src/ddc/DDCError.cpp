// SPDX-License-Identifier: MIT
#include "ddc/DDCError.h"

#include "runtime/Hex.h"

namespace orvane::ddc {

using runtime::hex;

DDCError DDCError::displayNotFound(DisplayID display) {
    DDCError e(Kind::displayNotFound,
               "Display " + std::to_string(display) + " not found in IORegistry");
    e.displayID_ = display;
    return e;
}

DDCError DDCError::framebufferNotFound(DisplayID display, const std::string& platformText) {
    DDCError e(Kind::framebufferNotFound,
               platformText.empty()
                   ? "No IOFramebuffer found for display " + std::to_string(display)
                   : platformText);
    e.displayID_ = display;
    return e;
}

DDCError DDCError::i2cOpenFailed(const platform::PlatformError& error) {
    DDCError e(Kind::i2cOpenFailed, "Failed to open I2C interface " + error.text);
    e.error_ = error.code;
    return e;
}

DDCError DDCError::i2cSendFailed(const platform::PlatformError& error) {
    DDCError e(Kind::i2cSendFailed, "I2C send request failed " + error.text);
    e.error_ = error.code;
    return e;
}

DDCError DDCError::i2cRequestFailed(const platform::PlatformError& error) {
    DDCError e(Kind::i2cRequestFailed, "I2C request returned error " + error.text);
    e.error_ = error.code;
    return e;
}

DDCError DDCError::readResponseTooShort(int expected, int got) {
    DDCError e(Kind::readResponseTooShort, "DDC reply too short: expected " +
                                               std::to_string(expected) + " bytes, got " +
                                               std::to_string(got));
    e.expected_ = expected;
    e.got_ = got;
    return e;
}

DDCError DDCError::vcpCodeUnsupported(VCPCode code) {
    DDCError e(Kind::vcpCodeUnsupported, "VCP code " + displayName(code) + " (0x" +
                                             hex(rawValue(code)) + ") not supported by display");
    e.code_ = code;
    return e;
}

DDCError DDCError::maxRetriesExceeded(const DDCError& last) {
    DDCError e(Kind::maxRetriesExceeded,
               "DDC operation failed after 3 retries: " + last.errorDescription());
    e.underlying_ = std::make_shared<const DDCError>(last);
    return e;
}

DDCError DDCError::i2cInterfaceNotFound(const std::string& platformText) {
    return DDCError(Kind::i2cInterfaceNotFound,
                    platformText.empty() ? "No I2C interface found on framebuffer" : platformText);
}

DDCError DDCError::readResponseInvalid() {
    return DDCError(Kind::readResponseInvalid, "DDC read response has invalid format");
}

DDCError DDCError::readChecksumMismatch() {
    return DDCError(Kind::readChecksumMismatch, "DDC reply checksum mismatch");
}

DDCError DDCError::avServiceNotAvailable() {
    return DDCError(Kind::avServiceNotAvailable, "IOAVService not available for this display");
}

DDCError DDCError::writeNotApplied(VCPCode code, std::uint16_t asked, std::uint16_t holds) {
    DDCError e(Kind::writeNotApplied, "Display acknowledged " + displayName(code) + "=" +
                                          std::to_string(asked) + " but still holds " +
                                          std::to_string(holds));
    e.code_ = code;
    e.expected_ = asked;
    e.got_ = holds;
    return e;
}

}  // namespace orvane::ddc
