// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace orvane::platform {

class InfoValue;

/// A display info dictionary: keys in insertion order, values that are numbers,
/// strings, byte strings or nested dictionaries (localized product names).
class InfoDictionary {
  public:
    void set(std::string key, InfoValue value);
    const InfoValue* find(std::string_view key) const;
    /// The value under key as an unsigned 32-bit number; none if missing or not a number.
    std::optional<std::uint32_t> number(std::string_view key) const;
    const std::vector<std::pair<std::string, InfoValue>>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

  private:
    std::vector<std::pair<std::string, InfoValue>> entries_;
};

class InfoValue {
  public:
    using Storage =
        std::variant<std::int64_t, std::string, std::vector<std::uint8_t>, InfoDictionary>;
    InfoValue(std::int64_t n) : value_(n) {}
    InfoValue(std::string s) : value_(std::move(s)) {}
    InfoValue(std::vector<std::uint8_t> bytes) : value_(std::move(bytes)) {}
    InfoValue(InfoDictionary d) : value_(std::move(d)) {}

    const std::int64_t* asNumber() const { return std::get_if<std::int64_t>(&value_); }
    const std::string* asString() const { return std::get_if<std::string>(&value_); }
    const InfoDictionary* asDictionary() const { return std::get_if<InfoDictionary>(&value_); }
    const std::vector<std::uint8_t>* asData() const {
        return std::get_if<std::vector<std::uint8_t>>(&value_);
    }

  private:
    Storage value_;
};

}  // namespace orvane::platform
