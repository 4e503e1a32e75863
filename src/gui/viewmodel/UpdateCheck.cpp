// SPDX-License-Identifier: MIT
#include "gui/viewmodel/UpdateCheck.h"

#include <regex>

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
    if (release.version.empty()) release.version = tag("title");
    release.link = tag("link");
    if (release.version.empty() && release.link.empty()) return std::nullopt;
    return release;
}

std::string UpdateCheck::upToDateText(const std::optional<std::string>& name,
                                      const std::optional<std::string>& version) {
    return name.value_or("This app") + " " + version.value_or("1.0") + " is the latest version.";
}

}  // namespace orvane::gui
