// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QIcon>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::gui {

/// The icon for a symbol name ("sun.max.fill"): the icon theme's, where it
/// has one of the names mapped to the symbol (a symbolic one drawn in the
/// given colour), else the icon drawn for Orvane in the given colour.
/// docs/icons.md lists the mapping.
class SymbolIcon {
  public:
    static QIcon icon(std::string_view symbol, const QColor& color);
    /// The theme names tried for symbol, in order; empty for unknown symbols.
    static QStringList themeNames(std::string_view symbol);
    /// Every symbol the views use.
    static std::vector<std::string> symbols();
    /// Whether Orvane carries its own drawing of symbol.
    static bool isBundled(std::string_view symbol);
    /// Theme icons off: only the bundled drawings (the screenshots, tests).
    static void setUseTheme(bool use);
};

}  // namespace orvane::gui
