#include "ui/Controls.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace orvane::ui {

Stepper::Stepper(int minimum, int maximum, QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(std::max(minimum, maximum)), up_(new QToolButton(this)),
      down_(new QToolButton(this)) {
    value_ = std::clamp(0, minimum_, maximum_);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(20, 28);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    for (QToolButton* button : {up_, down_}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
        button->setAutoRepeatDelay(350);
        button->setAutoRepeatInterval(90);
        button->setFixedSize(18, 13);
        button->setAutoRaise(false);
        layout->addWidget(button);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    up_->setAccessibleName("Up one semitone");
    down_->setAccessibleName("Down one semitone");
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
    updateArrows();
}

void Stepper::setValue(int value) {
    value_ = std::clamp(value, minimum_, maximum_);
    updateArrows();
}

void Stepper::stepBy(int steps) {
    if (!isEnabled()) return;
    const int next = std::clamp(value_ + steps, minimum_, maximum_);
    if (next == value_) return;
    value_ = next;
    updateArrows();
    emit userStepped(value_);
}

void Stepper::updateArrows() {
    up_->setEnabled(isEnabled() && value_ < maximum_);
    down_->setEnabled(isEnabled() && value_ > minimum_);
}

void Stepper::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) updateArrows();
}

void Stepper::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up: stepBy(1); return;
        case Qt::Key_Down: stepBy(-1); return;
        case Qt::Key_PageUp: stepBy(12); return;
        case Qt::Key_PageDown: stepBy(-12); return;
        default: QWidget::keyPressEvent(event);
    }
}

void Stepper::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0) stepBy(delta > 0 ? 1 : -1);
    event->accept();
}

void Stepper::paintEvent(QPaintEvent*) {
    if (!hasFocus()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 3, 3);
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    full_ = text;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const { return {10, QLabel::minimumSizeHint().height()}; }

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, std::max(width() - 2, 10));
    setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
    setAccessibleDescription(full_);
}

}  // namespace orvane::ui
