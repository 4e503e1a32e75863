// SPDX-License-Identifier: MIT
#include "schedule/PresetSchedule.h"

#include <time.h>

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

namespace orvane::schedule {

namespace {

/// Polar day or night can last months; beyond a few days a schedule is dormant.
constexpr int kSearchDays = 3;

std::optional<int> integer(std::string_view text) {
    int v = 0;
    const auto* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || text.empty()) return std::nullopt;
    return v;
}

const char* eventName(PresetSchedule::Event e) {
    switch (e) {
        case PresetSchedule::Event::sunrise:
            return "sunrise";
        case PresetSchedule::Event::sunset:
            return "sunset";
        case PresetSchedule::Event::time:
            break;
    }
    return "time";
}

bool valid(const PresetSchedule& s) {
    return s.event == PresetSchedule::Event::time ? s.minutes >= 0 && s.minutes < 1440
                                                  : s.minutes >= -720 && s.minutes <= 720;
}

}  // namespace

std::optional<PresetSchedule> PresetSchedule::parse(std::string_view text) {
    PresetSchedule s;
    for (auto event : {Event::sunrise, Event::sunset}) {
        const std::string_view name = eventName(event);
        if (text.substr(0, name.size()) != name) continue;
        s.event = event;
        auto rest = text.substr(name.size());
        if (rest.empty()) return s;
        if (rest[0] != '+' && rest[0] != '-') return std::nullopt;
        auto offset = integer(rest.substr(1));
        if (!offset) return std::nullopt;
        s.minutes = rest[0] == '-' ? -*offset : *offset;
        return valid(s) ? std::optional(s) : std::nullopt;
    }
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || text.size() - colon != 3) return std::nullopt;
    const auto h = integer(text.substr(0, colon));
    const auto m = integer(text.substr(colon + 1));
    if (!h || !m || *h < 0 || *h > 23 || *m < 0 || *m > 59) return std::nullopt;
    s.minutes = *h * 60 + *m;
    return s;
}

std::string PresetSchedule::text() const {
    if (event == Event::time) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d:%02d", minutes / 60, minutes % 60);
        return buf;
    }
    std::string out = eventName(event);
    if (minutes) out += (minutes > 0 ? "+" : "-") + std::to_string(std::abs(minutes));
    return out;
}

std::optional<PresetSchedule> PresetSchedule::decode(const std::vector<std::uint8_t>& bytes) {
    const auto doc = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!doc.is_object()) return std::nullopt;
    const auto event = doc.find("event");
    const auto minutes = doc.find("minutes");
    if (event == doc.end() || !event->is_string() || minutes == doc.end() ||
        !minutes->is_number_integer())
        return std::nullopt;
    PresetSchedule s;
    const auto name = event->get<std::string>();
    if (name == "sunrise") {
        s.event = Event::sunrise;
    } else if (name == "sunset") {
        s.event = Event::sunset;
    } else if (name != "time") {
        return std::nullopt;
    }
    const auto m = minutes->get<std::int64_t>();
    if (m < -720 || m > 1440) return std::nullopt;
    s.minutes = static_cast<int>(m);
    return valid(s) ? std::optional(s) : std::nullopt;
}

std::vector<std::uint8_t> PresetSchedule::encode() const {
    nlohmann::ordered_json doc;
    doc["event"] = eventName(event);
    doc["minutes"] = minutes;
    const auto text = doc.dump();
    return {text.begin(), text.end()};
}

std::optional<double> momentOnDayOf(const PresetSchedule& schedule, double localTime, int dayOffset,
                                    const std::optional<Location>& where) {
    tzset();  // a time zone changed while running counts from the next call
    const auto t = static_cast<time_t>(std::floor(localTime));
    tm day{};
    if (!localtime_r(&t, &day)) return std::nullopt;
    day.tm_mday += dayOffset;
    day.tm_hour = 12;  // normalised below; noon is on the day whatever the DST change
    day.tm_min = day.tm_sec = 0;
    day.tm_isdst = -1;
    if (mktime(&day) == -1) return std::nullopt;
    if (schedule.event == PresetSchedule::Event::time) {
        day.tm_hour = schedule.minutes / 60;
        day.tm_min = schedule.minutes % 60;
        day.tm_isdst = -1;
        const time_t at = mktime(&day);
        if (at == -1) return std::nullopt;
        return static_cast<double>(at);
    }
    if (!where) return std::nullopt;
    const auto sun = sunTimes(day.tm_year + 1900, static_cast<unsigned>(day.tm_mon + 1),
                              static_cast<unsigned>(day.tm_mday), *where);
    const auto event = schedule.event == PresetSchedule::Event::sunrise ? sun.sunrise : sun.sunset;
    if (!event) return std::nullopt;
    return *event + schedule.minutes * 60.0;
}

std::optional<double> lastMoment(const PresetSchedule& schedule, double now,
                                 const std::optional<Location>& where) {
    std::optional<double> last;
    for (int d = -kSearchDays; d <= 1; ++d) {
        auto m = momentOnDayOf(schedule, now, d, where);
        if (m && *m <= now && (!last || *m > *last)) last = m;
    }
    return last;
}

std::optional<double> nextMoment(const PresetSchedule& schedule, double now,
                                 const std::optional<Location>& where) {
    std::optional<double> next;
    for (int d = -1; d <= kSearchDays; ++d) {
        auto m = momentOnDayOf(schedule, now, d, where);
        if (m && *m > now && (!next || *m < *next)) next = m;
    }
    return next;
}

}  // namespace orvane::schedule
