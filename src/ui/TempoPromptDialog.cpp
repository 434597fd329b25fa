#include "ui/TempoPromptDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/PanelStyle.h"

namespace orvane::ui {

TempoPromptDialog::TempoPromptDialog(QWidget* parent, const app::TempoPromptRequest& request) : QDialog(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("tempoPrompt"));
    setWindowTitle(tr("Song Tempo"));

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 16);
    outer->setSpacing(16);

    auto* icon = new QLabel(this);
    QIcon appIcon = QApplication::windowIcon();
    if (appIcon.isNull()) appIcon = style()->standardIcon(QStyle::SP_MessageBoxQuestion);
    icon->setPixmap(appIcon.pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);
    outer->addWidget(icon, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    outer->addLayout(column, 1);

    auto* title = new QLabel(panel::qstr(request.title), this);
    title->setFont(panel::font(14, QFont::Bold));
    title->setWordWrap(true);
    title->setTextFormat(Qt::PlainText);
    column->addWidget(title);

    auto* text = new QLabel(panel::qstr(request.informativeText), this);
    text->setFont(panel::font(12));
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText);
    column->addWidget(text);
    column->addSpacing(4);

    // The tempo row: 220 x 28, whole field, ".", decimal field, "BPM".
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    whole_ = new QLineEdit(panel::qstr(request.wholeText), this);
    whole_->setPlaceholderText(QStringLiteral("BPM"));
    whole_->setFont(panel::fixedFont(13));
    whole_->setFixedSize(80, 24);
    whole_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    whole_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), whole_));
    whole_->setAccessibleName(tr("Tempo, whole beats per minute"));
    whole_->setToolTip(tr("Whole beats per minute, 10 to 300"));
    row->addWidget(whole_);

    auto* dot = new QLabel(QStringLiteral("."), this);
    dot->setFont(panel::fixedFont(16));
    row->addWidget(dot);

    decimal_ = new QLineEdit(panel::qstr(request.decimalText), this);
    decimal_->setPlaceholderText(QStringLiteral("000"));
    decimal_->setFont(panel::fixedFont(13));
    decimal_->setFixedSize(80, 24);
    decimal_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), decimal_));
    decimal_->setAccessibleName(tr("Tempo, thousandths"));
    decimal_->setToolTip(tr("Thousandths of a beat per minute; leave blank for a whole number"));
    row->addWidget(decimal_);

    auto* bpm = new QLabel(QStringLiteral("BPM"), this);
    bpm->setFont(panel::font(12));
    row->addWidget(bpm);
    row->addStretch(1);
    column->addLayout(row);
    column->addSpacing(8);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    ok_->setToolTip(tr("Apply this tempo (Return)"));
    cancel->setToolTip(tr("Keep the current tempo (Escape)"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);

    connect(this, &QDialog::finished, this, &TempoPromptDialog::answer);
    setFixedWidth(440);
    setFixedHeight(sizeHint().height());
}

TempoPromptDialog::~TempoPromptDialog() {
    if (onAnswer) answer(QDialog::Rejected);
}

void TempoPromptDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    panel::centreOver(this, parentWidget());
    whole_->setFocus();
    whole_->selectAll();
}

void TempoPromptDialog::answer(int code) {
    auto callback = std::move(onAnswer);
    onAnswer = nullptr;
    if (!callback) return;
    if (code != QDialog::Accepted) return callback(std::nullopt);
    callback(app::TempoPromptAnswer{panel::utf8(whole_->text()), panel::utf8(decimal_->text())});
}

}  // namespace orvane::ui
