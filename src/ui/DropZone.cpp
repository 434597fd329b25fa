#include "ui/DropZone.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

#include "app/MainViewController.h"
#include "ui/Appearance.h"

namespace orvane::ui {
namespace {

std::optional<std::filesystem::path> firstLocalFile(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) return std::nullopt;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) return std::filesystem::path(url.toLocalFile().toStdString());
    }
    return std::nullopt;
}

}  // namespace

DropZone::DropZone(QWidget* parent) : QFrame(parent) {
    setAcceptDrops(true);
    // Reached with Tab: Return or F2 renames the song.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName("Drop zone");
    setToolTip("Drop a MIDI file to take it apart, or an audio file to detect its tempo.\n"
               "Double-click the song name to rename it.");

    nameLabel_ = new QLabel(QString::fromUtf8(app::DropZoneState::emptyText), this);
    nameLabel_->setAlignment(Qt::AlignCenter);
    nameLabel_->setFont(uiFont(14, true));
    nameLabel_->setAccessibleName("Song name");
    nameLabel_->setTextInteractionFlags(Qt::NoTextInteraction);
    nameLabel_->installEventFilter(this);

    nameField_ = new QLineEdit(this);
    nameField_->setAlignment(Qt::AlignCenter);
    nameField_->setFont(uiFont(14, true));
    nameField_->setFrame(false);
    nameField_->setAccessibleName("Song name");
    nameField_->setToolTip("Return keeps the new name, Escape puts the old one back");
    // Files dragged over the field go to the zone, never into the text.
    nameField_->setAcceptDrops(false);
    nameField_->hide();
    nameField_->installEventFilter(this);
    connect(nameField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (editing_ && onNameDraft) onNameDraft(text.toStdString());
    });

    infoLabel_ = new QLabel(this);
    infoLabel_->setAlignment(Qt::AlignCenter);
    infoLabel_->setFont(monoFont(11));
    QPalette infoPalette = infoLabel_->palette();
    infoPalette.setColor(QPalette::WindowText, color(app::ColorRole::secondaryLabel));
    infoLabel_->setPalette(infoPalette);
    infoLabel_->setAccessibleName("Song tempo, time signature and key");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(2);
    layout->addStretch();
    layout->addWidget(nameLabel_);
    layout->addWidget(nameField_);
    layout->addWidget(infoLabel_);
    layout->addStretch();
}

void DropZone::render(const app::DropZoneState& state) {
    const bool newDocument = state.loaded != state_.loaded || state.originalFileStem != state_.originalFileStem;
    state_ = state;
    if (editing_ && !newDocument) {
        // The user is typing: the name they type stays; only the info line follows.
        infoLabel_->setText(QString::fromStdString(state.info));
        return;
    }
    if (editing_) endNameEditing();
    nameLabel_->setText(QString::fromStdString(state.nameText));
    nameField_->setText(QString::fromStdString(state.nameText));
    infoLabel_->setText(state.loaded ? QString::fromStdString(state.info) : QString());
    infoLabel_->setVisible(state.loaded);
    nameLabel_->setToolTip(state.loaded ? "Double-click to rename the song" : QString());
}

QString DropZone::nameText() const { return editing_ ? nameField_->text() : nameLabel_->text(); }
QString DropZone::infoText() const { return infoLabel_->text(); }

void DropZone::beginNameEditing() {
    if (!state_.loaded || editing_) return;
    editing_ = true;
    nameField_->setText(nameLabel_->text());
    nameLabel_->hide();
    nameField_->show();
    // After the double-click has been handled: focus and the whole name selected.
    QTimer::singleShot(0, nameField_, [this] {
        if (!editing_) return;
        nameField_->setFocus(Qt::OtherFocusReason);
        nameField_->selectAll();
    });
}

void DropZone::endNameEditing() {
    if (!editing_) return;
    editing_ = false;
    nameLabel_->setText(nameField_->text());
    nameField_->hide();
    nameLabel_->show();
}

void DropZone::commitName() {
    if (!editing_) return;
    const std::string shown = onCommitName ? onCommitName(nameField_->text().toStdString())
                                           : nameField_->text().trimmed().toStdString();
    nameField_->setText(QString::fromStdString(shown));
    endNameEditing();
    nameField_->clearFocus();
}

void DropZone::revertName() {
    if (!editing_) return;
    if (onNameDraft) onNameDraft(std::nullopt);
    const std::string& stored = state_.nameText.empty() ? state_.originalFileStem : state_.nameText;
    nameField_->setText(QString::fromStdString(stored));
    endNameEditing();
    nameField_->clearFocus();
}

bool DropZone::eventFilter(QObject* watched, QEvent* event) {
    if (watched == nameLabel_ && event->type() == QEvent::MouseButtonDblClick) {
        beginNameEditing();
        return true;
    }
    if (watched == nameField_) {
        if (event->type() == QEvent::KeyPress) {
            // Taken here, so that the keys never travel on to the zone (where Return renames).
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Escape) {
                revertName();
                return true;
            }
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                commitName();
                return true;
            }
        }
        // Clicking elsewhere keeps what was typed, as Return does.
        if (event->type() == QEvent::FocusOut && editing_) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
                QTimer::singleShot(0, this, [this] { commitName(); });
            }
        }
    }
    return QFrame::eventFilter(watched, event);
}

void DropZone::keyPressEvent(QKeyEvent* event) {
    // Keys the name field let through (it passes Return on) are not the zone's own.
    if (hasFocus() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_F2)) {
        beginNameEditing();
        return;
    }
    QFrame::keyPressEvent(event);
}

void DropZone::focusInEvent(QFocusEvent* event) {
    QFrame::focusInEvent(event);
    // The ring shows where the keyboard is, not where a click or the start put the focus.
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    update();
}

void DropZone::focusOutEvent(QFocusEvent* event) {
    QFrame::focusOutEvent(event);
    update();
}

void DropZone::mouseDoubleClickEvent(QMouseEvent* event) {
    // The name's neighbourhood counts as the name: a little slack around the label.
    const QRect area = nameLabel_->geometry().adjusted(-6, -4, 6, 4);
    if (area.contains(event->position().toPoint())) {
        beginNameEditing();
        event->accept();
        return;
    }
    QFrame::mouseDoubleClickEvent(event);
}

void DropZone::setHighlighted(bool on) {
    if (on == highlighted_) return;
    highlighted_ = on;
    update();
}

void DropZone::dragEnterEvent(QDragEnterEvent* event) {
    const auto path = firstLocalFile(event->mimeData());
    if (!path) {
        event->ignore();
        return;
    }
    // Only what can be loaded lights the zone up; anything else may still be dropped and is
    // then told why it cannot be loaded.
    setHighlighted(app::fileKind(*path) != app::FileKind::unsupported);
    event->acceptProposedAction();
}

void DropZone::dragLeaveEvent(QDragLeaveEvent* event) {
    setHighlighted(false);
    QFrame::dragLeaveEvent(event);
}

void DropZone::dropEvent(QDropEvent* event) {
    setHighlighted(false);
    const auto path = firstLocalFile(event->mimeData());
    if (!path) {
        event->ignore();
        return;
    }
    const bool accepted = onDrop ? onDrop(*path) : true;
    if (accepted) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DropZone::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill = color(app::ColorRole::controlBackground);
    QColor border = color(app::ColorRole::separator);
    if (highlighted_) {
        fill = color(app::ColorRole::accent);
        fill.setAlphaF(0.1f);
        border = color(app::ColorRole::accent);
    }
    const bool focused = hasFocus() && keyboardFocus_;
    if (focused) border = color(app::ColorRole::accent);
    painter.setPen(QPen(border, highlighted_ || focused ? 1.5 : 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(bounds, 8, 8);
}

}  // namespace orvane::ui
