#pragma once
// The tempo prompt: a title, an explanation, and a whole-number field, ".", a decimal field and
// "BPM" in one row; OK (Return) and Cancel (Escape). The whole-number field has the focus.

#include <QDialog>

#include <functional>
#include <optional>

#include "app/ModalPort.h"

class QLineEdit;
class QPushButton;

namespace orvane::ui {

class TempoPromptDialog final : public QDialog {
    Q_OBJECT
public:
    TempoPromptDialog(QWidget* parent, const app::TempoPromptRequest& request);
    ~TempoPromptDialog() override;

    // Called once when the prompt closes: the two texts, or nothing when cancelled.
    std::function<void(std::optional<app::TempoPromptAnswer>)> onAnswer;

    [[nodiscard]] QLineEdit* wholeField() const noexcept { return whole_; }
    [[nodiscard]] QLineEdit* decimalField() const noexcept { return decimal_; }
    [[nodiscard]] QPushButton* okButton() const noexcept { return ok_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void answer(int code);

    QLineEdit* whole_ = nullptr;
    QLineEdit* decimal_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace orvane::ui
