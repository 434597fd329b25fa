#include "ui/MainWindow.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/WindowLayout.h"
#include "ui/AboutDialog.h"
#include "ui/DesktopIcon.h"
#include "ui/Appearance.h"
#include "ui/Controls.h"
#include "ui/DropZone.h"
#include "ui/NowPlayingIndicator.h"
#include "ui/TimelineView.h"
#include "ui/TrackTableModel.h"
#include "ui/TrackTableView.h"

namespace orvane::ui {
namespace {

// The fixed parts of the content, top to bottom; with the table and the timeline they make
// the height the layout asks for (210 points besides those two).
constexpr int topMargin = 6;
constexpr int titleHeight = 26;
constexpr int dropZoneHeight = 52;
constexpr int statusHeight = 18;
constexpr int transportHeight = 40;
constexpr int bottomRowHeight = 28;
constexpr int bottomMargin = 6;
constexpr int sideMargin = 12;
// The table keeps this much (three rows) when the screen is too short for everything.
constexpr int shortestTable = app::tableHeaderAndMargins + 3 * app::tableRowHeight;
constexpr int resizeMilliseconds = 250;

int milliseconds(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    return static_cast<int>(std::min(std::llround(seconds * 1000.0), static_cast<long long>(INT32_MAX)));
}

void setTextColor(QWidget* widget, const QColor& textColor) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, QPalette::ButtonText, textColor);
    palette.setColor(QPalette::Inactive, QPalette::ButtonText, textColor);
    palette.setColor(QPalette::Active, QPalette::WindowText, textColor);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, textColor);
    widget->setPalette(palette);
}

bool isTextInput(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget);
}

// The rounded box around the transport controls.
class TransportPanel final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(color(app::ColorRole::separator), 1));
        painter.setBrush(QColor(0xfa, 0xfa, 0xfb));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QString::fromUtf8("🎹 Orvane"));
    setWindowIcon(orvaneIcon());
    setAccessibleName("Orvane");
    buildContent();
    buildMenus();
    wireActions();
    setTabOrder();
    // The keyboard starts in the table, which shows no ring while it is empty.
    parts_.table->setFocus(Qt::OtherFocusReason);

    heightAnimation_.setDuration(resizeMilliseconds);
    heightAnimation_.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&heightAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        // The top edge stays where it is; the window grows or shrinks downwards.
        const QRect frame = geometry();
        setGeometry(frame.x(), frame.y(), app::mainWindowWidth, value.toInt());
    });

    setFixedWidth(app::mainWindowWidth);
    const int chrome = chromeHeight();
    setMinimumHeight(app::mainWindowMinimumHeight + chrome);
    targetContentHeight_ = std::max(layout_.windowHeight, app::mainWindowMinimumHeight);
    resize(app::mainWindowWidth, targetContentHeight_ + chrome);
    fitTimelineToContent();
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    // Closing a window moves the focus, and a field that loses it reports; by the time the
    // base class closes this window, nothing here may hear about it any more.
    qApp->removeEventFilter(this);
    heightAnimation_.stop();
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
    parts_.tableModel->onCheckToggled = nullptr;
    parts_.tableModel->onNameEdited = nullptr;
    parts_.tableModel->onFilesForDrag = nullptr;
    parts_.table->onAudition = nullptr;
    parts_.table->onSelectionChanged = nullptr;
    parts_.dropZone->onDrop = nullptr;
    parts_.dropZone->onCommitName = nullptr;
    parts_.dropZone->onNameDraft = nullptr;
}

void MainWindow::attach(std::weak_ptr<app::MainViewController> controller) { controller_ = std::move(controller); }

template <typename Work>
void MainWindow::withController(Work&& work) {
    if (const auto controller = controller_.lock()) work(*controller);
}

QPushButton* MainWindow::roundedButton(const QString& title, const QString& tip) {
    auto* button = new QPushButton(title);
    button->setFont(uiFont(12));
    button->setFixedHeight(26);
    button->setToolTip(tip);
    button->setAccessibleName(title);
    button->setAutoDefault(false);
    return button;
}

QPushButton* MainWindow::transportButton(const QString& glyph, const QString& name, const QString& tip) {
    auto* button = new QPushButton(glyph);
    button->setFont(symbolFont(14));
    button->setFixedSize(34, 26);
    button->setToolTip(tip);
    button->setAccessibleName(name);
    button->setAutoDefault(false);
    return button;
}

void MainWindow::buildContent() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(sideMargin, topMargin, sideMargin, bottomMargin);
    column->setSpacing(0);

    Parts& p = parts_;
    p.title = new QLabel("Orvane");
    p.title->setFont(uiFont(20, true));
    p.title->setAlignment(Qt::AlignCenter);
    p.title->setFixedHeight(titleHeight);
    p.title->setAccessibleName("Orvane");
    p.title->setToolTip("Orvane takes a MIDI file apart and puts it back together");
    column->addWidget(p.title);
    column->addSpacing(6);

    p.dropZone = new DropZone;
    p.dropZone->setFixedHeight(dropZoneHeight);
    column->addWidget(p.dropZone);
    column->addSpacing(6);

    p.tableModel = new TrackTableModel(this);
    p.table = new TrackTableView(p.tableModel);
    p.table->setMinimumHeight(65);
    column->addWidget(p.table, 1);
    column->addSpacing(4);

    p.status = new ElidedLabel;
    p.status->setFont(uiFont(12));
    p.status->setFixedHeight(statusHeight);
    p.status->setAccessibleName("Status");
    column->addWidget(p.status);
    column->addSpacing(4);

    auto* transport = new TransportPanel;
    transport->setFixedHeight(transportHeight);
    auto* transportRow = new QHBoxLayout(transport);
    transportRow->setContentsMargins(12, 4, 10, 4);
    transportRow->setSpacing(6);
    auto* transportLabel = new ElidedLabel;
    transportLabel->setFullText("Ready");
    transportLabel->setFont(uiFont(12, true));
    transportLabel->setFixedWidth(176);
    transportLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    transportLabel->setAccessibleName("Transport state");
    transportLabel->setToolTip("What is playing");
    p.transportLabel = transportLabel;
    p.play = transportButton(QString::fromUtf8("▶"), "Play", "Play the song, or the ticked tracks (Space)");
    p.pause = transportButton(QString::fromUtf8("⏸"), "Pause", "Pause, and resume where it stopped (Space)");
    p.rtz = transportButton(QString::fromUtf8("⏮"), "Back to the start", "Back to the start of the song");
    p.currentTime = new QLabel("0:00");
    p.currentTime->setFont(monoFont(12));
    p.currentTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    p.currentTime->setFixedWidth(44);
    p.currentTime->setAccessibleName("Position");
    p.currentTime->setToolTip("Where the song is");
    p.slider = new QSlider(Qt::Horizontal);
    p.slider->setRange(0, 1000);
    p.slider->setAccessibleName("Song position");
    p.slider->setToolTip("Drag or click to move through the song");
    p.slider->setEnabled(false);
    p.totalTime = new QLabel("0:00");
    p.totalTime->setFont(monoFont(12));
    p.totalTime->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    p.totalTime->setFixedWidth(44);
    p.totalTime->setAccessibleName("Song length");
    p.totalTime->setToolTip("How long the song is");
    p.indicator = new NowPlayingIndicator;
    p.indicator->setColor(color(app::ColorRole::accent));
    p.indicator->setAccessibleName("Now playing");
    p.indicator->setToolTip("Moves while something plays");
    for (QWidget* widget : {static_cast<QWidget*>(p.transportLabel), static_cast<QWidget*>(p.play),
                            static_cast<QWidget*>(p.pause), static_cast<QWidget*>(p.rtz),
                            static_cast<QWidget*>(p.currentTime)}) {
        transportRow->addWidget(widget);
    }
    transportRow->addWidget(p.slider, 1);
    transportRow->addWidget(p.totalTime);
    transportRow->addWidget(p.indicator);
    for (QPushButton* button : {p.play, p.pause, p.rtz}) button->setEnabled(false);
    column->addWidget(transport);
    column->addSpacing(6);

    p.timeline = new TimelineView;
    p.timeline->setFixedHeight(app::emptyTimelineHeight);
    column->addWidget(p.timeline);
    column->addSpacing(8);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(6);
    bottom->setContentsMargins(0, 0, 0, 0);
    p.clear = roundedButton("Clear", "Close the song and start again");
    p.mixer = roundedButton("Mixer", "Volume, pan, velocity and reverb of every track (Ctrl+M)");
    p.merge = roundedButton(QString::fromUtf8("Merge All…"), "Write the ticked tracks (or all) into one file");
    p.split = roundedButton("Split All", "Write each ticked track (or every track) as a file of its own");
    // Widths that hold every title a button takes ("Merge 12…", "Split Loop"), so that the
    // row never shifts as titles change.
    p.clear->setFixedWidth(58);
    p.mixer->setFixedWidth(62);
    p.merge->setFixedWidth(96);
    p.split->setFixedWidth(86);
    auto* pitchLabel = new QLabel("Pitch:");
    pitchLabel->setFont(uiFont(12));
    p.transposeField = new QLineEdit("0");
    p.transposeField->setFont(uiFont(12));
    p.transposeField->setAlignment(Qt::AlignCenter);
    p.transposeField->setFixedSize(40, 26);
    p.transposeField->setAccessibleName("Pitch offset in semitones");
    p.transposeField->setToolTip("Transpose the whole song, from -12 to +12 semitones; Return applies, Escape reverts");
    p.transposeField->setEnabled(false);
    pitchLabel->setBuddy(p.transposeField);
    pitchLabel->setToolTip(p.transposeField->toolTip());
    p.transposeStepper = new Stepper(-12, 12);
    p.transposeStepper->setAccessibleName("Pitch stepper");
    p.transposeStepper->setToolTip("One semitone up or down (arrow keys when focused)");
    p.transposeStepper->setEnabled(false);
    p.reset = roundedButton("Reset", "Back to the original pitch");
    p.reset->setFixedWidth(58);
    p.tempo = roundedButton("Tempo", "Set the song's tempo in BPM");
    p.tempo->setFixedWidth(62);
    p.loop = roundedButton(QString::fromUtf8("↻ Loop"), "Loop a section of the song; drag its markers in the timeline");
    p.loop->setFont(symbolFont(12));
    p.loop->setFixedWidth(72);
    p.loop->setCheckable(true);
    p.loop->setAccessibleName("Loop");
    for (QPushButton* button : {p.mixer, p.merge, p.split, p.reset, p.tempo, p.loop}) button->setEnabled(false);
    bottom->addWidget(p.clear);
    bottom->addWidget(p.mixer);
    bottom->addWidget(p.merge);
    bottom->addWidget(p.split);
    bottom->addStretch(1);
    bottom->addWidget(pitchLabel);
    bottom->addWidget(p.transposeField);
    bottom->addWidget(p.transposeStepper);
    bottom->addWidget(p.reset);
    bottom->addSpacing(6);
    bottom->addWidget(p.tempo);
    bottom->addWidget(p.loop);
    auto* bottomRow = new QWidget;
    bottomRow->setLayout(bottom);
    bottomRow->setFixedHeight(bottomRowHeight);
    column->addWidget(bottomRow);
}

void MainWindow::buildMenus() {
    Parts& p = parts_;
    QMenu* appMenu = menuBar()->addMenu("Orvane");
    p.aboutAction = appMenu->addAction("About Orvane");
    appMenu->addSeparator();
    p.quitAction = appMenu->addAction("Quit Orvane");
    p.quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    p.quitAction->setMenuRole(QAction::QuitRole);

    QMenu* file = menuBar()->addMenu("File");
    p.openAction = file->addAction(QString::fromUtf8("Open…"));
    p.openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    file->addSeparator();
    p.splitAction = file->addAction("Split All");
    p.mergeAction = file->addAction(QString::fromUtf8("Merge All…"));
    p.splitAction->setEnabled(false);
    p.mergeAction->setEnabled(false);

    QMenu* edit = menuBar()->addMenu("Edit");
    p.undoAction = edit->addAction("Undo");
    p.undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    p.redoAction = edit->addAction("Redo");
    p.redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    p.undoAction->setEnabled(false);
    p.redoAction->setEnabled(false);

    QMenu* view = menuBar()->addMenu("View");
    p.mixerAction = view->addAction("Mixer");
    p.mixerAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    p.mixerAction->setEnabled(false);
}

void MainWindow::wireActions() {
    Parts& p = parts_;
    using Controller = app::MainViewController;
    const auto on = [this](auto* sender, auto signal, void (Controller::*operation)()) {
        connect(sender, signal, this, [this, operation] { withController([operation](Controller& c) { (c.*operation)(); }); });
    };
    on(p.play, &QPushButton::clicked, &Controller::playAction);
    on(p.pause, &QPushButton::clicked, &Controller::pauseAction);
    on(p.rtz, &QPushButton::clicked, &Controller::rtzAction);
    on(p.clear, &QPushButton::clicked, &Controller::clearFile);
    on(p.mixer, &QPushButton::clicked, &Controller::showMixerWindow);
    on(p.merge, &QPushButton::clicked, &Controller::mergeAction);
    on(p.split, &QPushButton::clicked, &Controller::splitTracks);
    on(p.reset, &QPushButton::clicked, &Controller::transposeResetAction);
    on(p.tempo, &QPushButton::clicked, &Controller::changeTempoAction);
    on(p.openAction, &QAction::triggered, &Controller::browseForFile);
    on(p.splitAction, &QAction::triggered, &Controller::splitTracks);
    on(p.mergeAction, &QAction::triggered, &Controller::mergeAction);
    on(p.undoAction, &QAction::triggered, &Controller::undo);
    on(p.redoAction, &QAction::triggered, &Controller::redo);
    on(p.mixerAction, &QAction::triggered, &Controller::showMixerWindow);
    connect(p.aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
    connect(p.quitAction, &QAction::triggered, this, [this] { close(); });

    connect(p.loop, &QPushButton::clicked, this,
            [this](bool checked) { withController([checked](Controller& c) { c.loopAction(checked); }); });
    // Only what the user does to the slider seeks: a drag, a click on the groove, a key.
    // Positions that come faster than the event loop turns (a fast drag, a click that moves
    // and then triggers) make one seek, to the latest.
    connect(p.slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderNoAction) return;
        const bool posted = pendingSliderSeek_.has_value();
        pendingSliderSeek_ = parts_.slider->sliderPosition();
        if (posted) return;
        QTimer::singleShot(0, this, [this] {
            if (!pendingSliderSeek_) return;
            const double seconds = *pendingSliderSeek_ / 1000.0;
            pendingSliderSeek_.reset();
            withController([seconds](Controller& c) { c.sliderMoved(seconds); });
        });
    });
    connect(p.timeline, &TimelineView::seekRequested, this,
            [this](double seconds) { withController([seconds](Controller& c) { c.timelineClicked(seconds); }); });
    connect(p.timeline, &TimelineView::loopMarkerDragged, this, [this](app::LoopMarker marker, double fraction) {
        withController([marker, fraction](Controller& c) { c.loopMarkerDragged(marker, fraction); });
    });
    on(p.timeline, &TimelineView::loopMarkerReleased, &Controller::loopMarkerReleased);

    connect(p.transposeField, &QLineEdit::editingFinished, this, [this] {
        QLineEdit* field = parts_.transposeField;
        if (!field->isModified()) return;
        field->setModified(false);
        const std::string text = field->text().toStdString();
        withController([&text](Controller& c) { c.transposeFieldCommitted(text); });
    });
    connect(p.transposeStepper, &Stepper::userStepped, this,
            [this](int value) { withController([value](Controller& c) { c.transposeStepperChanged(value); }); });

    p.tableModel->onCheckToggled = [this](int row, bool checked) {
        withController([row, checked](Controller& c) { c.checkboxToggled(row, checked); });
    };
    p.tableModel->onNameEdited = [this](int row, const std::string& name) {
        withController([row, &name](Controller& c) { c.trackNameEdited(row, name); });
    };
    p.tableModel->onFilesForDrag = [this](const std::vector<int>& rows) { return filesForDrag(rows); };
    p.table->onAudition = [this](int row) { withController([row](Controller& c) { c.auditionButtonPressed(row); }); };
    p.table->onSelectionChanged = [this](std::optional<int> row) {
        withController([row](Controller& c) { c.tableSelectionChanged(row); });
    };

    p.dropZone->onDrop = [this](const std::filesystem::path& path) {
        bool accepted = false;
        withController([&](Controller& c) { accepted = c.dropFile(path); });
        return accepted;
    };
    p.dropZone->onCommitName = [this](const std::string& text) {
        std::string shown = text;
        withController([&](Controller& c) { shown = c.commitSongName(text); });
        return shown;
    };
    p.dropZone->onNameDraft = [this](std::optional<std::string> text) {
        withController([&text](Controller& c) { c.setSongNameDraft(std::move(text)); });
    };
}

void MainWindow::setTabOrder() {
    const Parts& p = parts_;
    const QList<QWidget*> order{p.dropZone, p.table,  p.play,  p.pause, p.rtz,
                                p.slider,   p.timeline, p.clear, p.mixer, p.merge,
                                p.split,    p.transposeField, p.transposeStepper, p.reset, p.tempo,
                                p.loop};
    for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

std::vector<std::filesystem::path> MainWindow::filesForDrag(const std::vector<int>& rows) {
    if (!dragFolder_) {
        dragFolder_.emplace(QDir::tempPath() + "/orvane-drag-XXXXXX");
        if (!dragFolder_->isValid()) {
            dragFolder_.reset();
            return {};
        }
    }
    // A folder per drag: a program still reading the files of an earlier drag keeps them.
    const QString folder = dragFolder_->filePath(QString("drag-%1").arg(++dragCount_));
    if (!QDir().mkpath(folder)) return {};
    std::vector<std::filesystem::path> files;
    withController([&](app::MainViewController& c) { files = c.writeFilesForDrag(rows, folder.toStdString()); });
    return files;
}

// ---- Rendering ------------------------------------------------------------------------------

void MainWindow::render(const app::MainViewState& state, unsigned changed) {
    if (changed & app::statusSection) renderStatus(state.status);
    if (changed & app::transportSection) renderTransport(state.transport);
    if (changed & app::tableSection) renderTable(state.table);
    if (changed & app::timelineSection) renderTimeline(state.timeline);
    if (changed & app::playheadSection) parts_.timeline->setPlayhead(state.playhead);
    if (changed & app::dropZoneSection) parts_.dropZone->render(state.dropZone);
    if (changed & app::controlsSection) renderControls(state.controls);
    if (changed & app::layoutSection) renderLayout(state.layout);
    emit rendered(changed);
}

void MainWindow::renderStatus(const app::StatusLine& status) {
    setTextColor(parts_.status, color(status.color));
    parts_.status->setFullText(QString::fromStdString(status.text));
}

void MainWindow::renderTransport(const app::TransportViewState& transport) {
    Parts& p = parts_;
    p.play->setText(QString::fromStdString(transport.playTitle()));
    p.play->setAccessibleName(transport.playing ? "Stop" : "Play");
    setTextColor(p.play, transport.playing ? color(app::ColorRole::red) : color(app::ColorRole::label));
    setTextColor(p.pause, transport.paused ? color(app::ColorRole::orange) : color(app::ColorRole::label));
    for (QWidget* widget : {static_cast<QWidget*>(p.play), static_cast<QWidget*>(p.pause),
                            static_cast<QWidget*>(p.rtz), static_cast<QWidget*>(p.slider)}) {
        widget->setEnabled(transport.enabled);
    }
    static_cast<ElidedLabel*>(p.transportLabel)->setFullText(QString::fromStdString(transport.label));
    {
        const QSignalBlocker block(p.slider);
        p.slider->setMaximum(std::max(milliseconds(transport.sliderMaximum), 1));
        // While the user holds the slider, it stays under the mouse.
        if (!p.slider->isSliderDown()) p.slider->setValue(milliseconds(transport.sliderValue));
    }
    p.currentTime->setText(QString::fromStdString(transport.currentTime));
    p.totalTime->setText(QString::fromStdString(transport.totalTime));
    p.indicator->setPlaying(transport.indicatorPlaying);
    {
        const QSignalBlocker block(p.loop);
        p.loop->setChecked(transport.loopOn);
    }
    setTextColor(p.loop, transport.loopOn ? color(app::ColorRole::accent) : color(app::ColorRole::label));
}

void MainWindow::renderTable(const app::TrackTableState& table) {
    parts_.tableModel->setRows(table.rows, table.auditionedRow);
    parts_.table->showSelectedRow(table.selectedRow);
    parts_.table->syncIndicators();
}

void MainWindow::renderTimeline(const app::TimelineState& timeline) {
    parts_.timeline->setLanes(timeline.lanes, timeline.songDuration);
    parts_.timeline->setLoop(timeline.loopEnabled, timeline.loopStart, timeline.loopEnd);
}

void MainWindow::renderControls(const app::EditControlsState& controls) {
    Parts& p = parts_;
    // What the user is typing stays until they finish.
    if (!(p.transposeField->hasFocus() && p.transposeField->isModified())) {
        p.transposeField->setText(QString::fromStdString(controls.transposeText));
        p.transposeField->setModified(false);
    }
    p.transposeStepper->setValue(controls.transposeValue);
    for (QWidget* widget : {static_cast<QWidget*>(p.transposeField), static_cast<QWidget*>(p.transposeStepper),
                            static_cast<QWidget*>(p.reset), static_cast<QWidget*>(p.tempo)}) {
        widget->setEnabled(controls.transposeEnabled);
    }
    p.loop->setEnabled(controls.loopButtonEnabled);
    p.mixer->setEnabled(controls.mixerButtonEnabled);
    p.mixerAction->setEnabled(controls.mixerMenuEnabled);
    const QString splitTitle = QString::fromStdString(controls.splitTitle);
    const QString mergeTitle = QString::fromStdString(controls.mergeTitle);
    p.split->setText(splitTitle);
    p.split->setAccessibleName(splitTitle);
    p.split->setEnabled(controls.splitEnabled);
    p.splitAction->setText(splitTitle);
    p.splitAction->setEnabled(controls.splitEnabled);
    p.merge->setText(mergeTitle);
    p.merge->setAccessibleName(mergeTitle);
    p.merge->setEnabled(controls.mergeEnabled);
    p.mergeAction->setText(mergeTitle);
    p.mergeAction->setEnabled(controls.mergeEnabled);
    p.undoAction->setText(QString::fromStdString(controls.undoTitle));
    p.undoAction->setEnabled(controls.undoEnabled);
    p.redoAction->setText(QString::fromStdString(controls.redoTitle));
    p.redoAction->setEnabled(controls.redoEnabled);
}

// ---- Height -------------------------------------------------------------------------------

int MainWindow::chromeHeight() const {
    // The menu bar sits inside the window here; the layout's heights are the content's.
    if (isVisible() && centralWidget() != nullptr && centralWidget()->height() > 0) {
        return std::max(height() - centralWidget()->height(), 0);
    }
    return menuBar()->sizeHint().height();
}

int MainWindow::availableContentHeight() const {
    const QScreen* shown = screen();
    if (shown == nullptr) return 0;
    const int frameExtra = std::max(frameGeometry().height() - geometry().height(), 0);
    return shown->availableGeometry().height() - frameExtra - chromeHeight();
}

void MainWindow::renderLayout(const app::WindowLayout& layout) {
    layout_ = layout;
    if (!layout.resizesWindow) return;
    const int wanted = std::max(layout.windowHeight, app::mainWindowMinimumHeight);
    targetContentHeight_ = app::fittedWindowHeight(wanted, availableContentHeight());
    targetContentHeight_ = std::max(targetContentHeight_, app::mainWindowMinimumHeight);
    fitTimelineToContent();
    resizeContentTo(targetContentHeight_, isVisible());
}

void MainWindow::resizeContentTo(int contentHeight, bool animated) {
    const int target = contentHeight + chromeHeight();
    heightAnimation_.stop();
    if (!animated || target == height()) {
        resize(app::mainWindowWidth, target);
        return;
    }
    heightAnimation_.setStartValue(height());
    heightAnimation_.setEndValue(target);
    heightAnimation_.start();
}

bool MainWindow::isResizing() const { return heightAnimation_.state() == QAbstractAnimation::Running; }

void MainWindow::finishResizing() {
    if (!isResizing()) return;
    heightAnimation_.setCurrentTime(heightAnimation_.duration());
    heightAnimation_.stop();
}

void MainWindow::fitTimelineToContent() {
    const int content = centralWidget() ? centralWidget()->height() : targetContentHeight_;
    const int tableFloor = std::min(layout_.tableHeight, shortestTable);
    const int room = std::max(content - app::otherControlsHeight - tableFloor, app::emptyTimelineHeight);
    parts_.timeline->setFixedHeight(std::min(layout_.timelineHeight, room));
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    fitTimelineToContent();
}

// ---- Keys, frames, closing -----------------------------------------------------------------

bool MainWindow::handleWindowKey(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    using Key = app::MainViewController::KeyPress::Key;
    std::optional<app::MainViewController::KeyPress> press;
    if (event->key() == Qt::Key_B && modifiers == Qt::ControlModifier) {
        press = {Key::b, true, event->isAutoRepeat()};
    } else if (event->key() == Qt::Key_I && modifiers == Qt::ControlModifier) {
        press = {Key::i, true, event->isAutoRepeat()};
    } else if (event->key() == Qt::Key_Space && modifiers == Qt::NoModifier) {
        if (isTextInput(QApplication::focusWidget())) return false;
        press = {Key::space, false, event->isAutoRepeat()};
    }
    if (!press) return false;
    bool consumed = false;
    withController([&](app::MainViewController& c) { consumed = c.keyDown(*press); });
    return consumed || press->key == Key::space;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget == nullptr || widget->window() != this) break;
            auto* key = static_cast<QKeyEvent*>(event);
            if (watched == parts_.transposeField && key->key() == Qt::Key_Escape) {
                // Escape puts back what the field showed before the typing.
                withController([this](app::MainViewController& c) {
                    parts_.transposeField->setText(QString::fromStdString(c.viewState().controls.transposeText));
                });
                parts_.transposeField->setModified(false);
                parts_.transposeField->clearFocus();
                return true;
            }
            if (handleWindowKey(key)) return true;
            break;
        }
        case QEvent::Paint: {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget != nullptr && widget->window() == this && !framePaintedPosted_) {
                // Reported once the whole frame is painted.
                framePaintedPosted_ = true;
                QTimer::singleShot(0, this, [this] {
                    framePaintedPosted_ = false;
                    emit framePainted();
                });
            }
            break;
        }
        default: break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closing the main window ends the application, whatever other windows are open.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

// ---- About ---------------------------------------------------------------------------------

void MainWindow::showAbout() {
    if (!about_) about_ = new AboutDialog(this);
    about_->open();
    about_->raise();
    about_->activateWindow();
}

AboutDialog* MainWindow::aboutDialog() const { return about_.data(); }

}  // namespace orvane::ui
