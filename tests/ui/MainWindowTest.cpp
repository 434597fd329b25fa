// The main window driven as a user drives it: drops, ticks, exports with scripted dialogs,
// the transport with the silent audio output, keys, loop markers, undo, renaming and the
// window's height. What the controller decides is tested in tests/app; here, that the
// widgets reach it and show what it says.

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QUrl>

#include "UiTestSupport.h"
#include "app/WindowLayout.h"
#include "ui/AboutDialog.h"
#include "ui/BeatDetectionWindow.h"
#include "ui/Controls.h"
#include "ui/DropZone.h"
#include "ui/PickerDialogs.h"
#include "ui/TimelineView.h"
#include "ui/TrackTableModel.h"
#include "ui/TrackTableView.h"

using namespace orvane;
using namespace orvane::ui;
using namespace orvane::ui::testing;
using Kind = app::TransportState::Kind;

namespace {

// A drag of the file entering the widget, or dropped on it (and settled); answers whether it was accepted.
bool dragFile(QWidget* target, const std::filesystem::path& path, bool dropIt) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!dropIt) return enter.isAccepted();
    QDropEvent drop(QPointF(target->rect().center()), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    settle();
    return drop.isAccepted();
}

void dragLeave(QWidget* target) {
    QDragLeaveEvent event;
    QApplication::sendEvent(target, &event);
}

// Replaces the field's text by typing, then presses the key.
void typeInto(QLineEdit* field, const QString& text, Qt::Key key) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    keyAndSettle(field, key);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppHarness> h;
    std::unique_ptr<QTemporaryDir> folder;

    std::filesystem::path tempPath(const char* name) { return folder->filePath(name).toStdString(); }
    void loadDemo() {
        h->controller().loadMIDI(demoSong());
        settle();
        QCOMPARE(h->parts().tableModel->rowCount(), 5);
    }
    void tick(int row) {
        TrackTableView* table = h->parts().table;
        const QRect cell = table->visualRect(table->model()->index(row, static_cast<int>(app::TrackColumn::check)));
        clickAndSettle(table->viewport(), Qt::LeftButton, Qt::NoModifier, TrackTableDelegate::checkBoxRect(cell).center());
    }

private slots:
    void init() {
        folder = std::make_unique<QTemporaryDir>();
        h = std::make_unique<AppHarness>();
    }
    void cleanup() {
        h.reset();
        folder.reset();
    }

    void dropsLoadMIDIOpenAudioAndRefuseOtherFiles() {
        DropZone* zone = h->parts().dropZone;
        const auto text = tempPath("notes.txt");
        writeBytes(text, {'h', 'i'});
        const auto wav = tempPath("LOOP.WAV");
        writeClickWAV(wav, 0, 1);

        // Only what can be loaded lights the zone up.
        QVERIFY(dragFile(zone, demoSong(), false) && zone->isHighlighted());
        dragLeave(zone);
        QVERIFY(!zone->isHighlighted());
        dragFile(zone, text, false);
        QVERIFY(!zone->isHighlighted());
        dragLeave(zone);

        QVERIFY(!dragFile(zone, text, true));
        QCOMPARE(findWindow<QMessageBox>()->text(), QString("Unsupported File"));
        QVERIFY(pressAlertButton("OK"));
        settle();

        QVERIFY(dragFile(zone, demoSong(), true) && !zone->isHighlighted());
        QCOMPARE(h->parts().tableModel->rowCount(), 5);
        QCOMPARE(zone->nameText() + " " + h->parts().totalTime->text(), QString("demo 0:40"));

        // An upper-case audio extension opens tempo detection and keeps the song.
        QVERIFY(dragFile(zone, wav, true));
        auto* detection = findWindow<BeatDetectionWindow>();
        QVERIFY(detection != nullptr && h->parts().tableModel->rowCount() == 5);
        detection->close();
        settle();
    }

    void tickedRowsNameTheExportsAndMergeWhereTheSavePanelPoints() {
        loadDemo();
        const auto& p = h->parts();
        tick(1);
        tick(3);
        tick(2);
        tick(2);  // ticked and unticked
        QCOMPARE(p.split->text() + "|" + p.splitAction->text() + "|" + p.merge->text(),
                 QString::fromUtf8("Export 2|Export 2|Merge 2…"));
        QVERIFY(!h->controller().trackRows()[2].selected);
        // Ticked rows are written in the accent colour.
        QCOMPARE(p.tableModel->index(1, static_cast<int>(app::TrackColumn::name)).data(Qt::ForegroundRole).value<QColor>(),
                 color(app::ColorRole::accent));

        // The save panel suggests the name and adds the format's extension to the name typed;
        // the file is written in the background.
        clickAndSettle(p.merge, Qt::LeftButton);
        QVERIFY(pressAlertButton("MIDI 1.0 (.mid)"));
        settle();
        auto* panel = findWindow<QFileDialog>();
        QVERIFY(panel != nullptr);
        panel->setDirectory(folder->path());
        auto* typed = panel->findChild<QLineEdit*>("fileNameEdit");
        QCOMPARE(typed->text(), QString("demo_merged.mid"));
        typed->setText("together");
        QMetaObject::invokeMethod(panel, "accept");
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(tempPath("together.mid")), 10000);
    }

    void playPauseAndSeekWithTheSilentOutput() {
        DiagnosticsCapture log;
        loadDemo();
        const auto& p = h->parts();
        clickAndSettle(p.play, Qt::LeftButton);
        QVERIFY(p.transportLabel->text().startsWith("Playing: ") && !p.transposeField->isEnabled());
        QCOMPARE(p.play->text(), QString::fromUtf8("■"));
        // Progress moves the slider and the playhead, and moving the slider by program never seeks.
        QTRY_VERIFY_WITH_TIMEOUT(p.slider->value() > 200, 5000);
        QVERIFY(p.timeline->playhead() > 0 && log.starting("Moved transport slider").empty());

        clickAndSettle(p.pause, Qt::LeftButton);
        QVERIFY(p.transportLabel->text().startsWith("Paused: "));
        QCOMPARE(p.play->text(), QString::fromUtf8("▶"));
        QCOMPARE(p.pause->palette().color(QPalette::ButtonText), color(app::ColorRole::orange));

        // A click on the slider's groove seeks there (20 s of a 40 s song); one on the timeline a
        // quarter in seeks to 10 s.
        clickAndSettle(p.slider, Qt::LeftButton, Qt::NoModifier, p.slider->rect().center());
        QCOMPARE(log.starting("Moved transport slider").size(), std::size_t{1});
        QVERIFY(std::abs(h->controller().currentTransportTimelinePosition() - 20.0) < 1.5);
        const QPoint quarter(static_cast<int>(p.timeline->geometry().xForFraction(0.25)), p.timeline->height() / 2);
        clickAndSettle(p.timeline, Qt::LeftButton, Qt::NoModifier, quarter);
        QVERIFY(std::abs(h->controller().currentTransportTimelinePosition() - 10.0) < 0.5);
        QCOMPARE(p.currentTime->text(), QString("0:10"));

        QTest::mouseClick(p.play, Qt::LeftButton);  // resumes
        clickAndSettle(p.rtz, Qt::LeftButton);
        QVERIFY(h->controller().transportState().kind == Kind::playing &&
                h->controller().currentTransportTimelinePosition() < 1.0);
        clickAndSettle(p.play, Qt::LeftButton);  // stops
        QCOMPARE(p.transportLabel->text(), QString("Ready"));
    }

    void spaceBarPlaysAndPausesExceptInTextFields() {
        loadDemo();
        const auto& p = h->parts();
        const auto state = [this] { return h->controller().transportState().kind; };
        p.clear->setFocus();
        keyAndSettle(p.clear, Qt::Key_Space);
        QCOMPARE(state(), Kind::playing);
        // A held space bar does not toggle again and again.
        QTest::keyPress(p.clear, Qt::Key_Space, Qt::NoModifier);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
        QApplication::sendEvent(p.clear, &repeat);
        settle();
        QCOMPARE(state(), Kind::paused);
        QTest::keyRelease(p.clear, Qt::Key_Space);
        // The focused button was not pressed by the space bar: the song is still there.
        QCOMPARE(p.tableModel->rowCount(), 5);
        // In a text field the space bar types; in the table it plays.
        using Focus = std::pair<QWidget*, Kind>;
        for (const auto& [focused, after] : {Focus{p.transposeField, Kind::paused}, Focus{p.table, Kind::playing}}) {
            focused->setFocus();
            keyAndSettle(focused, Qt::Key_Space);
            QCOMPARE(state(), after);
        }
        h->controller().stopAction();
    }

    void controlKeysReachTheController() {
        loadDemo();
        const auto& p = h->parts();
        p.table->setFocus();
        // Ctrl+I without a selected row says what to do; with one it opens the picker.
        keyAndSettle(p.table, Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(p.status->fullText(), QString("Select a track row first, then press Ctrl+I"));
        QTest::mouseClick(p.table->viewport(), Qt::LeftButton, Qt::NoModifier,
                          p.table->visualRect(p.tableModel->index(2, 6)).center());
        settle();
        QCOMPARE(h->controller().viewState().table.selectedRow, std::optional<int>(2));
        keyAndSettle(p.table, Qt::Key_I, Qt::ControlModifier);
        auto* picker = findWindow<InstrumentPickerDialog>();
        QVERIFY(picker != nullptr);
        picker->reject();
        settle();
        // Ctrl+B is taken and does nothing else: the focused table keeps its state.
        keyAndSettle(p.table, Qt::Key_B, Qt::ControlModifier);
        QVERIFY(h->controller().transportState().kind == Kind::idle &&
                h->controller().viewState().table.selectedRow == std::optional<int>(2));
    }

    void loopModeAndMarkerDrag() {
        DiagnosticsCapture log;
        loadDemo();
        const auto& p = h->parts();
        clickAndSettle(p.loop, Qt::LeftButton);
        QVERIFY(p.loop->isChecked() && h->controller().loopModeEnabled() && p.split->text() == "Split Loop");
        const double start = h->controller().loopStartFraction();

        TimelineView* timeline = p.timeline;
        const QPoint grab(static_cast<int>(std::lround(timeline->geometry().xForFraction(start))) + 3,
                          timeline->height() / 2);
        QTest::mousePress(timeline, Qt::LeftButton, Qt::NoModifier, grab);
        QCOMPARE(timeline->activeMarker(), std::optional<app::LoopMarker>(app::LoopMarker::start));
        QTest::mouseMove(timeline, grab + QPoint(60, 0));
        QTest::mouseRelease(timeline, Qt::LeftButton, Qt::NoModifier, grab + QPoint(60, 0));
        settle();
        QVERIFY(!timeline->activeMarker() && h->controller().loopStartFraction() > start + 0.05);
        QVERIFY(log.starting("Clicked timeline").empty());  // the drag did not seek

        clickAndSettle(p.loop, Qt::LeftButton);
        QVERIFY(!p.loop->isChecked() && !h->controller().loopModeEnabled());
    }

    void aboutOpensWithoutBlocking() {
        h->parts().aboutAction->trigger();
        settle();
        AboutDialog* about = h->window().aboutDialog();
        QVERIFY(about != nullptr && about->isVisible());
        h->parts().aboutAction->trigger();  // a second request brings the same panel forward
        settle();
        QCOMPARE(h->window().findChildren<AboutDialog*>().size(), 1);
        about->close();
    }

    void undoAfterTransposePutsTheStepperAndFieldBackAndTheFieldCommits() {
        loadDemo();
        const auto& p = h->parts();
        QVERIFY(!p.undoAction->isEnabled());
        QTest::mouseClick(p.transposeStepper->upButton(), Qt::LeftButton);
        clickAndSettle(p.transposeStepper->upButton(), Qt::LeftButton);
        QCOMPARE(h->controller().transposeOffset(), 2);
        QCOMPARE(p.transposeField->text() + "|" + p.undoAction->text(), QString("+2|Undo Transpose"));

        // Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo; the stepper and the field follow.
        p.table->setFocus();
        const Qt::KeyboardModifiers control = Qt::ControlModifier;
        for (const auto& [key, modifiers, value] : {std::tuple{Qt::Key_Z, control, 1}, {Qt::Key_Z, control, 0},
                                                    {Qt::Key_Z, control | Qt::ShiftModifier, 1}, {Qt::Key_Y, control, 2}}) {
            keyAndSettle(&h->window(), key, modifiers);
            QCOMPARE(p.transposeStepper->value(), value);
            QCOMPARE(p.transposeField->text(), value == 0 ? QString("0") : QString("+%1").arg(value));
            QCOMPARE(p.undoAction->isEnabled(), value > 0);
            QCOMPARE(p.redoAction->isEnabled(), value < 2);
        }

        // The field commits on Return and reverts on Escape; a clamped value is shown as applied,
        // with the warning in its colour.
        typeInto(p.transposeField, "+7", Qt::Key_Return);
        QCOMPARE(p.transposeStepper->value(), 7);
        typeInto(p.transposeField, "3", Qt::Key_Escape);
        QCOMPARE(p.transposeField->text(), QString("+7"));
        QCOMPARE(h->controller().transposeOffset(), 7);
        typeInto(p.transposeField, "-20", Qt::Key_Return);
        QCOMPARE(p.transposeField->text(), QString("-12"));
        QCOMPARE(p.status->fullText(), QString::fromStdString(h->controller().viewState().status.text));
        QCOMPARE(p.status->palette().color(QPalette::WindowText), color(app::ColorRole::orange));
    }

    void namesAreEditedInPlace() {
        DropZone* zone = h->parts().dropZone;
        bool draftFollowed = false;  // the name shown while typing is the one typed
        const auto editName = [&](Qt::Key key, const QString& typed) {
            QTest::mouseDClick(zone->nameLabel(), Qt::LeftButton);
            settle();
            if (!zone->isNameEditing()) return false;
            if (!QTest::qWaitFor([zone] { return zone->nameField()->hasFocus(); })) return false;
            QTest::keyClicks(zone->nameField(), typed);
            draftFollowed = h->controller().currentSongDisplayName() == zone->nameField()->text().toStdString();
            keyAndSettle(zone->nameField(), key);
            return !zone->isNameEditing();
        };
        QVERIFY(!editName(Qt::Key_Return, "x"));  // nothing to rename before a song is loaded
        loadDemo();
        QVERIFY(editName(Qt::Key_Return, "Night Song"));  // the name is selected: typing replaces it
        QCOMPARE(zone->nameLabel()->text() + "|" + h->parts().undoAction->text(), QString("Night Song|Undo Rename Song"));
        QCOMPARE(h->controller().editedFilename(), std::string("Night Song"));
        QVERIFY(editName(Qt::Key_Escape, "Scratch") && draftFollowed);  // Escape puts the last name back
        QCOMPARE(zone->nameLabel()->text(), QString("Night Song"));
        QCOMPARE(h->controller().currentSongDisplayName(), std::string("Night Song"));
        QVERIFY(editName(Qt::Key_Return, "\b"));  // an empty name falls back to the file's own
        QCOMPARE(zone->nameLabel()->text(), QString("demo"));

        // A track's name is edited in the table.
        TrackTableView* table = h->parts().table;
        const QModelIndex name = table->model()->index(2, static_cast<int>(app::TrackColumn::name));
        table->edit(name);
        settle();
        auto* editor = table->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor != nullptr);
        typeInto(editor, "Keys", Qt::Key_Return);
        QCOMPARE(h->controller().trackRows()[2].name, std::string("Keys"));
        QCOMPARE(name.data().toString() + "|" + h->parts().undoAction->text(), QString("Keys|Undo Rename Track"));
    }

    void theHeightFollowsTheTracksWithinTheScreen() {
        auto& window = h->window();
        const auto resized = [&window] {
            window.finishResizing();
            settle();
            return window.centralWidget()->height();
        };
        QCOMPARE(window.minimumWidth(), app::mainWindowWidth);
        QCOMPARE(window.maximumWidth(), app::mainWindowWidth);
        QCOMPARE(resized(), app::mainWindowMinimumHeight);  // no song: the layout's 319 is raised to the minimum

        loadDemo();  // 5 tracks: 161 + 48 + 210
        QVERIFY(window.isResizing());
        QCOMPARE(resized(), 419);
        QCOMPARE(QSize(h->parts().timeline->height(), h->parts().table->height()), QSize(48, 161));

        // 30 tracks ask for 979 points; the whole window, frame and menu bar included, fits the screen.
        const int top = window.geometry().top();
        h->controller().loadMIDI(steadySong(folder->path().toStdString(), 4, 30));
        settle();
        QCOMPARE(h->parts().tableModel->rowCount(), 30);
        const int height = resized();
        const int chrome = window.frameGeometry().height() - height;
        QCOMPARE(height, std::max(std::min(979, window.screen()->availableGeometry().height() - chrome), 400));
        QCOMPARE(window.geometry().top(), top);

        clickAndSettle(h->parts().clear, Qt::LeftButton);
        QCOMPARE(resized(), app::mainWindowMinimumHeight);
        QCOMPARE(h->parts().timeline->height(), 44);
    }

    void everyControlIsNamedExplainedAndReachedWithTab() {
        loadDemo();
        const auto& p = h->parts();
        const QList<QWidget*> controls{p.dropZone, p.table, p.play, p.pause, p.rtz, p.slider, p.timeline, p.clear,
                                       p.mixer, p.merge, p.split, p.transposeField, p.transposeStepper, p.reset,
                                       p.tempo, p.loop};
        for (QWidget* control : controls) {
            QVERIFY2(!control->accessibleName().isEmpty(), control->metaObject()->className());
            QVERIFY2(!control->toolTip().isEmpty(), qPrintable(control->accessibleName()));
        }
        for (QAbstractButton* button : h->window().findChildren<QAbstractButton*>()) {
            QVERIFY2(!button->isVisible() || !button->accessibleName().isEmpty() || !button->text().isEmpty(),
                     button->metaObject()->className());
        }
        // Tab from the drop zone visits every control, in the order they are laid out.
        QList<QWidget*> visited;
        p.dropZone->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 40 && visited.size() < controls.size(); ++i) {
            QWidget* focused = QApplication::focusWidget();
            if (focused != nullptr && controls.contains(focused) && !visited.contains(focused)) visited.push_back(focused);
            QTest::keyClick(focused != nullptr ? focused : &h->window(), Qt::Key_Tab);
        }
        QCOMPARE(visited, controls);
    }

    void theTableModelStaysConsistentAndRowsDragOutAsFiles() {
        QAbstractItemModelTester tester(h->parts().tableModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
        loadDemo();
        tick(0);
        tick(2);
        TrackTableModel* model = h->parts().tableModel;
        QCOMPARE(model->dragRows(0), (std::vector<int>{0, 2}));
        QCOMPARE(model->dragRows(1), (std::vector<int>{1}));

        std::unique_ptr<QMimeData> ticked(model->mimeData({model->index(0, 3)}));
        QCOMPARE(ticked->urls().size(), 2);
        for (const QUrl& url : ticked->urls()) {
            QVERIFY(url.isLocalFile() && std::filesystem::file_size(url.toLocalFile().toStdString()) > 14);
        }
        std::unique_ptr<QMimeData> single(model->mimeData({model->index(4, 3)}));
        QVERIFY(single->urls().size() == 1 && single->urls()[0].toLocalFile().endsWith(".mid"));
        // Each drag gets its own folder: an earlier drag's files stay where they were offered.
        QVERIFY(std::filesystem::exists(ticked->urls()[0].toLocalFile().toStdString()));

        clickAndSettle(h->parts().clear, Qt::LeftButton);
        QCOMPARE(model->rowCount(), 0);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
