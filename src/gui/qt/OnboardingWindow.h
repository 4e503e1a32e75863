// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

class QPushButton;
class QStackedWidget;

namespace orvane::gui {

/// First-run onboarding, 520 × 420: a welcome page whose parts appear one
/// after another, then "You're all set." with the same staggered reveal.
class OnboardingWindow final : public QWidget {
  public:
    static constexpr int kWidth = 520;
    static constexpr int kHeight = 420;

    OnboardingWindow(QWidget* parent = nullptr);

    /// "Get Started": the first page is done (the caller records it).
    std::function<void()> onStarted;
    /// "Start Using orvane": onboarding is over.
    std::function<void()> onFinished;

    QPushButton* startButton() const { return start_; }
    QPushButton* finishButton() const { return finish_; }
    /// The second page's row of two tiles.
    QWidget* tiles() const { return tiles_; }
    int page() const;
    /// Shows every part at once (pictures, tests).
    void revealAll();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* firstPage();
    QWidget* secondPage();
    /// Fades the parts in, one at each of the delays (ms).
    void reveal(const std::vector<QWidget*>& parts, const std::vector<int>& delays);

    QStackedWidget* pages_;
    QPushButton* start_ = nullptr;
    QPushButton* finish_ = nullptr;
    std::vector<QWidget*> firstParts_, secondParts_;
    QWidget* tiles_ = nullptr;
    bool revealed_ = false;
};

}  // namespace orvane::gui
