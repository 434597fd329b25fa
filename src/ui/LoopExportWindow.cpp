#include "ui/LoopExportWindow.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/LoopTimelineWidget.h"
#include "ui/PanelStyle.h"

namespace orvane::ui {

namespace {

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(panel::font(12));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, panel::color(app::ColorRole::secondaryLabel));
    label->setPalette(palette);
    return label;
}

QLabel* valueLabel(QWidget* parent, const QString& accessibleName) {
    auto* label = new QLabel(QStringLiteral("0:00.0"), parent);
    label->setFont(panel::fixedFont(13, QFont::DemiBold));
    label->setMinimumWidth(64);
    label->setAccessibleName(accessibleName);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QToolButton* stepButton(Qt::ArrowType arrow, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setFixedSize(18, 12);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

LoopExportWindow::LoopExportWindow(QWidget* parent, std::shared_ptr<app::LoopExportDialog> shown)
    : QDialog(parent), dialog_(std::move(shown)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("loopExportWindow"));
    setWindowTitle(QStringLiteral("Loop Exporter"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(12);

    timeline_ = new LoopTimelineWidget(this);
    layout->addWidget(timeline_, 1);

    // Transport and the loop's times.
    auto* transport = new QHBoxLayout;
    transport->setSpacing(8);
    play_ = new QPushButton(QStringLiteral("▶"), this);
    play_->setFixedSize(44, 30);
    play_->setFont(panel::font(15));
    play_->setAutoDefault(false);
    play_->setAccessibleName(tr("Play or stop the loop preview"));
    play_->setToolTip(tr("Play or stop the loop preview (Space)"));
    pause_ = new QPushButton(QStringLiteral("⏸"), this);
    pause_->setFixedSize(44, 30);
    pause_->setFont(panel::font(15));
    pause_->setAutoDefault(false);
    pause_->setAccessibleName(tr("Pause the loop preview"));
    pause_->setToolTip(tr("Pause the loop preview"));
    counter_ = new QLabel(QStringLiteral("0:00.0"), this);
    counter_->setFont(panel::fixedFont(15, QFont::DemiBold));
    counter_->setMinimumWidth(76);
    counter_->setAccessibleName(tr("Preview position"));
    counter_->setToolTip(tr("Where the preview is in the song"));
    transport->addWidget(play_);
    transport->addWidget(pause_);
    transport->addSpacing(6);
    transport->addWidget(counter_);
    transport->addStretch(1);

    start_ = valueLabel(this, tr("Loop start"));
    end_ = valueLabel(this, tr("Loop end"));
    length_ = valueLabel(this, tr("Loop length"));
    start_->setToolTip(tr("Where the loop starts in the song"));
    end_->setToolTip(tr("Where the loop ends in the song"));
    length_->setToolTip(tr("How long one pass of the loop lasts"));
    const auto addValue = [&](const QString& title, QLabel* value) {
        transport->addWidget(caption(title, this));
        transport->addWidget(value);
        transport->addSpacing(10);
    };
    addValue(QStringLiteral("Start"), start_);
    addValue(QStringLiteral("End"), end_);
    addValue(QStringLiteral("Length"), length_);
    layout->addLayout(transport);

    // Repeat count, the error line, and the buttons.
    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(8);
    auto* repeatTitle = new QLabel(QStringLiteral("Repeat Loop"), this);
    repeatTitle->setFont(panel::font(13));
    bottom->addWidget(repeatTitle);
    repeat_ = new QLineEdit(QStringLiteral("1"), this);
    repeat_->setFixedWidth(56);
    repeat_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    repeat_->setFont(panel::fixedFont(13));
    repeat_->setAccessibleName(tr("Repeat count"));
    repeat_->setToolTip(tr("How many times the loop is written, 1 to 999 (Up and Down step)"));
    repeatTitle->setBuddy(repeat_);
    bottom->addWidget(repeat_);
    auto* stepper = new QVBoxLayout;
    stepper->setSpacing(0);
    up_ = stepButton(Qt::UpArrow, this);
    down_ = stepButton(Qt::DownArrow, this);
    up_->setToolTip(tr("One more repeat"));
    down_->setToolTip(tr("One repeat less"));
    up_->setAccessibleName(tr("More repeats"));
    down_->setAccessibleName(tr("Fewer repeats"));
    stepper->addWidget(up_);
    stepper->addWidget(down_);
    bottom->addLayout(stepper);
    bottom->addSpacing(12);

    error_ = new QLabel(this);
    error_->setFont(panel::font(12));
    QPalette errorPalette = error_->palette();
    errorPalette.setColor(QPalette::WindowText, panel::color(app::ColorRole::red));
    error_->setPalette(errorPalette);
    error_->setAccessibleName(tr("Problem"));
    bottom->addWidget(error_, 1);

    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_->setMinimumWidth(88);
    ok_->setMinimumWidth(88);
    cancel_->setAutoDefault(false);
    ok_->setDefault(true);
    cancel_->setToolTip(tr("Close without exporting (Escape)"));
    ok_->setToolTip(tr("Export the loop with these settings (Return)"));
    bottom->addWidget(cancel_);
    bottom->addWidget(ok_);
    layout->addLayout(bottom);

    const std::weak_ptr<app::LoopExportDialog> weak = dialog_;
    const auto act = [weak](auto action) {
        return [weak, action] {
            if (const auto dialog = weak.lock()) action(*dialog);
        };
    };
    connect(play_, &QPushButton::clicked, this, act([](app::LoopExportDialog& d) { d.togglePreviewPlayback(); }));
    connect(pause_, &QPushButton::clicked, this, act([](app::LoopExportDialog& d) { d.pausePreviewPlayback(); }));
    connect(ok_, &QPushButton::clicked, this, act([](app::LoopExportDialog& d) { d.confirm(); }));
    connect(cancel_, &QPushButton::clicked, this, act([](app::LoopExportDialog& d) { d.cancel(); }));
    connect(repeat_, &QLineEdit::textEdited, this, [weak](const QString& text) {
        if (const auto dialog = weak.lock()) dialog->repeatFieldChanged(panel::utf8(text));
    });
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    repeat_->installEventFilter(this);
    timeline_->onMarkerDragged = [weak](app::LoopMarker marker, double seconds) {
        if (const auto dialog = weak.lock()) dialog->moveMarker(marker, seconds);
    };

    const QPointer<LoopExportWindow> self(this);
    dialog_->onStateChange = [self] {
        if (self) self->redraw();
    };
    dialog_->onCloseRequested = [self] {
        if (self) self->closeFromDialog();
    };
    // The space bar reaches the preview before any control of this window sees it.
    qApp->installEventFilter(this);
    redraw();
}

LoopExportWindow::~LoopExportWindow() {
    qApp->removeEventFilter(this);
    if (dialog_) {
        dialog_->onStateChange = nullptr;
        dialog_->onCloseRequested = nullptr;
    }
}

void LoopExportWindow::redraw() {
    const app::LoopExportDialogState& state = dialog_->state();
    timeline_->setMinimumHeight(state.size.timelineHeight);
    timeline_->setState(state);
    play_->setText(panel::qstr(state.playTitle));
    counter_->setText(panel::qstr(state.timeCounter));
    const QString repeat = panel::qstr(state.repeatText);
    if (repeat_->text() != repeat) repeat_->setText(repeat);
    start_->setText(panel::qstr(state.startText));
    end_->setText(panel::qstr(state.endText));
    length_->setText(panel::qstr(state.lengthText));
    error_->setText(panel::qstr(state.errorText));
    up_->setEnabled(state.repeatStepperValue < 999);
    down_->setEnabled(state.repeatStepperValue > 1);
    const QSize size(state.size.width, state.size.height);
    if (this->size() != size) setFixedSize(size);
}

void LoopExportWindow::step(int delta) {
    const int value = std::clamp(dialog_->state().repeatStepperValue + delta, 1, 999);
    if (value != dialog_->state().repeatStepperValue) dialog_->repeatStepperChanged(value);
}

void LoopExportWindow::closeFromDialog() {
    if (closing_) return;
    closing_ = true;
    QDialog::done(QDialog::Rejected);
}

void LoopExportWindow::reject() {
    // Escape, the window's close button: the dialog answers nothing and asks us to close.
    if (closing_) return QDialog::reject();
    const auto keep = dialog_;
    keep->cancel();
    if (!closing_) closeFromDialog();
}

void LoopExportWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        panel::centreOver(this, parentWidget());
    }
    repeat_->setFocus();
    repeat_->selectAll();
}

bool LoopExportWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool mine = widget != nullptr && widget->window() == this;
        if (mine && key->key() == Qt::Key_Space &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!key->isAutoRepeat()) dialog_->togglePreviewPlayback();
            return true;
        }
        if (watched == repeat_ && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            step(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace orvane::ui
