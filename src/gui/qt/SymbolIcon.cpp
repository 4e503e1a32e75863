// SPDX-License-Identifier: MIT
#include "gui/qt/SymbolIcon.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QSvgRenderer>
#include <map>
#include <string>

// The icons live in this static library; their resource must be registered
// by hand, or the linker drops it.
static void registerIcons() {
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace orvane::gui {

namespace {

bool useTheme = true;

const std::map<std::string, QStringList, std::less<>>& themeTable() {
    // Symbolic names first (Adwaita), then the Breeze and generic ones.
    static const std::map<std::string, QStringList, std::less<>> table{
        {"display.2", {"preferences-desktop-display-symbolic", "preferences-desktop-display"}},
        {"display", {"video-display-symbolic", "video-display"}},
        {"laptopcomputer", {"computer-laptop-symbolic", "computer-laptop"}},
        {"display.trianglebadge.exclamationmark", {"dialog-warning-symbolic", "dialog-warning"}},
        {"list.bullet.rectangle", {"view-list-symbolic", "view-list-details"}},
        {"star.fill", {"starred-symbolic", "starred"}},
        {"plus.circle", {"list-add-symbolic", "list-add"}},
        {"xmark.circle", {"action-unavailable-symbolic", "dialog-cancel"}},
        {"xmark", {"window-close-symbolic", "window-close"}},
        {"gear", {"emblem-system-symbolic", "configure"}},
        {"power", {"system-shutdown-symbolic", "system-shutdown"}},
        {"chevron.up", {"pan-up-symbolic", "arrow-up"}},
        {"chevron.down", {"pan-down-symbolic", "arrow-down"}},
        {"sun.max.fill", {"display-brightness-high-symbolic", "brightness-high"}},
        {"sun.min.fill", {"display-brightness-medium-symbolic", "brightness-low"}},
        {"sun.min", {"display-brightness-low-symbolic", "brightness-low"}},
        {"circle.righthalf.filled", {"contrast-symbolic", "contrast"}},
        {"speaker.wave.3.fill", {"audio-volume-high-symbolic", "audio-volume-high"}},
        {"speaker.wave.2.fill", {"audio-volume-medium-symbolic", "audio-volume-medium"}},
        {"speaker.wave.1.fill", {"audio-volume-low-symbolic", "audio-volume-low"}},
        {"speaker.slash.fill", {"audio-volume-muted-symbolic", "audio-volume-muted"}},
        {"aspectratio", {"view-fullscreen-symbolic", "view-fullscreen"}},
        {"paintpalette", {"applications-graphics-symbolic", "color-management"}},
        {"rectangle.connected.to.line.below", {"video-display-symbolic", "video-display"}},
        {"info.circle", {"dialog-information-symbolic", "help-about"}},
        {"checkmark", {"object-select-symbolic", "checkmark"}},
        {"bolt.fill", {"thunderbolt-symbolic", "preferences-desktop-thunderbolt"}},
        {"cable.connector", {"media-removable-symbolic", "drive-removable-media-usb"}},
        {"tv", {"video-television-symbolic", "video-television"}},
        {"airplayvideo", {"video-display-symbolic", "video-display"}},
        {"questionmark.circle", {"dialog-question-symbolic", "dialog-question"}},
        {"keyboard", {"input-keyboard-symbolic", "input-keyboard"}},
        {"arrow.triangle.2.circlepath", {"view-refresh-symbolic", "view-refresh"}},
        {"slider.horizontal.3", {"preferences-other-symbolic", "configure"}},
        {"arrow.right", {"go-next-symbolic", "go-next"}},
        {"xmark.circle.fill", {"edit-clear-symbolic", "edit-clear"}},
    };
    return table;
}

QString resourcePath(std::string_view symbol) {
    registerIcons();
    return QStringLiteral(":/orvane/icons/") + QString::fromUtf8(symbol.data(), symbol.size()) +
           QStringLiteral(".svg");
}

/// Draws an icon at any size in one colour, so the icons follow the palette
/// (dark mode included) and stay sharp at 200 %: a bundled monochrome SVG,
/// or a theme's symbolic icon (the themes draw those in one dark grey and
/// leave the recolouring to their toolkit, which under a dark GTK theme
/// leaves them nearly invisible in Qt).
class TintedEngine final : public QIconEngine {
  public:
    TintedEngine(QString svg, QIcon themeIcon, QColor color)
        : svg_(std::move(svg)), themeIcon_(std::move(themeIcon)), color_(color) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, render(rect.size() * dpr, mode));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        return render(size, mode);
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new TintedEngine(svg_, themeIcon_, color_); }

  private:
    QPixmap render(QSize size, QIcon::Mode mode) const {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        if (svg_.isEmpty()) {
            themeIcon_.paint(&p, image.rect());
        } else {
            QSvgRenderer(svg_).render(&p);
        }
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        QColor c = color_;
        if (mode == QIcon::Disabled) c.setAlphaF(c.alphaF() * 0.4f);
        p.fillRect(image.rect(), c);
        p.end();
        return QPixmap::fromImage(image);
    }
    QString svg_;
    QIcon themeIcon_;
    QColor color_;
};

}  // namespace

QStringList SymbolIcon::themeNames(std::string_view symbol) {
    const auto& table = themeTable();
    auto it = table.find(symbol);
    return it == table.end() ? QStringList{} : it->second;
}

std::vector<std::string> SymbolIcon::symbols() {
    std::vector<std::string> names;
    for (const auto& [name, themes] : themeTable())
        names.push_back(name);
    return names;
}

bool SymbolIcon::isBundled(std::string_view symbol) {
    return QFile::exists(resourcePath(symbol));
}

void SymbolIcon::setUseTheme(bool use) {
    useTheme = use;
}

QIcon SymbolIcon::icon(std::string_view symbol, const QColor& color) {
    if (useTheme) {
        for (const auto& name : themeNames(symbol)) {
            if (!QIcon::hasThemeIcon(name)) continue;
            // Full-colour icons carry their own contrast; symbolic ones take the text's.
            if (name.endsWith(QStringLiteral("-symbolic")))
                return QIcon(new TintedEngine({}, QIcon::fromTheme(name), color));
            return QIcon::fromTheme(name);
        }
    }
    if (isBundled(symbol)) return QIcon(new TintedEngine(resourcePath(symbol), {}, color));
    return {};
}

}  // namespace orvane::gui
