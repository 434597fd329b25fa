#pragma once
// The loop export dialog ("Loop Exporter"): the close-up of the loop, the preview transport
// (the space bar plays and stops it wherever the focus is), the repeat count with its stepper,
// the loop's start, end and length, an error line, Cancel (Escape) and OK (Return). It shows
// the dialog object's state and hands every action to it.

#include <QDialog>

#include <memory>

#include "app/LoopExportDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace orvane::ui {

class LoopTimelineWidget;

class LoopExportWindow final : public QDialog {
    Q_OBJECT
public:
    LoopExportWindow(QWidget* parent, std::shared_ptr<app::LoopExportDialog> dialog);
    ~LoopExportWindow() override;

    [[nodiscard]] const std::shared_ptr<app::LoopExportDialog>& dialog() const noexcept { return dialog_; }
    [[nodiscard]] LoopTimelineWidget* timeline() const noexcept { return timeline_; }
    [[nodiscard]] QPushButton* playButton() const noexcept { return play_; }
    [[nodiscard]] QPushButton* pauseButton() const noexcept { return pause_; }
    [[nodiscard]] QLabel* counterLabel() const noexcept { return counter_; }
    [[nodiscard]] QLineEdit* repeatField() const noexcept { return repeat_; }
    [[nodiscard]] QToolButton* stepUpButton() const noexcept { return up_; }
    [[nodiscard]] QToolButton* stepDownButton() const noexcept { return down_; }
    [[nodiscard]] QLabel* startLabel() const noexcept { return start_; }
    [[nodiscard]] QLabel* endLabel() const noexcept { return end_; }
    [[nodiscard]] QLabel* lengthLabel() const noexcept { return length_; }
    [[nodiscard]] QLabel* errorLabel() const noexcept { return error_; }
    [[nodiscard]] QPushButton* okButton() const noexcept { return ok_; }
    [[nodiscard]] QPushButton* cancelButton() const noexcept { return cancel_; }

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void redraw();
    void closeFromDialog();
    void step(int delta);

    std::shared_ptr<app::LoopExportDialog> dialog_;
    LoopTimelineWidget* timeline_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* pause_ = nullptr;
    QLabel* counter_ = nullptr;
    QLineEdit* repeat_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    QLabel* start_ = nullptr;
    QLabel* end_ = nullptr;
    QLabel* length_ = nullptr;
    QLabel* error_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* ok_ = nullptr;
    bool closing_ = false;
    bool centred_ = false;
};

}  // namespace orvane::ui
