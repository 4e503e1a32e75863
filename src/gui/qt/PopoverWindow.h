// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <vector>

#include "gui/qt/DisplayCard.h"
#include "gui/viewmodel/PopoverModel.h"

class QVBoxLayout;
class QLabel;
class QScrollArea;

namespace orvane::gui {

/// The tray's popover: header, one card per display, presets, footer.
class PopoverWindow final : public QWidget {
  public:
    static constexpr int kWidth = 320;

    explicit PopoverWindow(PopoverModel& model, QWidget* parent = nullptr);
    ~PopoverWindow() override;

    /// "Quit Orvane".
    std::function<void()> onQuit;
    /// The gear; none leaves it disabled (no settings window yet).
    std::function<void()> onOpenSettings;

    const std::vector<DisplayCard*>& cards() const { return cards_; }
    QLabel* countLine() const { return count_; }
    QWidget* emptyState() const { return empty_; }
    QWidget* presetsArea() const { return presets_; }
    /// "Next: Evening at 21:02 (sunset-30)", hidden with nothing scheduled.
    QLabel* nextChange() const { return next_; }
    QToolButton* presetsMenu() const { return presetsMenu_; }
    QPushButton* saveButton() const { return save_; }
    QLineEdit* presetName() const { return name_; }
    QWidget* saveSheet() const { return saveSheet_; }
    QToolButton* settingsButton() const { return settings_; }
    QToolButton* quitButton() const { return quit_; }
    /// Draws the model again (after presets or displays changed).
    void refresh();
    /// 320 wide, as tall as the content at that width (wrapped lines
    /// included), but no taller than the screen area it opens in: the cards
    /// scroll then, and the presets and footer stay in view.
    QSize sizeHint() const override;
    /// Takes the height the content needs now, within the area.
    void fitContent();
    /// The available area of the screen the popover opens on.
    void fitTo(const QRect& available);
    QScrollArea* cardsArea() const { return scroll_; }
    QWidget* footer() const { return footer_; }

  protected:
    void changeEvent(QEvent* event) override;
    /// Esc closes it.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void rebuildCards();
    void rebuildPresetsMenu();
    void orderFocus();
    QIcon symbol(const char* name) const;

    PopoverModel& model_;
    QLabel* count_;
    QLabel* next_;
    QLabel* headerIcon_;
    QWidget* empty_;
    QVBoxLayout* cardsLayout_;
    QWidget* content_;
    QScrollArea* scroll_;
    QWidget* footer_;
    QRect available_;
    bool rebuildPending_ = false;
    std::vector<DisplayCard*> cards_;
    QWidget* presets_;
    QToolButton* presetsMenu_;
    QPushButton* save_;
    QWidget* saveSheet_;
    QLineEdit* name_;
    QToolButton* settings_;
    QToolButton* quit_;
};

}  // namespace orvane::gui
