#pragma once
// The mixer window: one strip per track (pan, volume fader, LED meter, instrument name, colour
// bar, and reverb and velocity when expanded), the Advanced Mixer button, and a transparent
// shield over the strips while playback runs. It draws the mixer panel's state and hands every
// slider action to it; the panel and the controller decide what the song becomes.

#include <QFrame>
#include <QSlider>
#include <QWidget>

#include <memory>
#include <vector>

#include "app/MixerPanel.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QHBoxLayout;

namespace orvane::ui {

class ActivityMeterWidget;

// A slider that returns to the centre on a Control-click or a right click.
class CenterResetSlider final : public QSlider {
    Q_OBJECT
public:
    using QSlider::QSlider;
signals:
    void resetRequested();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// Covers the strips while playback runs: a press or a drag on it is an attempt the panel
// refuses, and it goes no further.
class MixerShield final : public QWidget {
    Q_OBJECT
public:
    explicit MixerShield(QWidget* parent);
    std::function<void()> onAttempt;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};

class MixerStripWidget final : public QFrame {
    Q_OBJECT
public:
    explicit MixerStripWidget(QWidget* parent);

    // Shows a strip's values, name and colour without reporting anything back.
    void showStrip(const app::MixerStripState& strip);
    void showValues(const app::MixerStripState& strip);
    void setAdvancedExpanded(bool expanded, int stripHeight);

    [[nodiscard]] CenterResetSlider* panSlider() const noexcept { return pan_; }
    [[nodiscard]] QSlider* volumeSlider() const noexcept { return volume_; }
    [[nodiscard]] QSlider* reverbSlider() const noexcept { return reverb_; }
    [[nodiscard]] QSlider* velocitySlider() const noexcept { return velocity_; }
    [[nodiscard]] QLabel* panValueLabel() const noexcept { return panValue_; }
    [[nodiscard]] QLabel* volumeValueLabel() const noexcept { return volumeValue_; }
    [[nodiscard]] QLabel* reverbValueLabel() const noexcept { return reverbValue_; }
    [[nodiscard]] QLabel* velocityValueLabel() const noexcept { return velocityValue_; }
    [[nodiscard]] QLabel* nameLabel() const noexcept { return name_; }
    [[nodiscard]] ActivityMeterWidget* meter() const noexcept { return meter_; }
    [[nodiscard]] QWidget* advancedRows() const noexcept { return advanced_; }
    [[nodiscard]] QColor barColor() const noexcept { return barColor_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CenterResetSlider* pan_ = nullptr;
    QSlider* volume_ = nullptr;
    QSlider* reverb_ = nullptr;
    QSlider* velocity_ = nullptr;
    QLabel* panValue_ = nullptr;
    QLabel* volumeValue_ = nullptr;
    QLabel* reverbValue_ = nullptr;
    QLabel* velocityValue_ = nullptr;
    QLabel* name_ = nullptr;
    ActivityMeterWidget* meter_ = nullptr;
    QWidget* colorBar_ = nullptr;
    QWidget* advanced_ = nullptr;
    QColor barColor_;
};

class MixerWindow final : public QWidget {
    Q_OBJECT
public:
    MixerWindow(QWidget* parent, std::shared_ptr<app::MixerPanel> panel);
    ~MixerWindow() override;

    [[nodiscard]] const std::shared_ptr<app::MixerPanel>& panel() const noexcept { return panel_; }
    [[nodiscard]] const std::vector<MixerStripWidget*>& strips() const noexcept { return strips_; }
    [[nodiscard]] QPushButton* advancedButton() const noexcept { return advanced_; }
    [[nodiscard]] QLabel* emptyLabel() const noexcept { return empty_; }
    [[nodiscard]] MixerShield* shield() const noexcept { return shield_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void redraw(unsigned changes);
    void rebuildStrips();
    void showValues();
    void showMeters();
    void showLock();
    void relayout();
    void wireStrip(MixerStripWidget* strip, std::size_t index);

    std::shared_ptr<app::MixerPanel> panel_;
    std::vector<MixerStripWidget*> strips_;
    QScrollArea* scroll_ = nullptr;
    QWidget* stripsContainer_ = nullptr;
    QHBoxLayout* stack_ = nullptr;
    QLabel* empty_ = nullptr;
    MixerShield* shield_ = nullptr;
    QPushButton* advanced_ = nullptr;
    bool closing_ = false;
};

}  // namespace orvane::ui
