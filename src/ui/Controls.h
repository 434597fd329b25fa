#pragma once
// Small controls the window needs and Qt lacks: a stepper (two arrows, no text field of its
// own) and a label that elides a text too long for it, showing the whole text as a tooltip.

#include <QLabel>
#include <QWidget>

class QToolButton;

namespace orvane::ui {

class Stepper final : public QWidget {
    Q_OBJECT
public:
    explicit Stepper(int minimum, int maximum, QWidget* parent = nullptr);

    [[nodiscard]] int value() const noexcept { return value_; }
    [[nodiscard]] int minimum() const noexcept { return minimum_; }
    [[nodiscard]] int maximum() const noexcept { return maximum_; }
    // Shows a value; never signals.
    void setValue(int value);
    // What a click on an arrow or an arrow key does: one step, no wrapping.
    void stepBy(int steps);
    [[nodiscard]] QToolButton* upButton() const noexcept { return up_; }
    [[nodiscard]] QToolButton* downButton() const noexcept { return down_; }

signals:
    // Only for steps the user made.
    void userStepped(int value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateArrows();

    int minimum_;
    int maximum_;
    int value_ = 0;
    QToolButton* up_;
    QToolButton* down_;
};

class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    void setFullText(const QString& text);
    [[nodiscard]] const QString& fullText() const noexcept { return full_; }
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();
    QString full_;
};

}  // namespace orvane::ui
