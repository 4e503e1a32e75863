// SPDX-License-Identifier: MIT
#include "app/InstallerImageCleanup.h"

#include <plist/plist.h>
#include <filesystem>
#include <memory>

namespace orvane::app {

namespace {
struct PlistDeleter {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

std::optional<std::string> stringValue(plist_t node) {
    if (!node || plist_get_node_type(node) != PLIST_STRING) return std::nullopt;
    char* value = nullptr;
    plist_get_string_val(node, &value);
    if (!value) return std::nullopt;
    std::string s(value);
    free(value);
    return s;
}

bool isArray(plist_t node) {
    return node && plist_get_node_type(node) == PLIST_ARRAY;
}
}  // namespace

bool InstallerImageCleanup::shouldRun() const {
    const auto starts = [&](const std::string& prefix) {
        return bundlePath_.compare(0, prefix.size(), prefix) == 0;
    };
    return starts("/Applications") || (!home_.empty() && starts(home_ + "/Applications"));
}

std::optional<InstallerImageCleanup::MountedImage> InstallerImageCleanup::findImage() {
    const auto info = runner_.run(kHdiutil, {"info", "-plist"}, true);
    if (!info.launched || info.output.empty()) return std::nullopt;
    plist_t raw = nullptr;
    plist_from_xml(info.output.data(), static_cast<std::uint32_t>(info.output.size()), &raw);
    const PlistPtr root(raw);
    if (!raw || plist_get_node_type(raw) != PLIST_DICT) return std::nullopt;
    plist_t images = plist_dict_get_item(raw, "images");
    if (!isArray(images)) return std::nullopt;
    const auto bundleName = std::filesystem::path(bundlePath_).filename().string();
    for (std::uint32_t i = 0; i < plist_array_get_size(images); ++i) {
        plist_t image = plist_array_get_item(images, i);
        if (!image || plist_get_node_type(image) != PLIST_DICT) continue;
        const auto imagePath = stringValue(plist_dict_get_item(image, "image-path"));
        plist_t entities = plist_dict_get_item(image, "system-entities");
        if (!imagePath || !isArray(entities)) continue;
        for (std::uint32_t j = 0; j < plist_array_get_size(entities); ++j) {
            plist_t entity = plist_array_get_item(entities, j);
            if (!entity || plist_get_node_type(entity) != PLIST_DICT) continue;
            const auto mount = stringValue(plist_dict_get_item(entity, "mount-point"));
            if (mount &&
                files_.fileExistsAtPath((std::filesystem::path(*mount) / bundleName).string()))
                return MountedImage{*imagePath, *mount};
        }
    }
    return std::nullopt;
}

void InstallerImageCleanup::detachAndTrash(const MountedImage& image) {
    const auto detach = runner_.run(kHdiutil, {"detach", image.mountPoint, "-quiet"}, false);
    if (detach.launched) files_.trashItem(image.imagePath);
}

void InstallerImageCleanup::run() {
    if (auto image = findImage()) detachAndTrash(*image);
}

}  // namespace orvane::app
