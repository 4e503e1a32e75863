// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace orvane::platform::sim {

class InfoDictionary;

/// One value of an info dictionary. A nested dictionary is held immutable and
/// shared, so that the two types can be defined one after the other.
class InfoValue {
  public:
    InfoValue(std::int64_t n) : value_(n) {}
    InfoValue(std::string s) : value_(std::move(s)) {}
    InfoValue(std::vector<std::uint8_t> bytes) : value_(std::move(bytes)) {}
    InfoValue(InfoDictionary d);

    const std::int64_t* asNumber() const { return std::get_if<std::int64_t>(&value_); }
    const std::string* asString() const { return std::get_if<std::string>(&value_); }
    const InfoDictionary* asDictionary() const {
        const auto* d = std::get_if<std::shared_ptr<const InfoDictionary>>(&value_);
        return d ? d->get() : nullptr;
    }
    const std::vector<std::uint8_t>* asData() const {
        return std::get_if<std::vector<std::uint8_t>>(&value_);
    }

  private:
    std::variant<std::int64_t, std::string, std::vector<std::uint8_t>,
                 std::shared_ptr<const InfoDictionary>>
        value_;
};

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

inline InfoValue::InfoValue(InfoDictionary d)
    : value_(std::make_shared<const InfoDictionary>(std::move(d))) {}

}  // namespace orvane::platform::sim
