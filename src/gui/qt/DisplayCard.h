// SPDX-License-Identifier: MIT
#pragma once

#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVariantAnimation>
#include <functional>
#include <memory>

#include "gui/qt/SliderRow.h"
#include "gui/viewmodel/DisplayCardModel.h"

class QGridLayout;
class QVBoxLayout;

namespace orvane::gui {

/// One display's card: a header that folds it, its sliders, menus and the
/// information panel. Draws its model and forwards input to it.
class DisplayCard final : public QFrame {
  public:
    /// The information panel's inner width in the popover.
    static constexpr int kInfoPanelWidth = 256;

    DisplayCard(std::shared_ptr<DisplayCardModel> model, QWidget* parent = nullptr);
    ~DisplayCard() override;

    /// Asks the user to confirm (title, message); true for "Switch". Tests
    /// answer it themselves.
    std::function<bool(const QString&, const QString&)> confirm;
    /// The card folded, unfolded or opened its information panel.
    std::function<void()> onLayoutChanged;
    /// How long folding takes (ease in and out); zero folds at once.
    static constexpr int kFoldMilliseconds = 200;
    int foldMilliseconds = kFoldMilliseconds;

    DisplayCardModel& model() { return *model_; }
    // Parts, for tests and screenshots.
    /// "Switch Input?": Switch (first button) and Cancel, the default.
    static std::unique_ptr<QMessageBox> switchQuestion(QWidget* parent, const QString& title,
                                                       const QString& message);
    SliderRow* brightness() const { return brightness_; }
    /// Redraws the Info panel every second while it is open ("2 min ago").
    const QTimer& infoTicker() const { return infoTicker_; }
    class ElidedLabel* title() const {
        return title_;
    }
    SliderRow* contrast() const { return contrast_; }
    SliderRow* volume() const { return volume_; }
    QToolButton* inputMenu() const { return input_; }
    QToolButton* resolutionMenu() const { return resolution_; }
    QPushButton* powerButton() const { return power_; }
    QToolButton* infoButton() const { return info_; }
    /// "More": the features the monitor lists beyond the rows above.
    QToolButton* moreButton() const { return more_; }
    QWidget* morePanel() const { return morePanel_; }
    QPushButton* header() const { return header_; }
    QWidget* infoPanel() const { return infoPanel_; }
    QWidget* note() const { return noteRow_; }
    /// Chooses the input at position i of the menu, as a click would.
    void chooseInput(int position);

  private:
    void refresh();
    void animateFold();
    void rebuildResolutionMenu();
    void rebuildInfo();
    void rebuildMore();
    QIcon symbol(const char* name) const;

    std::shared_ptr<DisplayCardModel> model_;
    std::shared_ptr<void> observation_;
    QPushButton* header_;
    QLabel* headerIcon_;
    class ElidedLabel* title_;
    QTimer infoTicker_;
    QLabel* badgeIcon_;
    QLabel* badge_;
    QProgressBar* loading_;
    QLabel* chevron_;
    QWidget* body_;
    SliderRow* brightness_;
    SliderRow* contrast_;
    SliderRow* volume_;
    QWidget* modeRow_;
    QToolButton* resolution_;
    QLabel* profile_;
    QWidget* controlRow_;
    QToolButton* input_;
    QPushButton* power_;
    QToolButton* info_;
    QToolButton* more_;
    QWidget* noteRow_;
    QLabel* note_;
    QWidget* infoPanel_;
    QGridLayout* infoGrid_;
    QWidget* morePanel_;
    QVBoxLayout* moreRows_;
    QPointer<QVariantAnimation> fold_;
};

}  // namespace orvane::gui
