#include "ui/PromptPanelDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/PanelStyle.h"

namespace orvane::ui {

namespace {

QPixmap appIcon(int size) {
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
    return icon.pixmap(QSize(size, size));
}

}  // namespace

PromptPanelDialog::PromptPanelDialog(QWidget* parent, app::PromptRequest request)
    : QDialog(parent), request_(std::move(request)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString());
    setObjectName(QStringLiteral("promptPanel"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 18);
    layout->setSpacing(0);

    auto* icon = new QLabel(this);
    icon->setPixmap(appIcon(56));
    icon->setFixedSize(56, 56);
    icon->setScaledContents(false);
    icon->setAlignment(Qt::AlignCenter);
    icon->setAccessibleName(tr("Application icon"));
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    layout->addSpacing(14);

    message_ = new QLabel(panel::qstr(request_.message), this);
    message_->setFont(panel::font(14));
    message_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    message_->setObjectName(QStringLiteral("message"));
    layout->addWidget(message_);

    if (request_.inputValue) {
        layout->addSpacing(14);
        input_ = new QLineEdit(panel::qstr(*request_.inputValue), this);
        input_->setAlignment(Qt::AlignCenter);
        input_->setFont(panel::fixedFont(15));
        input_->setFixedWidth(92);
        input_->setAccessibleName(panel::qstr(request_.message));
        input_->setToolTip(tr("Type a value, then press Return"));
        layout->addWidget(input_, 0, Qt::AlignHCenter);
    }
    if (request_.checkboxTitle) {
        layout->addSpacing(12);
        checkbox_ = new QCheckBox(panel::qstr(*request_.checkboxTitle), this);
        checkbox_->setChecked(request_.checkboxChecked);
        checkbox_->setToolTip(panel::qstr(*request_.checkboxTitle));
        layout->addWidget(checkbox_, 0, Qt::AlignHCenter);
    }
    layout->addStretch(1);
    layout->addSpacing(12);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch(1);
    if (request_.cancelTitle) {
        cancel_ = new QPushButton(panel::qstr(*request_.cancelTitle), this);
        cancel_->setMinimumWidth(82);
        cancel_->setAutoDefault(false);
        cancel_->setToolTip(tr("Escape"));
        connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
        buttons->addWidget(cancel_);
    }
    ok_ = new QPushButton(panel::qstr(request_.okTitle), this);
    ok_->setMinimumWidth(82);
    ok_->setDefault(true);
    ok_->setToolTip(tr("Return"));
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(ok_);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(this, &QDialog::finished, this, &PromptPanelDialog::answer);

    // The panel's height is fixed by what it holds; a long message makes it taller rather than
    // being cut off.
    setFixedWidth(app::promptPanelWidth);
    const int needed = layout->heightForWidth(app::promptPanelWidth);
    setFixedHeight(std::max(app::promptPanelContentHeight(request_), needed));
}

PromptPanelDialog::~PromptPanelDialog() {
    if (onAnswer) answer(QDialog::Rejected);
}

void PromptPanelDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    panel::centreOver(this, parentWidget());
    if (input_ != nullptr) {
        input_->selectAll();
        input_->setFocus();
    } else {
        ok_->setFocus();
    }
}

void PromptPanelDialog::answer(int code) {
    auto callback = std::move(onAnswer);
    onAnswer = nullptr;
    if (!callback) return;
    const auto response = code == QDialog::Accepted ? app::ModalResponse::ok : app::ModalResponse::cancel;
    std::optional<std::string> raw;
    if (input_ != nullptr) raw = panel::utf8(input_->text());
    callback(app::promptResult(request_, response, raw, checkbox_ != nullptr && checkbox_->isChecked()));
}

}  // namespace orvane::ui
