// SPDX-License-Identifier: MIT
#include "gui/qt/ShortcutText.h"

#include <QKeySequence>
#include <QList>
#include <QString>

#include <array>
#include <utility>

namespace orvane::gui {

namespace {
/// The keys a layout does not name, by their virtual key code.
constexpr std::array<std::pair<std::uint32_t, Qt::Key>, 24> kFixedKeys{{
    {36, Qt::Key_Return}, {48, Qt::Key_Tab},    {49, Qt::Key_Space}, {51, Qt::Key_Backspace},
    {53, Qt::Key_Escape}, {96, Qt::Key_F5},     {97, Qt::Key_F6},    {98, Qt::Key_F7},
    {99, Qt::Key_F3},     {100, Qt::Key_F8},    {101, Qt::Key_F9},   {103, Qt::Key_F11},
    {105, Qt::Key_F13},   {107, Qt::Key_F14},   {109, Qt::Key_F10},  {111, Qt::Key_F12},
    {113, Qt::Key_F15},   {118, Qt::Key_F4},    {120, Qt::Key_F2},   {122, Qt::Key_F1},
    {123, Qt::Key_Left},  {124, Qt::Key_Right}, {125, Qt::Key_Down}, {126, Qt::Key_Up},
}};
}  // namespace

std::string ShortcutText::desktop(const input::KeyCombo& combo, platform::KeyboardLayout& layout) {
    Qt::KeyboardModifiers modifiers;
    if (combo.modifiers & input::kControlKey) modifiers |= Qt::ControlModifier;
    if (combo.modifiers & input::kOptionKey) modifiers |= Qt::AltModifier;
    if (combo.modifiers & input::kShiftKey) modifiers |= Qt::ShiftModifier;
    if (combo.modifiers & input::kCmdKey) modifiers |= Qt::MetaModifier;
    int key = 0;
    for (const auto& [code, qtKey] : kFixedKeys) {
        if (code == combo.keyCode) key = qtKey;
    }
    QString name;
    if (!key) {
        // A character key: Qt names it by its (upper-case) character.
        name = QString::fromStdString(input::KeyCombo::keyName(combo.keyCode, layout));
        const auto codes = name.toUcs4();
        if (codes.size() == 1) key = int(codes.front());
    }
    if (key) {
        return QKeySequence(QKeyCombination(modifiers, Qt::Key(key)))
            .toString(QKeySequence::NativeText)
            .toStdString();
    }
    // "Key10": a code the layout types nothing for.
    const QString prefix =
        QKeySequence(QKeyCombination(modifiers, Qt::Key_A)).toString(QKeySequence::NativeText);
    return (prefix.left(prefix.size() - 1) + name).toStdString();
}

}  // namespace orvane::gui
