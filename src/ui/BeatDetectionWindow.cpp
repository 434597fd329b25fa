#include "ui/BeatDetectionWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/PanelStyle.h"

namespace orvane::ui {

namespace {

// The corrections as musicians write them; the application's plain titles stay the
// accessible names.
QString typographicTitle(app::TempoCorrection correction) {
    switch (correction) {
        case app::TempoCorrection::half: return QStringLiteral("½");
        case app::TempoCorrection::twoThirds: return QStringLiteral("⅔");
        case app::TempoCorrection::threeHalves: return QStringLiteral("3⁄2");
        case app::TempoCorrection::twice: return QStringLiteral("2×");
    }
    return {};
}

QLabel* gridLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(panel::font(12));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, panel::color(app::ColorRole::secondaryLabel));
    label->setPalette(palette);
    return label;
}

QLabel* gridValue(QWidget* parent, const QString& accessibleName) {
    auto* label = new QLabel(QStringLiteral("--"), parent);
    QFont font = panel::font(13, QFont::DemiBold);
    font.setStyleHint(QFont::TypeWriter, QFont::PreferDefault);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(accessibleName);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

// ---- Waveform ----------------------------------------------------------------------------

WaveformWidget::WaveformWidget(QWidget* parent) : QWidget(parent) {
    setFixedHeight(56);
    setAccessibleName(tr("Waveform"));
    setToolTip(tr("The start of the audio file"));
}

void WaveformWidget::setWaveform(const std::vector<tempo::OrvaneWaveformSlice>& slices, double reveal, bool failed) {
    if (slices == slices_ && reveal == reveal_ && failed == failed_) return;
    slices_ = slices;
    reveal_ = reveal;
    failed_ = failed;
    update();
}

app::WaveformDrawing WaveformWidget::drawing() const {
    return app::waveformLines(slices_, reveal_, width(), height());
}

void WaveformWidget::paintEvent(QPaintEvent*) {
    const app::WaveformDrawing drawing = this->drawing();
    if (!drawing.visible) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(drawing.frame.x, drawing.frame.y, drawing.frame.width, drawing.frame.height);
    const QColor separator = panel::color(app::ColorRole::separator);
    painter.setPen(QPen(separator, app::WaveformDrawing::frameLineWidth));
    painter.setBrush(panel::color(app::ColorRole::controlBackground));
    painter.drawRoundedRect(frame, app::WaveformDrawing::cornerRadius, app::WaveformDrawing::cornerRadius);
    painter.setPen(QPen(panel::withAlpha(separator, 0.55), app::WaveformDrawing::centreLineWidth));
    painter.drawLine(QPointF(drawing.centreStartX, drawing.centreY), QPointF(drawing.centreEndX, drawing.centreY));
    if (drawing.clipWidth <= 0 || drawing.lines.empty()) return;
    painter.setClipRect(QRectF(frame.x(), frame.y(), drawing.clipWidth, frame.height()));
    QPen wave(panel::color(failed_ ? app::ColorRole::red : app::ColorRole::blue), drawing.lineWidth);
    wave.setCapStyle(Qt::RoundCap);
    painter.setPen(wave);
    for (const app::WaveformDrawing::Line& line : drawing.lines) {
        painter.drawLine(QPointF(line.x, line.top), QPointF(line.x, line.bottom));
    }
}

// ---- The window ----------------------------------------------------------------------------

BeatDetectionWindow::BeatDetectionWindow(QWidget* parent, std::shared_ptr<app::BeatDetectionController> shown)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      controller_(std::move(shown)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("beatDetectionWindow"));
    setWindowTitle(QStringLiteral("Beat Detection"));
    setFixedSize(app::BeatDetectionController::contentWidth, app::BeatDetectionController::contentHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 22, 24, 20);
    layout->setSpacing(10);

    auto* title = new QLabel(QStringLiteral("Detecting Tempo"), this);
    title->setFont(panel::font(17, QFont::Bold));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    status_ = new QLabel(this);
    status_->setFont(panel::font(12));
    status_->setAlignment(Qt::AlignCenter);
    status_->setAccessibleName(tr("Detection status"));
    QPalette statusPalette = status_->palette();
    statusPalette.setColor(QPalette::WindowText, panel::color(app::ColorRole::secondaryLabel));
    status_->setPalette(statusPalette);
    layout->addWidget(status_);

    waveform_ = new WaveformWidget(this);
    layout->addWidget(waveform_);
    layout->addSpacing(4);

    grid_ = new QWidget(this);
    auto* grid = new QGridLayout(grid_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(11);
    grid->setHorizontalSpacing(16);
    grid->setColumnStretch(1, 1);
    fileName_ = gridValue(grid_, tr("Audio file"));
    tempo_ = gridValue(grid_, tr("Tempo detected"));
    length_ = gridValue(grid_, tr("Song length"));
    note_ = gridValue(grid_, tr("Detection note"));
    note_->setFont(panel::font(13, QFont::DemiBold));
    note_->setWordWrap(true);
    note_->setMaximumHeight(2 * QFontMetrics(note_->font()).lineSpacing() + 2);
    beats_ = gridValue(grid_, tr("Total beats"));
    candidates_ = new QComboBox(grid_);
    candidates_->setToolTip(QStringLiteral("Choose the BPM candidate to apply."));
    candidates_->setAccessibleName(tr("Tempo candidate"));
    candidates_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* candidateLabel = gridLabel(QStringLiteral("Candidate"), grid_);
    candidateLabel->setBuddy(candidates_);
    candidateRow_ = {candidateLabel, candidates_};
    int row = 0;
    const auto addRow = [&](const QString& label, QWidget* value) {
        grid->addWidget(gridLabel(label, grid_), row, 0);
        grid->addWidget(value, row, 1, Qt::AlignLeft | Qt::AlignVCenter);
        ++row;
    };
    addRow(QStringLiteral("Audio File"), fileName_);
    addRow(QStringLiteral("Tempo Detected"), tempo_);
    grid->addWidget(candidateLabel, row, 0);
    grid->addWidget(candidates_, row, 1, Qt::AlignLeft | Qt::AlignVCenter);
    ++row;
    addRow(QStringLiteral("Song Length"), length_);
    grid->addWidget(gridLabel(QStringLiteral("Detection Note"), grid_), row, 0, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(note_, row, 1);
    ++row;
    addRow(QStringLiteral("Total Beats"), beats_);
    layout->addWidget(grid_);
    layout->addStretch(1);

    correctionRow_ = new QWidget(this);
    auto* corrections = new QHBoxLayout(correctionRow_);
    corrections->setContentsMargins(0, 0, 0, 0);
    corrections->setSpacing(8);
    corrections->addStretch(1);
    const std::weak_ptr<app::BeatDetectionController> weak = controller_;
    for (const app::TempoCorrectionButton& button : app::tempoCorrectionButtons()) {
        auto* widget = new QPushButton(typographicTitle(button.correction), correctionRow_);
        widget->setMinimumWidth(46);
        widget->setFixedWidth(60);
        widget->setFont(panel::font(14));
        widget->setAutoDefault(false);
        widget->setToolTip(panel::qstr(button.tooltip));
        widget->setAccessibleName(panel::qstr(button.title));
        connect(widget, &QPushButton::clicked, this, [weak, correction = button.correction] {
            if (const auto controller = weak.lock()) controller->correctionClicked(correction);
        });
        corrections->addWidget(widget);
        corrections_.push_back(widget);
    }
    corrections->addStretch(1);
    layout->addWidget(correctionRow_);
    layout->addSpacing(6);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(14);
    bottom->addStretch(1);
    apply_ = new QPushButton(QStringLiteral("Apply Tempo"), this);
    apply_->setAutoDefault(false);
    apply_->setMinimumWidth(110);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    ok_->setMinimumWidth(88);
    ok_->setToolTip(tr("Close this window (Return)"));
    bottom->addWidget(apply_);
    bottom->addWidget(ok_);
    layout->addLayout(bottom);

    connect(apply_, &QPushButton::clicked, this, [weak] {
        if (const auto controller = weak.lock()) controller->applyTempoButtonClicked();
    });
    connect(ok_, &QPushButton::clicked, this, [weak] {
        if (const auto controller = weak.lock()) controller->okButtonClicked();
    });
    connect(candidates_, &QComboBox::activated, this, [weak](int index) {
        if (index < 0) return;
        if (const auto controller = weak.lock()) controller->candidatePickerChanged(static_cast<std::size_t>(index));
    });

    const QPointer<BeatDetectionWindow> self(this);
    controller_->onStateChange = [self] {
        if (self) self->redraw();
    };
    controller_->onCloseRequested = [self] {
        if (self) self->closeFromController();
    };
    redraw();
}

BeatDetectionWindow::~BeatDetectionWindow() {
    if (controller_) {
        controller_->onStateChange = nullptr;
        controller_->onCloseRequested = nullptr;
    }
}

void BeatDetectionWindow::redraw() {
    const app::BeatDetectionState& state = controller_->state();
    status_->setText(panel::qstr(state.status));
    waveform_->setWaveform(state.slices, state.reveal, state.waveformFailed);

    const QString file = panel::qstr(state.fileNameValue);
    fileName_->setText(fileName_->fontMetrics().elidedText(file, Qt::ElideMiddle, 330));
    fileName_->setToolTip(file);
    tempo_->setText(panel::qstr(state.tempoValue));
    length_->setText(panel::qstr(state.lengthValue));
    note_->setText(panel::qstr(state.detectionNoteValue));
    beats_->setText(panel::qstr(state.totalBeatsValue));

    {
        const QSignalBlocker blocker(candidates_);
        if (state.candidateTitles != shownCandidates_) {
            shownCandidates_ = state.candidateTitles;
            candidates_->clear();
            for (const std::string& title : shownCandidates_) candidates_->addItem(panel::qstr(title));
        }
        const int selected = state.selectedCandidate ? static_cast<int>(*state.selectedCandidate) : -1;
        if (candidates_->currentIndex() != selected) candidates_->setCurrentIndex(selected);
    }
    for (QWidget* widget : candidateRow_) widget->setVisible(state.candidateRowVisible);

    grid_->setVisible(state.gridVisible);
    correctionRow_->setVisible(state.correctionsVisible);
    apply_->setVisible(state.applyVisible);
    apply_->setEnabled(state.applyEnabled);
    apply_->setToolTip(panel::qstr(state.applyTooltip));
    ok_->setVisible(state.okVisible);
    ok_->setEnabled(state.okEnabled);
    if (state.okVisible && state.okEnabled && isVisible() && !ok_->hasFocus() && focusWidget() == nullptr) {
        ok_->setFocus();
    }
}

void BeatDetectionWindow::closeFromController() {
    if (closing_) return;
    closing_ = true;
    QDialog::done(QDialog::Accepted);
}

void BeatDetectionWindow::reject() {
    // Escape or the window's close button: the detection ends with the window.
    if (!closing_) {
        closing_ = true;
        const auto keep = controller_;
        keep->windowWillClose();
    }
    QDialog::reject();
}

void BeatDetectionWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!centred_) {
        centred_ = true;
        panel::centreOver(this, parentWidget());
    }
}

}  // namespace orvane::ui
