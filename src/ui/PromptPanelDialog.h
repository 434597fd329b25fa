#pragma once
// The application's small message panel: its icon, a centred message, optionally a text input
// and a checkbox, OK (Return) and an optional Cancel (Escape).

#include <QDialog>

#include <functional>

#include "app/PromptPanel.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvane::ui {

class PromptPanelDialog final : public QDialog {
    Q_OBJECT
public:
    PromptPanelDialog(QWidget* parent, app::PromptRequest request);
    // A panel destroyed before it closed (its window went first) answers as cancelled.
    ~PromptPanelDialog() override;

    // Called once when the panel closes, with what the user answered.
    std::function<void(app::PromptResult)> onAnswer;

    [[nodiscard]] QLineEdit* inputField() const noexcept { return input_; }
    [[nodiscard]] QCheckBox* checkbox() const noexcept { return checkbox_; }
    [[nodiscard]] QPushButton* okButton() const noexcept { return ok_; }
    [[nodiscard]] QPushButton* cancelButton() const noexcept { return cancel_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void answer(int code);

    app::PromptRequest request_;
    QLabel* message_ = nullptr;
    QLineEdit* input_ = nullptr;
    QCheckBox* checkbox_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace orvane::ui
