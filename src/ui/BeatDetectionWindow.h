#pragma once
// The beat-detection window: progress, the waveform revealed from left to right, the result
// (tempo, candidates, song length, a note, beats), the four tempo corrections, Apply Tempo
// and OK. It draws the controller's state; closing it by any means ends the detection.

#include <QDialog>
#include <QWidget>

#include <memory>
#include <vector>

#include "app/BeatDetectionController.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace orvane::ui {

class WaveformWidget final : public QWidget {
    Q_OBJECT
public:
    explicit WaveformWidget(QWidget* parent = nullptr);
    void setWaveform(const std::vector<tempo::OrvaneWaveformSlice>& slices, double reveal, bool failed);
    [[nodiscard]] app::WaveformDrawing drawing() const;
    [[nodiscard]] bool isFailed() const noexcept { return failed_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<tempo::OrvaneWaveformSlice> slices_;
    double reveal_ = 0;
    bool failed_ = false;
};

class BeatDetectionWindow final : public QDialog {
    Q_OBJECT
public:
    BeatDetectionWindow(QWidget* parent, std::shared_ptr<app::BeatDetectionController> controller);
    ~BeatDetectionWindow() override;

    [[nodiscard]] const std::shared_ptr<app::BeatDetectionController>& controller() const noexcept {
        return controller_;
    }
    [[nodiscard]] QLabel* statusLabel() const noexcept { return status_; }
    [[nodiscard]] WaveformWidget* waveform() const noexcept { return waveform_; }
    [[nodiscard]] QWidget* resultGrid() const noexcept { return grid_; }
    [[nodiscard]] QLabel* fileNameValue() const noexcept { return fileName_; }
    [[nodiscard]] QLabel* tempoValue() const noexcept { return tempo_; }
    [[nodiscard]] QLabel* lengthValue() const noexcept { return length_; }
    [[nodiscard]] QLabel* noteValue() const noexcept { return note_; }
    [[nodiscard]] QLabel* beatsValue() const noexcept { return beats_; }
    [[nodiscard]] QComboBox* candidatePicker() const noexcept { return candidates_; }
    [[nodiscard]] const std::vector<QPushButton*>& correctionButtons() const noexcept { return corrections_; }
    [[nodiscard]] QPushButton* applyButton() const noexcept { return apply_; }
    [[nodiscard]] QPushButton* okButton() const noexcept { return ok_; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void redraw();
    void closeFromController();

    std::shared_ptr<app::BeatDetectionController> controller_;
    QLabel* status_ = nullptr;
    WaveformWidget* waveform_ = nullptr;
    QWidget* grid_ = nullptr;
    QLabel* fileName_ = nullptr;
    QLabel* tempo_ = nullptr;
    QLabel* length_ = nullptr;
    QLabel* note_ = nullptr;
    QLabel* beats_ = nullptr;
    QComboBox* candidates_ = nullptr;
    std::vector<QWidget*> candidateRow_;
    QWidget* correctionRow_ = nullptr;
    std::vector<QPushButton*> corrections_;
    QPushButton* apply_ = nullptr;
    QPushButton* ok_ = nullptr;
    std::vector<std::string> shownCandidates_;
    bool closing_ = false;
    bool centred_ = false;
};

}  // namespace orvane::ui
