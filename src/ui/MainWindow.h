#pragma once
// The main window: the drop zone, the track table, the status line, the transport, the
// timeline and the bottom row of buttons, with the menus. It draws what the controller
// publishes and hands every user action to the controller; it never changes the song itself.

#include <QMainWindow>
#include <QPointer>
#include <QTemporaryDir>
#include <QVariantAnimation>
#include <memory>
#include <optional>

#include "app/MainViewController.h"
#include "app/ViewState.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace orvane::ui {

class DropZone;
class ElidedLabel;
class NowPlayingIndicator;
class Stepper;
class TimelineView;
class TrackTableModel;
class TrackTableView;
class AboutDialog;

class MainWindow final : public QMainWindow, public app::MainViewSink {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The controller every action goes to; the window holds it weakly.
    void attach(std::weak_ptr<app::MainViewController> controller);

    void render(const app::MainViewState& state, unsigned changed) override;

    // The height the window is heading for (the content height the layout wants, at least the
    // minimum, at most what the screen offers), and whether it is on its way there.
    [[nodiscard]] int targetContentHeight() const noexcept { return targetContentHeight_; }
    [[nodiscard]] bool isResizing() const;
    // Jumps to the end of a running height animation.
    void finishResizing();
    // The About panel; opens it (or brings it forward).
    void showAbout();
    [[nodiscard]] AboutDialog* aboutDialog() const;

    // The widgets, for tests and the screenshot tour.
    struct Parts {
        QLabel* title;
        DropZone* dropZone;
        TrackTableView* table;
        TrackTableModel* tableModel;
        ElidedLabel* status;
        QLabel* transportLabel;
        QPushButton* play;
        QPushButton* pause;
        QPushButton* rtz;
        QLabel* currentTime;
        QLabel* totalTime;
        NowPlayingIndicator* indicator;
        QSlider* slider;
        TimelineView* timeline;
        QPushButton* clear;
        QPushButton* mixer;
        QPushButton* merge;
        QPushButton* split;
        QLineEdit* transposeField;
        Stepper* transposeStepper;
        QPushButton* reset;
        QPushButton* tempo;
        QPushButton* loop;
        QAction* openAction;
        QAction* splitAction;
        QAction* mergeAction;
        QAction* undoAction;
        QAction* redoAction;
        QAction* mixerAction;
        QAction* aboutAction;
        QAction* quitAction;
    };
    [[nodiscard]] const Parts& parts() const noexcept { return parts_; }

signals:
    // The window painted a frame (at most one signal per event-loop turn).
    void framePainted();
    // The window drew a published state (changed: a mask of app::ViewSection).
    void rendered(unsigned changed);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildContent();
    void buildMenus();
    void wireActions();
    void setTabOrder();
    QPushButton* roundedButton(const QString& title, const QString& tip);
    QPushButton* transportButton(const QString& glyph, const QString& name, const QString& tip);

    void renderStatus(const app::StatusLine& status);
    void renderTransport(const app::TransportViewState& transport);
    void renderTable(const app::TrackTableState& table);
    void renderTimeline(const app::TimelineState& timeline);
    void renderControls(const app::EditControlsState& controls);
    void renderLayout(const app::WindowLayout& layout);
    void fitTimelineToContent();
    [[nodiscard]] int chromeHeight() const;
    [[nodiscard]] int availableContentHeight() const;
    void resizeContentTo(int contentHeight, bool animated);

    // Keys that reach the window outside its text fields (the space bar, Ctrl+I, Ctrl+B).
    bool handleWindowKey(QKeyEvent* event);
    // Runs work with the controller, if it is still there.
    template <typename Work>
    void withController(Work&& work);
    std::vector<std::filesystem::path> filesForDrag(const std::vector<int>& rows);

    std::weak_ptr<app::MainViewController> controller_;
    Parts parts_{};
    app::WindowLayout layout_;
    int targetContentHeight_ = 0;
    QVariantAnimation heightAnimation_;
    QPointer<AboutDialog> about_;
    std::optional<QTemporaryDir> dragFolder_;
    int dragCount_ = 0;
    std::optional<int> pendingSliderSeek_;  // milliseconds
    bool framePaintedPosted_ = false;
};

}  // namespace orvane::ui
