#include "ui/MixerWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/ActivityMeterWidget.h"
#include "ui/PanelStyle.h"

namespace orvane::ui {

namespace {

constexpr int panCentre = 64;
const QColor windowBackground = QColor::fromRgbF(0.88f, 0.88f, 0.88f);

QLabel* smallLabel(const QString& text, QWidget* parent, bool value) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(panel::font(10, value ? QFont::DemiBold : QFont::Normal));
    if (!value) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, panel::color(app::ColorRole::secondaryLabel));
        label->setPalette(palette);
    }
    label->setFixedHeight(13);
    return label;
}

QSlider* makeSlider(Qt::Orientation orientation, int minimum, int maximum, QWidget* parent, QSlider* slider = nullptr) {
    if (slider == nullptr) slider = new QSlider(orientation, parent);
    slider->setOrientation(orientation);
    slider->setRange(minimum, maximum);
    slider->setSingleStep(1);
    slider->setPageStep(8);
    slider->setFocusPolicy(Qt::StrongFocus);
    return slider;
}

void setSliderQuietly(QSlider* slider, int value) {
    if (slider->value() == value && slider->sliderPosition() == value) return;
    const QSignalBlocker blocker(slider);
    slider->setValue(value);
}

// The instrument name on its one or two lines, in the largest of a few sizes at which every
// line fits the strip; only a name too long even at the smallest size is cut short.
std::pair<QString, QFont> nameText(const std::string& instrument, const QFont& base, int width) {
    const std::vector<std::string> lines = app::instrumentNameLines(instrument);
    QFont font = base;
    for (const int size : {10, 9, 8}) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        const bool fits = std::all_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return metrics.horizontalAdvance(panel::qstr(line)) <= width;
        });
        if (fits) break;
    }
    const QFontMetrics metrics(font);
    QStringList shown;
    for (const std::string& line : lines) shown << metrics.elidedText(panel::qstr(line), Qt::ElideRight, width);
    return {shown.join(QLatin1Char('\n')), font};
}

}  // namespace

// ---- Sliders and shield ------------------------------------------------------------------

void CenterResetSlider::mousePressEvent(QMouseEvent* event) {
    const bool controlClick =
        event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier) != 0;
    if (event->button() == Qt::RightButton || controlClick) {
        event->accept();
        emit resetRequested();
        return;
    }
    QSlider::mousePressEvent(event);
}

MixerShield::MixerShield(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::ForbiddenCursor);
    setToolTip(tr("Stop playback to change the mixer"));
    setAccessibleName(tr("Mixer locked during playback"));
}

void MixerShield::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (onAttempt) onAttempt();
}
void MixerShield::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if ((event->buttons() & Qt::LeftButton) != 0 && onAttempt) onAttempt();
}
void MixerShield::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }
void MixerShield::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }
void MixerShield::wheelEvent(QWheelEvent* event) { event->accept(); }

// ---- One strip ----------------------------------------------------------------------------

MixerStripWidget::MixerStripWidget(QWidget* parent) : QFrame(parent) {
    setFixedSize(app::MixerPanel::stripWidth, app::MixerPanel::collapsedStripHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 6, 3, 6);
    layout->setSpacing(2);

    layout->addWidget(smallLabel(QStringLiteral("Pan"), this, false));
    panValue_ = smallLabel(QStringLiteral("C"), this, true);
    layout->addWidget(panValue_);
    pan_ = new CenterResetSlider(Qt::Horizontal, this);
    makeSlider(Qt::Horizontal, 0, 127, this, pan_);
    pan_->setValue(panCentre);
    pan_->setTickPosition(QSlider::TicksBelow);
    pan_->setTickInterval(64);
    pan_->setContextMenuPolicy(Qt::PreventContextMenu);
    pan_->setAccessibleName(tr("Pan"));
    pan_->setToolTip(tr("Pan: left to right. Control-click or right-click to centre"));
    layout->addWidget(pan_);
    layout->addSpacing(2);

    name_ = new QLabel(this);
    name_->setAlignment(Qt::AlignCenter);
    name_->setFont(panel::font(10, QFont::Medium));
    name_->setFixedHeight(28);
    name_->setTextFormat(Qt::PlainText);
    layout->addWidget(name_);

    layout->addWidget(smallLabel(QStringLiteral("Vol"), this, false));
    volumeValue_ = smallLabel(QStringLiteral("64"), this, true);
    layout->addWidget(volumeValue_);

    auto* faderRow = new QHBoxLayout;
    faderRow->setContentsMargins(2, 2, 2, 2);
    faderRow->setSpacing(4);
    volume_ = makeSlider(Qt::Vertical, 0, 127, this);
    volume_->setValue(64);
    volume_->setAccessibleName(tr("Volume"));
    volume_->setToolTip(tr("Volume"));
    faderRow->addWidget(volume_, 1, Qt::AlignHCenter);
    meter_ = new ActivityMeterWidget(this);
    meter_->setFixedWidth(18);
    faderRow->addWidget(meter_);
    layout->addLayout(faderRow, 1);

    colorBar_ = new QWidget(this);
    colorBar_->setFixedHeight(5);
    colorBar_->setAutoFillBackground(true);
    layout->addWidget(colorBar_);

    advanced_ = new QWidget(this);
    auto* rows = new QVBoxLayout(advanced_);
    rows->setContentsMargins(0, 8, 0, 0);
    rows->setSpacing(2);
    rows->addWidget(smallLabel(QStringLiteral("Reverb"), advanced_, false));
    reverbValue_ = smallLabel(QStringLiteral("0"), advanced_, true);
    rows->addWidget(reverbValue_);
    reverb_ = makeSlider(Qt::Horizontal, 0, 127, advanced_);
    reverb_->setAccessibleName(tr("Reverb"));
    reverb_->setToolTip(tr("Reverb"));
    rows->addWidget(reverb_);
    rows->addSpacing(6);
    rows->addWidget(smallLabel(QStringLiteral("Velocity"), advanced_, false));
    velocityValue_ = smallLabel(QStringLiteral("64"), advanced_, true);
    rows->addWidget(velocityValue_);
    velocity_ = makeSlider(Qt::Horizontal, 1, 127, advanced_);
    velocity_->setValue(64);
    velocity_->setAccessibleName(tr("Velocity"));
    velocity_->setToolTip(tr("Velocity: how hard the notes are played"));
    rows->addWidget(velocity_);
    rows->addStretch(1);
    advanced_->setFixedHeight(0);
    advanced_->hide();
    layout->addWidget(advanced_);
}

void MixerStripWidget::showStrip(const app::MixerStripState& strip) {
    const QString full = panel::qstr(strip.instrument);
    const auto [text, font] = nameText(strip.instrument, panel::font(10, QFont::Medium), width() - 6);
    name_->setFont(font);
    name_->setText(text);
    name_->setToolTip(full);
    name_->setAccessibleName(full);
    setAccessibleName(tr("Track %1 strip").arg(strip.row + 1));
    const int palette = std::clamp(strip.paletteIndex, 0, static_cast<int>(app::trackPalette.size()) - 1);
    barColor_ = panel::color(app::trackPalette[static_cast<std::size_t>(palette)]);
    QPalette barPalette = colorBar_->palette();
    barPalette.setColor(QPalette::Window, barColor_);
    colorBar_->setPalette(barPalette);
    colorBar_->setToolTip(tr("Track %1").arg(strip.row + 1));
    showValues(strip);
}

void MixerStripWidget::showValues(const app::MixerStripState& strip) {
    setSliderQuietly(pan_, strip.pan);
    setSliderQuietly(volume_, strip.volume);
    setSliderQuietly(reverb_, strip.reverb);
    setSliderQuietly(velocity_, std::max<int>(strip.velocity, 1));
    panValue_->setText(panel::qstr(app::panDisplay(strip.pan)));
    volumeValue_->setText(QString::number(strip.volume));
    reverbValue_->setText(QString::number(strip.reverb));
    velocityValue_->setText(QString::number(strip.velocity));
}

void MixerStripWidget::setAdvancedExpanded(bool expanded, int stripHeight) {
    advanced_->setFixedHeight(expanded ? app::MixerPanel::advancedRowsHeight : 0);
    advanced_->setVisible(expanded);
    setFixedSize(app::MixerPanel::stripWidth, stripHeight);
}

void MixerStripWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xc4, 0xc4, 0xc6), 1));
    painter.setBrush(QColor(0xf6, 0xf6, 0xf6));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
}

// ---- The window ----------------------------------------------------------------------------

MixerWindow::MixerWindow(QWidget* parent, std::shared_ptr<app::MixerPanel> shown)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint),
      panel_(std::move(shown)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("mixerWindow"));
    setWindowTitle(QStringLiteral("Track Mixer"));
    QPalette background = palette();
    background.setColor(QPalette::Window, windowBackground);
    setPalette(background);
    setAutoFillBackground(true);

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidgetResizable(false);
    scroll_->viewport()->setAutoFillBackground(false);
    stripsContainer_ = new QWidget;
    stripsContainer_->setAutoFillBackground(false);
    stack_ = new QHBoxLayout(stripsContainer_);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->setSpacing(app::MixerPanel::stripSpacing);
    stack_->setSizeConstraint(QLayout::SetFixedSize);
    scroll_->setWidget(stripsContainer_);
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    empty_ = new QLabel(QStringLiteral("Select tracks to populate the mixer."), this);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setFont(panel::font(12));
    empty_->setWordWrap(true);

    shield_ = new MixerShield(this);
    shield_->hide();
    shield_->onAttempt = [weak = std::weak_ptr<app::MixerPanel>(panel_)] {
        if (const auto panel = weak.lock()) panel->shieldAttempt();
    };

    advanced_ = new QPushButton(this);
    advanced_->setFixedSize(150, 28);
    advanced_->setAutoDefault(false);
    advanced_->setToolTip(tr("Show or hide the reverb and velocity sliders"));
    connect(advanced_, &QPushButton::clicked, this, [this] { panel_->toggleAdvancedMixer(); });

    const QPointer<MixerWindow> self(this);
    panel_->onViewChange = [self](unsigned changes) {
        if (self) self->redraw(changes);
    };
    rebuildStrips();
    showLock();
    relayout();
}

MixerWindow::~MixerWindow() {
    if (panel_) panel_->onViewChange = nullptr;
}

void MixerWindow::redraw(unsigned changes) {
    if ((changes & app::MixerPanel::closeRequested) != 0) {
        close();
        return;
    }
    if ((changes & app::MixerPanel::stripsChanged) != 0) {
        rebuildStrips();
    } else if ((changes & app::MixerPanel::valuesChanged) != 0) {
        showValues();
    }
    if ((changes & app::MixerPanel::metersChanged) != 0) showMeters();
    if ((changes & (app::MixerPanel::layoutChanged | app::MixerPanel::stripsChanged)) != 0) relayout();
    if ((changes & (app::MixerPanel::lockChanged | app::MixerPanel::stripsChanged)) != 0) showLock();
}

void MixerWindow::rebuildStrips() {
    const auto& states = panel_->strips();
    // Strips are kept when their number does not change: a strip may be rebuilt while one of
    // its own sliders is reporting, so a widget is never deleted under its signal.
    while (strips_.size() > states.size()) {
        MixerStripWidget* strip = strips_.back();
        strips_.pop_back();
        stack_->removeWidget(strip);
        strip->hide();
        strip->deleteLater();
    }
    while (strips_.size() < states.size()) {
        auto* strip = new MixerStripWidget(stripsContainer_);
        wireStrip(strip, strips_.size());
        stack_->addWidget(strip);
        strips_.push_back(strip);
    }
    for (std::size_t i = 0; i < states.size(); ++i) {
        strips_[i]->showStrip(states[i]);
        strips_[i]->setAdvancedExpanded(panel_->isAdvancedExpanded(), panel_->stripHeight());
    }
    showMeters();
}

void MixerWindow::wireStrip(MixerStripWidget* strip, std::size_t index) {
    const std::weak_ptr<app::MixerPanel> weak = panel_;
    const auto wire = [&](QSlider* slider, app::MixerSetting setting) {
        connect(slider, &QSlider::sliderPressed, this, [weak] {
            if (const auto panel = weak.lock()) panel->userBeganDrag();
        });
        connect(slider, &QSlider::sliderMoved, this, [weak, index, setting](int value) {
            if (const auto panel = weak.lock()) panel->userSetValue(index, setting, value);
        });
        // Keys, page clicks and the wheel; a drag reports through sliderMoved.
        connect(slider, &QSlider::actionTriggered, this, [weak, index, setting, slider](int action) {
            if (action == QAbstractSlider::SliderNoAction) return;
            if (action == QAbstractSlider::SliderMove && slider->isSliderDown()) return;
            if (const auto panel = weak.lock()) panel->userSetValue(index, setting, slider->sliderPosition());
        });
        connect(slider, &QSlider::sliderReleased, this, [weak] {
            if (const auto panel = weak.lock()) panel->userEndedDrag();
        });
    };
    wire(strip->panSlider(), app::MixerSetting::pan);
    wire(strip->volumeSlider(), app::MixerSetting::volume);
    wire(strip->reverbSlider(), app::MixerSetting::reverb);
    wire(strip->velocitySlider(), app::MixerSetting::velocity);
    connect(strip->panSlider(), &CenterResetSlider::resetRequested, this, [weak, index] {
        if (const auto panel = weak.lock()) panel->userResetPan(index);
    });
}

void MixerWindow::showValues() {
    const auto& states = panel_->strips();
    for (std::size_t i = 0; i < states.size() && i < strips_.size(); ++i) strips_[i]->showValues(states[i]);
}

void MixerWindow::showMeters() {
    const auto& meters = panel_->meters();
    for (std::size_t i = 0; i < meters.size() && i < strips_.size(); ++i) strips_[i]->meter()->setState(meters[i]);
}

void MixerWindow::showLock() {
    shield_->setVisible(panel_->shieldVisible());
    if (shield_->isVisible()) shield_->raise();
}

void MixerWindow::relayout() {
    const app::MixerContentSize content = panel_->contentSize();
    int width = content.width;
    if (const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen()) {
        // A song with many tracks scrolls rather than making a window wider than the screen.
        width = std::min(width, std::max(160, screen->availableGeometry().width() - 40));
    }
    const int inset = app::MixerPanel::panelInset;
    const int stripHeight = panel_->stripHeight();
    const bool scrolls = width < content.width;
    const int scrollBar = scrolls ? scroll_->horizontalScrollBar()->sizeHint().height() : 0;
    const int height = content.height + scrollBar;

    for (MixerStripWidget* strip : strips_) strip->setAdvancedExpanded(panel_->isAdvancedExpanded(), stripHeight);
    stripsContainer_->adjustSize();
    scroll_->setGeometry(inset, inset, width - 2 * inset, stripHeight + scrollBar);
    scroll_->setVisible(!panel_->emptyLabelVisible());
    shield_->setGeometry(inset, inset, width - 2 * inset, stripHeight);  // the scroll bar stays usable
    empty_->setGeometry(inset, inset, width - 2 * inset, height - 3 * inset - 28);
    empty_->setVisible(panel_->emptyLabelVisible());
    advanced_->setText(panel::qstr(panel_->advancedButtonTitle()));
    advanced_->setAccessibleName(advanced_->text());
    advanced_->move((width - advanced_->width()) / 2, height - inset - advanced_->height());
    setFixedSize(width, height);
}

void MixerWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        const auto panel = panel_;
        panel->windowWillClose();
    }
    QWidget::closeEvent(event);
}

}  // namespace orvane::ui
