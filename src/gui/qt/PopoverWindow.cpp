// SPDX-License-Identifier: MIT
#include "gui/qt/PopoverWindow.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <limits>

#include "gui/qt/SymbolIcon.h"

namespace orvane::gui {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setObjectName("divider");
    return line;
}

}  // namespace

PopoverWindow::PopoverWindow(PopoverModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName("popover");
    setWindowTitle(tr("Orvane"));
    setFixedWidth(kWidth);
    // Cards, boxes and dividers drawn from the palette, so dark mode follows.
    setStyleSheet(QStringLiteral(
        "#displayCard { background: palette(base); border: 1px solid palette(midlight);"
        " border-radius: 10px; }"
        "#cardHeader { border: none; background: transparent; text-align: left; }"
        "#roundedBox { background: rgba(128,128,128,20); border-radius: 6px; }"
        "#divider { color: palette(midlight); }"));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(14, 12, 14, 10);
    headerLayout->setSpacing(8);
    headerIcon_ = new QLabel(header);
    auto* titles = new QVBoxLayout();
    titles->setSpacing(0);
    auto* title = new QLabel(tr("Orvane"), header);
    QFont bold = title->font();
    bold.setPointSizeF(11);
    bold.setWeight(QFont::DemiBold);
    title->setFont(bold);
    count_ = new QLabel(header);
    count_->setForegroundRole(QPalette::PlaceholderText);
    QFont small = count_->font();
    small.setPointSizeF(8);
    count_->setFont(small);
    titles->addWidget(title);
    titles->addWidget(count_);
    headerLayout->addWidget(headerIcon_);
    headerLayout->addLayout(titles, 1);
    outer->addWidget(header);
    outer->addWidget(divider(this));

    // The cards scroll when there are more than the screen holds.
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setAutoFillBackground(false);
    content_ = new QWidget(scroll_);
    content_->setAutoFillBackground(false);
    cardsLayout_ = new QVBoxLayout(content_);
    cardsLayout_->setContentsMargins(10, 10, 10, 10);
    cardsLayout_->setSpacing(8);
    scroll_->setWidget(content_);
    outer->addWidget(scroll_);

    empty_ = new QWidget(this);
    auto* emptyLayout = new QVBoxLayout(empty_);
    emptyLayout->setContentsMargins(20, 24, 20, 24);
    emptyLayout->setSpacing(6);
    auto* emptyIcon = new QLabel(empty_);
    emptyIcon->setObjectName("emptyIcon");
    emptyIcon->setAlignment(Qt::AlignCenter);
    auto* emptyTitle = new QLabel(q(PopoverModel::kEmptyTitle), empty_);
    emptyTitle->setAlignment(Qt::AlignCenter);
    emptyTitle->setFont(bold);
    auto* emptyText = new QLabel(q(PopoverModel::kEmptyText), empty_);
    emptyText->setAlignment(Qt::AlignCenter);
    emptyText->setForegroundRole(QPalette::PlaceholderText);
    emptyLayout->addWidget(emptyIcon);
    emptyLayout->addWidget(emptyTitle);
    emptyLayout->addWidget(emptyText);
    cardsLayout_->addWidget(empty_);

    presets_ = new QWidget(this);
    auto* presetsLayout = new QVBoxLayout(presets_);
    presetsLayout->setContentsMargins(10, 0, 10, 8);
    presetsLayout->setSpacing(6);
    auto* presetsRow = new QHBoxLayout();
    presetsMenu_ = new QToolButton(presets_);
    presetsMenu_->setText(tr("Presets"));
    presetsMenu_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    presetsMenu_->setPopupMode(QToolButton::InstantPopup);
    presetsMenu_->setMenu(new QMenu(presetsMenu_));
    save_ = new QPushButton(presets_);
    save_->setFlat(true);
    presetsRow->addWidget(presetsMenu_);
    presetsRow->addStretch(1);
    presetsRow->addWidget(save_);
    presetsLayout->addLayout(presetsRow);
    next_ = new QLabel(presets_);
    next_->setForegroundRole(QPalette::PlaceholderText);
    presetsLayout->addWidget(next_);
    saveSheet_ = new QWidget(presets_);
    auto* sheet = new QHBoxLayout(saveSheet_);
    sheet->setContentsMargins(0, 0, 0, 0);
    sheet->setSpacing(6);
    name_ = new QLineEdit(saveSheet_);
    name_->setPlaceholderText(tr("Preset name"));
    auto* saveNow = new QPushButton(tr("Save"), saveSheet_);
    saveNow->setDefault(true);
    auto* cancel = new QToolButton(saveSheet_);
    cancel->setAutoRaise(true);
    cancel->setObjectName("cancelSave");
    sheet->addWidget(name_, 1);
    sheet->addWidget(saveNow);
    sheet->addWidget(cancel);
    presetsLayout->addWidget(saveSheet_);
    outer->addWidget(presets_);

    outer->addWidget(divider(this));
    auto* footer = new QWidget(this);
    footer_ = footer;
    auto* footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(10, 6, 10, 6);
    settings_ = new QToolButton(footer);
    settings_->setAutoRaise(true);
    settings_->setIconSize(QSize(14, 14));
    settings_->setAccessibleName(tr("Settings"));
    quit_ = new QToolButton(footer);
    quit_->setAutoRaise(true);
    quit_->setIconSize(QSize(13, 13));
    quit_->setToolTip(tr("Quit Orvane"));
    quit_->setAccessibleName(tr("Quit Orvane"));
    footerLayout->addWidget(settings_);
    footerLayout->addStretch(1);
    footerLayout->addWidget(quit_);
    outer->addWidget(footer);

    connect(save_, &QPushButton::clicked, this, [this] {
        model_.beginSave();
        refresh();
        if (model_.showingPresetSave) name_->setFocus();
    });
    auto submit = [this] {
        model_.newPresetName = name_->text().toStdString();
        if (model_.submitSave()) name_->clear();
        refresh();
    };
    connect(name_, &QLineEdit::returnPressed, this, submit);
    connect(saveNow, &QPushButton::clicked, this, submit);
    connect(cancel, &QToolButton::clicked, this, [this] {
        model_.cancelSave();
        name_->clear();
        refresh();
    });
    connect(settings_, &QToolButton::clicked, this, [this] {
        if (onOpenSettings) onOpenSettings();
    });
    connect(quit_, &QToolButton::clicked, this, [this] {
        if (onQuit) onQuit();
    });
    cancel->setIcon(symbol("xmark"));

    model_.onCardsChanged = [this] { rebuildCards(); };
    rebuildCards();
}

PopoverWindow::~PopoverWindow() {
    model_.onCardsChanged = nullptr;
}

QIcon PopoverWindow::symbol(const char* name) const {
    return SymbolIcon::icon(name, palette().color(QPalette::WindowText));
}

void PopoverWindow::changeEvent(QEvent* event) {
    // A new palette (dark mode) redraws every symbol in its colour.
    if (event->type() == QEvent::PaletteChange) rebuildCards();
    QWidget::changeEvent(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PopoverWindow::rebuildCards() {
    // A slider held while a display comes or goes keeps its drag: the cards
    // are rebuilt once it is let go.
    for (auto* card : cards_) {
        for (auto* row : {card->brightness(), card->contrast(), card->volume()}) {
            if (row->slider()->isSliderDown()) {
                rebuildPending_ = true;
                return;
            }
        }
    }
    rebuildPending_ = false;
    // Later: a card's menu or question may be open on the stack right now.
    for (auto* card : cards_) {
        card->hide();
        cardsLayout_->removeWidget(card);
        card->deleteLater();
    }
    cards_.clear();
    for (const auto& card : model_.cards()) {
        auto* widget = new DisplayCard(card, this);
        widget->onLayoutChanged = [this] { fitContent(); };
        for (auto* row : {widget->brightness(), widget->contrast(), widget->volume()}) {
            connect(row->slider(), &QSlider::sliderReleased, this, [this] {
                // Not from inside the slider that is about to go.
                if (rebuildPending_) QTimer::singleShot(0, this, [this] { rebuildCards(); });
            });
        }
        cardsLayout_->addWidget(widget);
        cards_.push_back(widget);
    }
    refresh();
    orderFocus();
}

void PopoverWindow::orderFocus() {
    // The cards are made after the footer: Tab must reach them before it.
    std::vector<QWidget*> chain;
    for (auto* card : cards_) {
        for (auto* w : card->findChildren<QWidget*>()) {
            if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
        }
    }
    for (auto* w : presets_->findChildren<QWidget*>()) {
        if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
    }
    chain.push_back(settings_);
    chain.push_back(quit_);
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void PopoverWindow::rebuildPresetsMenu() {
    auto* menu = presetsMenu_->menu();
    menu->clear();
    const auto names = model_.presetNames();
    for (const auto& name : names)
        menu->addAction(q(name), this, [this, name] { model_.applyPreset(name); });
    menu->addSeparator();
    auto* defaults = menu->addMenu(tr("Set as default"));
    const auto current = model_.defaultPresetName();
    for (const auto& name : names) {
        auto* action = defaults->addAction(q(name), this, [this, name] {
            model_.setDefaultPreset(name);
            refresh();
        });
        if (current == name) action->setIcon(symbol("checkmark"));
    }
    defaults->addSeparator();
    defaults->addAction(tr("None"), this, [this] {
        model_.setDefaultPreset(std::nullopt);
        refresh();
    });
    menu->addSeparator();
    auto* remove = menu->addMenu(tr("Delete"));
    for (const auto& name : names) {
        remove->addAction(q(name), this, [this, name] {
            model_.deletePreset(name);
            refresh();
        });
    }
}

QSize PopoverWindow::sizeHint() const {
    auto* l = layout();
    if (!l) return QWidget::sizeHint();
    // Everything but the cards, then the cards at their full height.
    const int inner = kWidth - scroll_->verticalScrollBar()->sizeHint().width();
    const int cards = content_->layout()->hasHeightForWidth()
                          ? content_->layout()->totalHeightForWidth(inner)
                          : content_->layout()->totalSizeHint().height();
    int chrome = 0;
    for (int i = 0; i < l->count(); ++i) {
        auto* item = l->itemAt(i);
        if (item->widget() == scroll_ || (item->widget() && item->widget()->isHidden())) continue;
        chrome +=
            item->hasHeightForWidth() ? item->heightForWidth(kWidth) : item->sizeHint().height();
    }
    const QRect area = available_.isValid() ? available_
                       : screen()           ? screen()->availableGeometry()
                                            : QRect();
    // A few pixels off the edges, as next to a panel.
    const int most = area.isValid() ? area.height() - 12 : std::numeric_limits<int>::max();
    return QSize(kWidth, std::min(chrome + cards, std::max(most, chrome + 60)));
}

void PopoverWindow::fitTo(const QRect& available) {
    available_ = available;
    fitContent();
}

void PopoverWindow::fitContent() {
    // Inner layouts first: a card whose Info panel just closed must report
    // its smaller height now, not after the next pass of the event loop.
    for (auto* card : cards_) {
        for (auto* l : card->findChildren<QLayout*>())
            l->activate();
        if (card->layout()) card->layout()->activate();
    }
    content_->layout()->activate();
    layout()->activate();
    const QSize size = sizeHint();
    setFixedHeight(size.height());
    resize(size);
}

void PopoverWindow::refresh() {
    headerIcon_->setPixmap(symbol("display.2").pixmap(QSize(22, 22), devicePixelRatioF()));
    count_->setText(q(model_.countLine()));
    empty_->setVisible(model_.isEmpty());
    if (auto* icon = empty_->findChild<QLabel*>("emptyIcon"))
        icon->setPixmap(symbol("display.trianglebadge.exclamationmark")
                            .pixmap(QSize(32, 32), devicePixelRatioF()));
    presets_->setVisible(model_.showsPresets());
    // The star joins the label while a default preset is set.
    if (model_.defaultPresetName()) {
        const qreal dpr = devicePixelRatioF();
        QPixmap both(QSize(24, 16) * dpr);
        both.setDevicePixelRatio(dpr);
        both.fill(Qt::transparent);
        QPainter p(&both);
        symbol("list.bullet.rectangle").paint(&p, QRect(0, 0, 16, 16));
        SymbolIcon::icon("star.fill", QColor(255, 149, 0)).paint(&p, QRect(17, 1, 7, 7));
        p.end();
        presetsMenu_->setIconSize(QSize(24, 16));
        presetsMenu_->setIcon(QIcon(both));
    } else {
        presetsMenu_->setIconSize(QSize(16, 16));
        presetsMenu_->setIcon(symbol("list.bullet.rectangle"));
    }
    rebuildPresetsMenu();
    const auto next = model_.nextChangeLine();
    next_->setText(q(next));
    next_->setVisible(!next.empty());
    save_->setText(q(model_.saveButtonText()));
    save_->setIcon(symbol(model_.saveButtonSymbol()));
    save_->setEnabled(model_.canSavePreset());
    saveSheet_->setVisible(model_.showingPresetSave);
    settings_->setIcon(symbol("gear"));
    settings_->setEnabled(static_cast<bool>(onOpenSettings));
    settings_->setToolTip(onOpenSettings ? tr("Settings") : tr("Settings are not available yet"));
    quit_->setIcon(symbol("power"));
    fitContent();
}

}  // namespace orvane::gui
