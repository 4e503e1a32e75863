// SPDX-License-Identifier: MIT
#include "gui/qt/DisplayCard.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/qt/ElidedLabel.h"
#include "gui/qt/SymbolIcon.h"

namespace orvane::gui {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

/// The display symbol with the green "answers DDC" dot.
QPixmap displayPixmap(const QIcon& icon, bool ddcDot, qreal dpr) {
    QPixmap pixmap = icon.pixmap(QSize(18, 18), dpr);
    if (!ddcDot) return pixmap;
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(QColor(52, 199, 89));
    p.drawEllipse(QRectF(11, 11, 7, 7).adjusted(0.6, 0.6, -0.6, -0.6));
    return pixmap;
}

QFrame* roundedBox(QWidget* parent) {
    auto* box = new QFrame(parent);
    box->setObjectName("roundedBox");
    return box;
}

}  // namespace

std::unique_ptr<QMessageBox> DisplayCard::switchQuestion(QWidget* parent, const QString& title,
                                                         const QString& message) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Warning, title, message,
                                             QMessageBox::NoButton, parent);
    box->addButton(tr("Switch"), QMessageBox::AcceptRole);
    // Enter must not switch the monitor away by accident.
    box->setDefaultButton(box->addButton(tr("Cancel"), QMessageBox::RejectRole));
    return box;
}

DisplayCard::DisplayCard(std::shared_ptr<DisplayCardModel> model, QWidget* parent)
    : QFrame(parent), model_(std::move(model)) {
    setObjectName("displayCard");
    confirm = [this](const QString& title, const QString& message) {
        // Owned by the popover, which outlives the cards.
        auto box = switchQuestion(window(), title, message);
        box->exec();
        return box->clickedButton() == box->buttons().front();
    };
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    // "Last DDC Read" is relative: it moves on while the panel is open.
    infoTicker_.setInterval(1000);
    connect(&infoTicker_, &QTimer::timeout, this, [this] {
        if (model_->showingInfo) rebuildInfo();
    });

    header_ = new QPushButton(this);
    header_->setFlat(true);
    header_->setObjectName("cardHeader");
    auto* headerLayout = new QHBoxLayout(header_);
    headerLayout->setContentsMargins(12, 10, 12, 10);
    headerLayout->setSpacing(6);
    headerIcon_ = new QLabel(header_);
    title_ = new ElidedLabel(header_);
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(9.5);
    titleFont.setWeight(QFont::DemiBold);
    title_->setFont(titleFont);
    badgeIcon_ = new QLabel(header_);
    badge_ = new QLabel(header_);
    badge_->setObjectName("badge");
    badge_->setForegroundRole(QPalette::PlaceholderText);
    loading_ = new QProgressBar(header_);
    loading_->setRange(0, 0);
    loading_->setTextVisible(false);
    loading_->setFixedSize(28, 5);
    chevron_ = new QLabel(header_);
    headerLayout->addWidget(headerIcon_);
    headerLayout->addWidget(title_, 1);
    headerLayout->addWidget(badgeIcon_);
    headerLayout->addWidget(badge_);
    headerLayout->addWidget(loading_);
    headerLayout->addWidget(chevron_);
    header_->setMinimumHeight(headerLayout->sizeHint().height());
    outer->addWidget(header_);

    body_ = new QWidget(this);
    auto* body = new QVBoxLayout(body_);
    body->setContentsMargins(12, 0, 12, 12);
    body->setSpacing(8);
    brightness_ = new SliderRow(body_);
    contrast_ = new SliderRow(body_);
    volume_ = new SliderRow(body_);
    body->addWidget(brightness_);
    body->addWidget(contrast_);
    body->addWidget(volume_);

    modeRow_ = new QWidget(body_);
    auto* modes = new QHBoxLayout(modeRow_);
    modes->setContentsMargins(0, 0, 0, 0);
    modes->setSpacing(6);
    auto* resolutionBox = roundedBox(modeRow_);
    auto* resolutionLayout = new QHBoxLayout(resolutionBox);
    resolutionLayout->setContentsMargins(2, 1, 2, 1);
    resolution_ = new QToolButton(resolutionBox);
    resolution_->setText(tr("Resolution"));
    resolution_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    resolution_->setPopupMode(QToolButton::InstantPopup);
    resolution_->setAutoRaise(true);
    resolution_->setMenu(new QMenu(resolution_));
    resolutionLayout->addWidget(resolution_);
    auto* profileBox = roundedBox(modeRow_);
    auto* profileLayout = new QHBoxLayout(profileBox);
    profileLayout->setContentsMargins(6, 3, 6, 3);
    profileLayout->setSpacing(4);
    auto* paletteIcon = new QLabel(profileBox);
    paletteIcon->setPixmap(symbol("paintpalette").pixmap(QSize(10, 10), devicePixelRatioF()));
    profile_ = new QLabel(profileBox);
    QFont small = profile_->font();
    small.setPointSizeF(7.5);
    profile_->setFont(small);
    profileLayout->addWidget(paletteIcon);
    profileLayout->addWidget(profile_, 1);
    modes->addWidget(resolutionBox);
    modes->addWidget(profileBox, 1);
    body->addWidget(modeRow_);

    controlRow_ = new QWidget(body_);
    auto* controls = new QHBoxLayout(controlRow_);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(6);
    input_ = new QToolButton(controlRow_);
    input_->setText(tr("Input"));
    input_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    input_->setPopupMode(QToolButton::InstantPopup);
    auto* inputMenu = new QMenu(input_);
    const auto choices = DisplayCardModel::inputChoices();
    for (int i = 0; i < int(choices.size()); ++i) {
        auto* action = inputMenu->addAction(q(choices[std::size_t(i)].name), this,
                                            [this, i] { chooseInput(i); });
        action->setCheckable(true);
        action->setData(int(choices[std::size_t(i)].ddcValue));
    }
    // The input the monitor is on is marked each time the menu opens.
    connect(inputMenu, &QMenu::aboutToShow, this, [this, inputMenu] {
        const auto current = model_->currentInput();
        for (auto* action : inputMenu->actions())
            action->setChecked(current && action->data().toInt() == *current);
    });
    input_->setMenu(inputMenu);
    power_ = new QPushButton(tr("Power"), controlRow_);
    info_ = new QToolButton(controlRow_);
    info_->setText(tr("Info"));
    info_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    info_->setCheckable(true);
    more_ = new QToolButton(controlRow_);
    more_->setText(tr("More"));
    more_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    more_->setCheckable(true);
    controls->addWidget(input_);
    controls->addWidget(power_);
    controls->addStretch(1);
    controls->addWidget(more_);
    controls->addWidget(info_);
    body->addWidget(controlRow_);

    noteRow_ = new QWidget(body_);
    auto* noteLayout = new QHBoxLayout(noteRow_);
    noteLayout->setContentsMargins(0, 0, 0, 0);
    noteLayout->setSpacing(4);
    auto* noteIcon = new QLabel(noteRow_);
    noteIcon->setPixmap(symbol("info.circle").pixmap(QSize(10, 10), devicePixelRatioF()));
    note_ = new QLabel(q(DisplayCardModel::kSoftwareDimmingNote), noteRow_);
    note_->setFont(small);
    note_->setForegroundRole(QPalette::PlaceholderText);
    noteLayout->addWidget(noteIcon);
    noteLayout->addWidget(note_, 1);
    body->addWidget(noteRow_);

    infoPanel_ = roundedBox(body_);
    infoGrid_ = new QGridLayout(infoPanel_);
    infoGrid_->setContentsMargins(8, 6, 8, 6);
    infoGrid_->setHorizontalSpacing(10);
    infoGrid_->setVerticalSpacing(2);
    body->addWidget(infoPanel_);
    morePanel_ = roundedBox(body_);
    moreRows_ = new QVBoxLayout(morePanel_);
    moreRows_->setContentsMargins(8, 6, 8, 6);
    moreRows_->setSpacing(6);
    body->addWidget(morePanel_);
    outer->addWidget(body_);

    connect(header_, &QPushButton::clicked, this, [this] {
        model_->toggleExpanded();
        animateFold();
    });
    brightness_->onChanged = [this](double v) { model_->setBrightness(v); };
    contrast_->onChanged = [this](double v) { model_->setContrast(v); };
    volume_->onChanged = [this](double v) { model_->setVolume(v); };
    connect(power_, &QPushButton::clicked, this, [this] { model_->togglePower(); });
    connect(info_, &QToolButton::clicked, this, [this] {
        model_->toggleInfo();
        refresh();
        if (onLayoutChanged) onLayoutChanged();
    });

    connect(more_, &QToolButton::clicked, this, [this] {
        model_->toggleMore();
        rebuildMore();
        refresh();
        if (onLayoutChanged) onLayoutChanged();
    });
    // The read ends on the main thread, where the card may already be gone.
    model_->setOnFeaturesChanged([self = QPointer<DisplayCard>(this)] {
        if (!self) return;
        self->rebuildMore();
        if (self->onLayoutChanged) self->onLayoutChanged();
    });

    model_->load();
    rebuildResolutionMenu();
    // Values that change elsewhere (keys, URLs, presets) show at once.
    observation_ = model_->observe([this](std::string_view) { refresh(); });
    refresh();
}

DisplayCard::~DisplayCard() {
    model_->setOnFeaturesChanged(nullptr);
}

void DisplayCard::rebuildMore() {
    while (auto* item = moreRows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const auto& m = *model_;
    if (const auto note = m.featuresNote(); !note.empty()) {
        auto* label = new QLabel(q(note), morePanel_);
        label->setForegroundRole(QPalette::PlaceholderText);
        moreRows_->addWidget(label);
    }
    // The feature names are longer than the three controls': one column as
    // wide as the widest here.
    int labelWidth = 0;
    for (const auto& row : m.featureRows())
        labelWidth = std::max(labelWidth, fontMetrics().horizontalAdvance(q(row.label)));
    for (const auto& row : m.featureRows()) {
        const auto code = row.code;
        if (row.continuous) {
            auto* slider = new SliderRow(morePanel_);
            slider->setModel(row.sliderRow());
            slider->label()->setFixedWidth(labelWidth + 2);
            slider->onChanged = [this, code](double v) { model_->setFeaturePercent(code, v); };
            moreRows_->addWidget(slider);
            continue;
        }
        auto* line = new QWidget(morePanel_);
        auto* layout = new QHBoxLayout(line);
        // Where a slider row has its symbol, so the names line up.
        layout->setContentsMargins(26, 0, 0, 0);
        layout->addWidget(new QLabel(q(row.label), line), 1);
        auto* menu = new QComboBox(line);
        menu->setAccessibleName(q(row.label));
        for (const auto& [value, name] : row.choices) {
            menu->addItem(q(name), value);
            if (value == (row.current & 0xFF)) menu->setCurrentIndex(menu->count() - 1);
        }
        connect(menu, &QComboBox::activated, this, [this, code, menu](int i) {
            model_->chooseFeatureValue(code, static_cast<std::uint8_t>(menu->itemData(i).toInt()));
        });
        layout->addWidget(menu);
        moreRows_->addWidget(line);
    }
}

QIcon DisplayCard::symbol(const char* name) const {
    return SymbolIcon::icon(name, palette().color(QPalette::WindowText));
}

void DisplayCard::chooseInput(int position) {
    const auto choices = DisplayCardModel::inputChoices();
    if (position < 0 || position >= int(choices.size())) return;
    // A hot-plug while the question is open replaces the cards: only locals
    // are used once it is answered.
    auto model = model_;
    auto ask = confirm;
    model->chooseInput(choices[std::size_t(position)]);
    if (ask && ask(q(DisplayCardModel::kSwitchInputTitle), q(model->inputConfirmationMessage()))) {
        model->confirmInput();
    } else {
        model->cancelInput();
    }
}

void DisplayCard::rebuildResolutionMenu() {
    auto* menu = resolution_->menu();
    menu->clear();
    for (const auto& mode : model_->availableModes()) {
        auto* action = menu->addAction(q(mode.label()), this, [this, mode] {
            if (model_->selectMode(mode)) rebuildResolutionMenu();
        });
        if (mode.id() == model_->currentModeID()) action->setIcon(symbol("checkmark"));
    }
    resolution_->setEnabled(!model_->availableModes().empty());
}

void DisplayCard::rebuildInfo() {
    while (auto* item = infoGrid_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    QFont font = this->font();
    font.setPointSizeF(8);
    const QFontMetrics metrics(font);
    const auto rows = model_->infoRows();
    int labelWidth = 0;
    for (const auto& r : rows)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(q(r.label)));
    // The panel's width inside a 320-wide popover: a value wider than its
    // column takes a line of its own rather than being cut.
    const int valueWidth = kInfoPanelWidth - infoGrid_->horizontalSpacing() - labelWidth;
    int row = 0;
    for (const auto& [label, value] : rows) {
        auto* l = new QLabel(q(label), infoPanel_);
        l->setForegroundRole(QPalette::PlaceholderText);
        auto* v = new QLabel(q(value), infoPanel_);
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setFont(font);
        v->setFont(font);
        infoGrid_->addWidget(l, row, 0, Qt::AlignLeft | Qt::AlignTop);
        if (metrics.horizontalAdvance(q(value)) <= valueWidth) {
            infoGrid_->addWidget(v, row++, 1, Qt::AlignLeft | Qt::AlignTop);
        } else {
            v->setIndent(12);
            infoGrid_->addWidget(v, ++row, 0, 1, 2, Qt::AlignLeft | Qt::AlignTop);
            ++row;
        }
    }
    infoGrid_->setColumnStretch(1, 1);
}

void DisplayCard::animateFold() {
    if (fold_) fold_->stop();
    const bool expanding = model_->isExpanded;
    const auto done = [this] {
        body_->setMaximumHeight(QWIDGETSIZE_MAX);
        refresh();
        if (onLayoutChanged) onLayoutChanged();
    };
    if (foldMilliseconds <= 0) {
        done();
        return;
    }
    // The body stays visible while it folds; refresh() hides it at the end.
    body_->setVisible(true);
    const int full = body_->sizeHint().height();
    auto* animation = new QVariantAnimation(this);
    animation->setDuration(foldMilliseconds);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(expanding ? 0 : body_->height());
    animation->setEndValue(expanding ? full : 0);
    connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        body_->setMaximumHeight(v.toInt());
        if (onLayoutChanged) onLayoutChanged();
    });
    connect(animation, &QVariantAnimation::finished, this, done);
    chevron_->setPixmap(symbol(model_->chevronSymbol()).pixmap(QSize(10, 10), devicePixelRatioF()));
    fold_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void DisplayCard::refresh() {
    const auto& m = *model_;
    const auto rows = m.rows();
    headerIcon_->setPixmap(
        displayPixmap(symbol(m.iconSymbol()), m.showsDDCDot(), devicePixelRatioF()));
    title_->setFullText(q(m.title()));
    const auto badge = m.badge();
    badgeIcon_->setPixmap(symbol(badge.symbol).pixmap(QSize(11, 11), devicePixelRatioF()));
    badge_->setText(q(badge.name));
    badge_->setToolTip(q(badge.name));
    // The header is a button of labels: a screen reader needs its words.
    header_->setAccessibleName(q(m.title()) + QStringLiteral(", ") + q(badge.name));
    header_->setAccessibleDescription(m.isExpanded ? tr("Expanded") : tr("Collapsed"));
    loading_->setVisible(m.isLoading());
    chevron_->setPixmap(symbol(m.chevronSymbol()).pixmap(QSize(10, 10), devicePixelRatioF()));

    body_->setVisible(m.isExpanded);
    brightness_->setModel(m.brightnessRow());
    contrast_->setVisible(rows.contrast);
    if (rows.contrast) contrast_->setModel(m.contrastRow());
    volume_->setVisible(rows.volume);
    if (rows.volume) volume_->setModel(m.volumeRow());
    modeRow_->setVisible(rows.resolutionAndProfile);
    resolution_->setIcon(symbol("aspectratio"));
    profile_->setText(q(m.currentProfileName()));
    profile_->setToolTip(q(m.profileHelpText()));
    controlRow_->setVisible(rows.controlRow || rows.infoAlone);
    input_->setVisible(rows.input);
    input_->setIcon(symbol("rectangle.connected.to.line.below"));
    power_->setVisible(rows.power);
    power_->setIcon(symbol("power"));
    info_->setIcon(symbol("info.circle"));
    info_->setChecked(m.showingInfo);
    more_->setVisible(rows.more);
    more_->setIcon(symbol("slider.horizontal.3"));
    more_->setChecked(m.showingMore);
    morePanel_->setVisible(rows.more && m.showingMore);
    noteRow_->setVisible(rows.softwareDimmingNote);
    note_->setText(q(m.note()));
    infoPanel_->setVisible(m.showingInfo);
    if (m.showingInfo) rebuildInfo();
    if (m.showingInfo && !infoTicker_.isActive()) infoTicker_.start();
    if (!m.showingInfo) infoTicker_.stop();
}

}  // namespace orvane::gui
