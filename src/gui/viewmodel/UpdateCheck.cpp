// SPDX-License-Identifier: MIT
#include "gui/viewmodel/UpdateCheck.h"

#include <algorithm>
#include <regex>
#include <vector>

#include "runtime/Format.h"

namespace orvane::gui {

bool UpdateCheck::feedHasItems(int httpStatus, const std::string& body) {
    if (httpStatus != 200 || body.empty()) return false;
    // Not UTF-8 counts as no feed at all.
    if (runtime::validUTF8(body) != body) return false;
    return body.find("<item>") != std::string::npos || body.find("<item ") != std::string::npos;
}

std::optional<UpdateCheck::Release> UpdateCheck::newestRelease(const std::string& body) {
    auto start = body.find("<item>");
    if (start == std::string::npos) start = body.find("<item ");
    if (start == std::string::npos) return std::nullopt;
    const auto end = body.find("</item>", start);
    const std::string item =
        body.substr(start, end == std::string::npos ? std::string::npos : end - start);
    auto tag = [&](const char* name) -> std::string {
        const std::regex re(std::string("<") + name + "[^>]*>\\s*([^<]*?)\\s*</" + name + ">");
        std::smatch m;
        return std::regex_search(item, m, re) ? m[1].str() : std::string();
    };
    Release release;
    release.version = tag("sparkle:shortVersionString");
    if (release.version.empty()) {
        // "Orvane 0.7.0": the version the title names.
        static const std::regex version(
            R"((?:^|[^0-9A-Za-z.])v?(\d+(?:\.\d+)*(?:-[0-9A-Za-z.]+)?))");
        const std::string title = tag("title");
        std::smatch m;
        if (std::regex_search(title, m, version)) release.version = m[1].str();
    }
    release.link = tag("link");
    if (release.version.empty() && release.link.empty()) return std::nullopt;
    return release;
}

std::optional<int> UpdateCheck::compareVersions(const std::string& a, const std::string& b) {
    struct Parsed {
        std::vector<unsigned long long> numbers;
        std::string preRelease;
    };
    const auto parse = [](std::string v) -> std::optional<Parsed> {
        if (!v.empty() && (v[0] == 'v' || v[0] == 'V')) v.erase(0, 1);
        if (const auto plus = v.find('+'); plus != std::string::npos) v.resize(plus);  // build
        Parsed p;
        if (const auto dash = v.find('-'); dash != std::string::npos) {
            p.preRelease = v.substr(dash + 1);
            v.resize(dash);
        }
        std::size_t i = 0;
        while (i <= v.size()) {
            const auto dot = std::min(v.find('.', i), v.size());
            const std::string part = v.substr(i, dot - i);
            if (part.empty() || part.size() > 18 ||
                part.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            p.numbers.push_back(std::stoull(part));
            i = dot + 1;
        }
        return p;
    };
    const auto x = parse(a), y = parse(b);
    if (!x || !y) return std::nullopt;
    for (std::size_t i = 0; i < std::max(x->numbers.size(), y->numbers.size()); ++i) {
        const auto m = i < x->numbers.size() ? x->numbers[i] : 0;
        const auto n = i < y->numbers.size() ? y->numbers[i] : 0;
        if (m != n) return m < n ? -1 : 1;
    }
    if (x->preRelease == y->preRelease) return 0;
    if (x->preRelease.empty()) return 1;  // the release comes after its pre-releases
    if (y->preRelease.empty()) return -1;
    return x->preRelease < y->preRelease ? -1 : 1;
}

UpdateCheck::Outcome UpdateCheck::decide(const std::string& error, int httpStatus,
                                         const std::string& body,
                                         const std::string& runningVersion) {
    Outcome outcome;
    if (!error.empty()) {
        outcome.reason = error;
    } else if (httpStatus != 200) {
        outcome.reason = "the server answered HTTP " + std::to_string(httpStatus);
    } else if (body.empty()) {
        outcome.reason = "the feed is empty";
    } else if (runtime::validUTF8(body) != body) {
        outcome.reason = "the feed is not text";
    } else if (!feedHasItems(httpStatus, body)) {
        outcome.kind = Outcome::Kind::upToDate;  // a feed that lists no release yet
    } else if (auto release = newestRelease(body); !release || release->version.empty()) {
        outcome.reason = "the feed's newest release names no version";
    } else if (auto order =
                   compareVersions(release->version, runningVersion.empty() ? "0" : runningVersion);
               !order) {
        outcome.reason = "the feed's version \"" + release->version + "\" is not a version";
    } else if (*order > 0) {
        outcome.kind = Outcome::Kind::newer;
        outcome.release = std::move(release);
    } else {
        outcome.kind = Outcome::Kind::upToDate;
    }
    return outcome;
}

std::string UpdateCheck::upToDateText(const std::optional<std::string>& name,
                                      const std::optional<std::string>& version) {
    return name.value_or("This app") + " " + version.value_or("1.0") + " is the latest version.";
}

}  // namespace orvane::gui
