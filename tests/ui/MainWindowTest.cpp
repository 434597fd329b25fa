// The main window driven as a user drives it: drops, ticks, exports with scripted dialogs,
// the transport with the silent audio output, keys, loop markers, undo, renaming and the
// window's height.

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QToolButton>

#include "WindowHarness.h"
#include "app/WindowLayout.h"
#include "ui/AboutDialog.h"
#include "ui/BeatDetectionWindow.h"
#include "ui/Appearance.h"
#include "ui/Controls.h"
#include "ui/PickerDialogs.h"
#include "ui/DropZone.h"
#include "ui/TimelineView.h"
#include "ui/TrackTableModel.h"
#include "ui/TrackTableView.h"

using namespace orvane;
using namespace orvane::ui;
using namespace orvane::ui::test;

namespace {

int filesIn(const std::filesystem::path& folder, const std::string& extension) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        count += entry.path().extension() == extension ? 1 : 0;
    }
    return count;
}

QPoint checkBoxCentre(TrackTableView* table, int row) {
    const QRect cell = table->visualRect(table->model()->index(row, static_cast<int>(app::TrackColumn::check)));
    return TrackTableDelegate::checkBoxRect(cell).center();
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Harness> h;
    std::unique_ptr<QTemporaryDir> folder;

    std::filesystem::path tempPath(const char* name) { return folder->filePath(name).toStdString(); }

    void loadDemo() {
        h->controller().loadMIDI(demoSong());
        Harness::settle();
        QCOMPARE(h->parts().tableModel->rowCount(), 5);
    }

    void tick(int row) {
        QTest::mouseClick(h->parts().table->viewport(), Qt::LeftButton, Qt::NoModifier, checkBoxCentre(h->parts().table, row));
        Harness::settle();
    }

private slots:
    void init() {
        folder = std::make_unique<QTemporaryDir>();
        h = std::make_unique<Harness>();
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
        writeBytes(wav, silentWAV());

        // Only what can be loaded lights the zone up.
        QVERIFY(dragEnter(zone, demoSong()));
        QVERIFY(zone->isHighlighted());
        dragLeave(zone);
        QVERIFY(!zone->isHighlighted());
        dragEnter(zone, text);
        QVERIFY(!zone->isHighlighted());
        dragLeave(zone);

        QVERIFY(!drop(zone, text));
        Harness::settle();
        auto* alert = visibleWindow<QMessageBox>();
        QVERIFY(alert != nullptr);
        QCOMPARE(alert->text(), QString("Unsupported File"));
        QVERIFY(alert->informativeText().contains("notes.txt"));
        QVERIFY(pressAlertButton("OK"));
        Harness::settle();
        QCOMPARE(h->parts().tableModel->rowCount(), 0);

        QVERIFY(drop(zone, demoSong()));
        Harness::settle();
        QVERIFY(!zone->isHighlighted());
        QCOMPARE(h->parts().tableModel->rowCount(), 5);
        QCOMPARE(zone->nameText(), QString("demo"));
        QVERIFY(zone->infoText().contains(QString::fromUtf8("♩")));
        QCOMPARE(h->parts().totalTime->text(), QString("0:40"));

        // An upper-case audio extension opens tempo detection and keeps the song.
        QVERIFY(drop(zone, wav));
        Harness::settle();
        auto* detection = visibleWindow<BeatDetectionWindow>();
        QVERIFY(detection != nullptr);
        QCOMPARE(h->parts().tableModel->rowCount(), 5);
        detection->close();
        Harness::settle();
    }

    void tickedRowsSplitIntoTheChosenFolderAndMergeWhereTheSavePanelPoints() {
        loadDemo();
        QCOMPARE(h->parts().split->text(), QString("Split All"));
        tick(1);
        tick(3);
        QCOMPARE(h->controller().trackRows()[1].selected, true);
        QCOMPARE(h->controller().trackRows()[3].selected, true);
        QCOMPARE(h->parts().split->text(), QString("Export 2"));
        QCOMPARE(h->parts().merge->text(), QString::fromUtf8("Merge 2…"));
        QCOMPARE(h->parts().splitAction->text(), QString("Export 2"));
        // Ticked rows are written in the accent colour.
        const QModelIndex name = h->parts().tableModel->index(1, static_cast<int>(app::TrackColumn::name));
        QCOMPARE(name.data(Qt::ForegroundRole).value<QColor>(), color(app::ColorRole::accent));
        // Unticking works the same way.
        tick(3);
        QCOMPARE(h->controller().trackRows()[3].selected, false);
        tick(3);

        const auto splitFolder = tempPath("split");
        std::filesystem::create_directory(splitFolder);
        QTest::mouseClick(h->parts().split, Qt::LeftButton);
        Harness::settle();
        QVERIFY(pressAlertButton("MIDI 1.0 (.mid)"));
        Harness::settle();
        auto* chooser = visibleWindow<QFileDialog>();
        QVERIFY(chooser != nullptr);
        QCOMPARE(chooser->labelText(QFileDialog::Accept), QString("Export Here"));
        chooser->setDirectory(QString::fromStdString(splitFolder.string()));
        QMetaObject::invokeMethod(chooser, "accept");
        QTRY_COMPARE_WITH_TIMEOUT(filesIn(splitFolder, ".mid"), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!h->controller().isExportInProgress(), 10000);
        Harness::settle();
        QVERIFY(h->parts().split->isEnabled());
        QTRY_COMPARE(h->modal->revealed.size(), std::size_t{1});

        // The save panel adds the format's extension to the name typed.
        QTest::mouseClick(h->parts().merge, Qt::LeftButton);
        Harness::settle();
        QVERIFY(pressAlertButton("MIDI 1.0 (.mid)"));
        Harness::settle();
        auto* panel = visibleWindow<QFileDialog>();
        QVERIFY(panel != nullptr);
        panel->setDirectory(folder->path());
        auto* typed = panel->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(typed != nullptr);
        QCOMPARE(typed->text(), QString("demo_merged.mid"));  // the suggestion
        typed->setText("together");
        QMetaObject::invokeMethod(panel, "accept");
        const auto merged = tempPath("together.mid");
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(merged), 10000);
        QVERIFY(std::filesystem::file_size(merged) > 14);
    }

    void playPauseAndSeekWithTheSilentOutput() {
        LogCapture log;
        loadDemo();
        const auto& p = h->parts();
        QVERIFY(p.play->isEnabled());
        QTest::mouseClick(p.play, Qt::LeftButton);
        Harness::settle();
        QVERIFY(p.transportLabel->text().startsWith("Playing: "));
        QCOMPARE(p.play->text(), QString::fromUtf8("■"));
        QVERIFY(!p.transposeField->isEnabled());
        // Progress moves the slider, and moving it by program never seeks.
        QTRY_VERIFY_WITH_TIMEOUT(p.slider->value() > 200, 5000);
        QCOMPARE(log.count("Moved transport slider"), 0);
        QVERIFY(p.timeline->playhead() > 0);

        QTest::mouseClick(p.pause, Qt::LeftButton);
        Harness::settle();
        QVERIFY(p.transportLabel->text().startsWith("Paused: "));
        QCOMPARE(p.play->text(), QString::fromUtf8("▶"));
        QCOMPARE(p.pause->palette().color(QPalette::ButtonText), color(app::ColorRole::orange));
        QVERIFY(p.transposeField->isEnabled());

        // A click on the slider's groove seeks there (20 s of a 40 s song).
        QSlider* slider = p.slider;
        const QPoint middle(slider->width() / 2, slider->height() / 2);
        QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, middle);
        Harness::settle();
        QCOMPARE(log.count("Moved transport slider"), 1);
        QVERIFY(std::abs(h->controller().currentTransportTimelinePosition() - 20.0) < 1.5);
        QCOMPARE(p.currentTime->text().toStdString(), h->controller().viewState().transport.currentTime);

        // A click on the timeline a quarter in seeks to 10 s.
        TimelineView* timeline = p.timeline;
        const auto g = timeline->geometry();
        QTest::mouseClick(timeline, Qt::LeftButton, Qt::NoModifier,
                          QPoint(static_cast<int>(g.xForFraction(0.25)), timeline->height() / 2));
        Harness::settle();
        QVERIFY(std::abs(h->controller().currentTransportTimelinePosition() - 10.0) < 0.5);
        QCOMPARE(p.currentTime->text(), QString("0:10"));

        QTest::mouseClick(p.play, Qt::LeftButton);  // resumes
        Harness::settle();
        QVERIFY(p.transportLabel->text().startsWith("Playing: "));
        QTest::mouseClick(p.rtz, Qt::LeftButton);
        Harness::settle();
        QVERIFY(h->controller().currentTransportTimelinePosition() < 1.0);
        QTest::mouseClick(p.play, Qt::LeftButton);  // stops
        Harness::settle();
        QCOMPARE(p.transportLabel->text(), QString("Ready"));
    }

    void spaceBarPlaysAndPausesExceptInTextFields() {
        loadDemo();
        const auto& p = h->parts();
        p.clear->setFocus();
        QTest::keyClick(p.clear, Qt::Key_Space);
        Harness::settle();
        QCOMPARE(h->controller().transportState().kind, app::TransportState::Kind::playing);
        // A held space bar does not toggle again and again.
        QTest::keyPress(p.clear, Qt::Key_Space, Qt::NoModifier);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
        QApplication::sendEvent(p.clear, &repeat);
        Harness::settle();
        QCOMPARE(h->controller().transportState().kind, app::TransportState::Kind::paused);
        QTest::keyRelease(p.clear, Qt::Key_Space);
        // The focused button was not pressed by the space bar: the song is still there.
        QCOMPARE(h->parts().tableModel->rowCount(), 5);

        // In a text field the space bar types.
        p.transposeField->setFocus();
        QTest::keyClick(p.transposeField, Qt::Key_Space);
        Harness::settle();
        QCOMPARE(h->controller().transportState().kind, app::TransportState::Kind::paused);
        // In the table it plays.
        p.table->setFocus();
        QTest::keyClick(p.table, Qt::Key_Space);
        Harness::settle();
        QCOMPARE(h->controller().transportState().kind, app::TransportState::Kind::playing);
        h->controller().stopAction();
    }

    void controlKeysReachTheController() {
        loadDemo();
        const auto& p = h->parts();
        p.table->setFocus();
        // Ctrl+I without a selected row says what to do; with one it opens the picker.
        QTest::keyClick(p.table, Qt::Key_I, Qt::ControlModifier);
        Harness::settle();
        QCOMPARE(p.status->fullText(), QString("Select a track row first, then press Ctrl+I"));
        QTest::mouseClick(p.table->viewport(), Qt::LeftButton, Qt::NoModifier,
                          p.table->visualRect(p.tableModel->index(2, 6)).center());
        Harness::settle();
        QCOMPARE(h->controller().viewState().table.selectedRow, std::optional<int>(2));
        QTest::keyClick(p.table, Qt::Key_I, Qt::ControlModifier);
        Harness::settle();
        auto* picker = visibleWindow<InstrumentPickerDialog>();
        QVERIFY(picker != nullptr);
        picker->reject();
        Harness::settle();
        // Ctrl+B is taken and does nothing else: the focused table keeps its state.
        QTest::keyClick(p.table, Qt::Key_B, Qt::ControlModifier);
        Harness::settle();
        QCOMPARE(h->controller().transportState().kind, app::TransportState::Kind::idle);
        QCOMPARE(h->controller().viewState().table.selectedRow, std::optional<int>(2));
    }

    void filesNamedBeforeTheWindowLoadAfterLaunchFirstOnly() {
        h.reset();
        const auto other = tempPath("other.mid");
        writeBytes(other, songWithTracks(3));
        ApplicationOptions options;
        options.silentAudio = true;
        Application app(std::move(options));
        QVERIFY(!app.openFiles({}));
        QVERIFY(app.openFiles({demoSong(), other}));
        QCOMPARE(app.shell().pendingOpenURLs().size(), std::size_t{2});
        app.createWindow();
        QVERIFY(app.controller().midiFile() == nullptr);
        bool loaded = false;
        app.launch([&] { loaded = true; });
        QTRY_VERIFY(loaded);
        Harness::settle();
        QCOMPARE(app.controller().inputURL(), std::optional<std::filesystem::path>(demoSong()));
        QCOMPARE(app.window().parts().tableModel->rowCount(), 5);
        QVERIFY(app.shell().pendingOpenURLs().empty());
        // Once the window is there, a request loads at once.
        QVERIFY(app.openFiles({other}));
        Harness::settle();
        QCOMPARE(app.window().parts().tableModel->rowCount(), 3);
    }

    void loopModeAndMarkerDrag() {
        LogCapture log;
        loadDemo();
        const auto& p = h->parts();
        QTest::mouseClick(p.loop, Qt::LeftButton);
        Harness::settle();
        QVERIFY(p.loop->isChecked());
        QVERIFY(h->controller().loopModeEnabled());
        QCOMPARE(p.split->text(), QString("Split Loop"));
        const double start = h->controller().loopStartFraction();
        QVERIFY(start > 0);

        TimelineView* timeline = p.timeline;
        const auto g = timeline->geometry();
        const int y = timeline->height() / 2;
        const QPoint grab(static_cast<int>(std::lround(g.xForFraction(start))) + 3, y);
        QTest::mousePress(timeline, Qt::LeftButton, Qt::NoModifier, grab);
        QCOMPARE(timeline->activeMarker(), std::optional<app::LoopMarker>(app::LoopMarker::start));
        QTest::mouseMove(timeline, grab + QPoint(60, 0));
        QTest::mouseRelease(timeline, Qt::LeftButton, Qt::NoModifier, grab + QPoint(60, 0));
        Harness::settle();
        QVERIFY(!timeline->activeMarker());
        QVERIFY(h->controller().loopStartFraction() > start + 0.05);
        QVERIFY(log.count("Moved start loop marker") >= 1);
        // The drag did not seek.
        QCOMPARE(log.count("Clicked timeline"), 0);

        QTest::mouseClick(p.loop, Qt::LeftButton);
        Harness::settle();
        QVERIFY(!p.loop->isChecked());
        QVERIFY(!h->controller().loopModeEnabled());
    }

    void aboutOpensWithoutBlocking() {
        h->parts().aboutAction->trigger();
        Harness::settle();
        AboutDialog* about = h->window().aboutDialog();
        QVERIFY(about != nullptr);
        QVERIFY(about->isVisible());
        bool linked = false;
        for (QLabel* label : about->findChildren<QLabel*>()) {
            linked = linked || (label->openExternalLinks() && label->text().contains("href"));
        }
        QVERIFY(linked);
        // A second request brings the same panel forward.
        h->parts().aboutAction->trigger();
        Harness::settle();
        QCOMPARE(h->window().findChildren<AboutDialog*>().size(), 1);
        about->close();
    }

    void undoAfterTransposePutsTheStepperAndFieldBack() {
        loadDemo();
        const auto& p = h->parts();
        QVERIFY(!p.undoAction->isEnabled());
        QTest::mouseClick(p.transposeStepper->upButton(), Qt::LeftButton);
        QTest::mouseClick(p.transposeStepper->upButton(), Qt::LeftButton);
        Harness::settle();
        QCOMPARE(h->controller().transposeOffset(), 2);
        QCOMPARE(p.transposeField->text(), QString("+2"));
        QCOMPARE(p.undoAction->text(), QString("Undo Transpose"));
        QVERIFY(p.undoAction->isEnabled());

        p.table->setFocus();
        QTest::keyClick(&h->window(), Qt::Key_Z, Qt::ControlModifier);
        Harness::settle();
        QCOMPARE(h->controller().transposeOffset(), 1);
        QCOMPARE(p.transposeStepper->value(), 1);
        QCOMPARE(p.transposeField->text(), QString("+1"));
        QCOMPARE(p.redoAction->text(), QString("Redo Transpose"));
        QTest::keyClick(&h->window(), Qt::Key_Z, Qt::ControlModifier);
        Harness::settle();
        QCOMPARE(p.transposeStepper->value(), 0);
        QCOMPARE(p.transposeField->text(), QString("0"));
        QVERIFY(!p.undoAction->isEnabled());

        QTest::keyClick(&h->window(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        Harness::settle();
        QCOMPARE(p.transposeStepper->value(), 1);
        QTest::keyClick(&h->window(), Qt::Key_Y, Qt::ControlModifier);
        Harness::settle();
        QCOMPARE(p.transposeStepper->value(), 2);
        QCOMPARE(p.transposeField->text(), QString("+2"));
        QVERIFY(!p.redoAction->isEnabled());
    }

    void transposeFieldCommitsOnReturnAndRevertsOnEscape() {
        loadDemo();
        QLineEdit* field = h->parts().transposeField;
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "+7");
        QTest::keyClick(field, Qt::Key_Return);
        Harness::settle();
        QCOMPARE(h->controller().transposeOffset(), 7);
        QCOMPARE(h->parts().transposeStepper->value(), 7);

        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "abc");
        QTest::keyClick(field, Qt::Key_Return);
        Harness::settle();
        QCOMPARE(field->text(), QString("+7"));
        QCOMPARE(h->controller().transposeOffset(), 7);

        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "3");
        QTest::keyClick(field, Qt::Key_Escape);
        Harness::settle();
        QCOMPARE(field->text(), QString("+7"));
        QCOMPARE(h->controller().transposeOffset(), 7);

        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "-20");
        QTest::keyClick(field, Qt::Key_Return);
        Harness::settle();
        QCOMPARE(h->controller().transposeOffset(), -12);
        QCOMPARE(field->text(), QString("-12"));
        QCOMPARE(h->parts().status->fullText(),
                 QString::fromUtf8("⚠️  Pitch offset is limited to ±12 semitones (one octave)."));
        QCOMPARE(h->parts().status->palette().color(QPalette::WindowText), color(app::ColorRole::orange));
    }

    void songNameIsEditedInPlace() {
        DropZone* zone = h->parts().dropZone;
        // Nothing to rename before a song is loaded.
        QTest::mouseDClick(zone->nameLabel(), Qt::LeftButton);
        Harness::settle();
        QVERIFY(!zone->isNameEditing());

        loadDemo();
        QTest::mouseDClick(zone->nameLabel(), Qt::LeftButton);
        Harness::settle();
        QVERIFY(zone->isNameEditing());
        QLineEdit* field = zone->nameField();
        QTRY_VERIFY(field->hasFocus());
        QCOMPARE(field->selectedText(), QString("demo"));
        QTest::keyClicks(field, "Night Song");
        QCOMPARE(h->controller().currentSongDisplayName(), std::string("Night Song"));
        QTest::keyClick(field, Qt::Key_Return);
        Harness::settle();
        QVERIFY(!zone->isNameEditing());
        QCOMPARE(zone->nameLabel()->text(), QString("Night Song"));
        QCOMPARE(h->controller().editedFilename(), std::string("Night Song"));
        QCOMPARE(h->parts().undoAction->text(), QString("Undo Rename Song"));

        // Escape puts the last name back.
        QTest::mouseDClick(zone->nameLabel(), Qt::LeftButton);
        Harness::settle();
        QTRY_VERIFY(zone->nameField()->hasFocus());
        QTest::keyClicks(field, "Scratch");
        QTest::keyClick(field, Qt::Key_Escape);
        Harness::settle();
        QVERIFY(!zone->isNameEditing());
        QCOMPARE(zone->nameLabel()->text(), QString("Night Song"));
        QCOMPARE(h->controller().currentSongDisplayName(), std::string("Night Song"));

        // An empty name falls back to the file's own.
        QTest::mouseDClick(zone->nameLabel(), Qt::LeftButton);
        Harness::settle();
        QTRY_VERIFY(zone->nameField()->hasFocus());
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Return);
        Harness::settle();
        QCOMPARE(zone->nameLabel()->text(), QString("demo"));
    }

    void trackNamesAreEditedInTheTable() {
        loadDemo();
        TrackTableView* table = h->parts().table;
        const QModelIndex name = table->model()->index(2, static_cast<int>(app::TrackColumn::name));
        table->edit(name);
        Harness::settle();
        auto* editor = table->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor != nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, "Keys");
        QTest::keyClick(editor, Qt::Key_Return);
        Harness::settle();
        QCOMPARE(h->controller().trackRows()[2].name, std::string("Keys"));
        QCOMPARE(name.data().toString(), QString("Keys"));
        QCOMPARE(h->parts().undoAction->text(), QString("Undo Rename Track"));
    }

    void theHeightFollowsTheTracksWithinTheScreen() {
        auto& window = h->window();
        QCOMPARE(window.minimumWidth(), app::mainWindowWidth);
        QCOMPARE(window.maximumWidth(), app::mainWindowWidth);
        // No song: the layout's 319 is raised to the window's minimum.
        window.finishResizing();
        QCOMPARE(window.centralWidget()->height(), app::mainWindowMinimumHeight);

        loadDemo();  // 5 tracks: 161 + 48 + 210
        QVERIFY(window.isResizing());
        window.finishResizing();
        Harness::settle();
        QCOMPARE(window.targetContentHeight(), 419);
        QCOMPARE(window.centralWidget()->height(), 419);
        QCOMPARE(h->parts().timeline->height(), 48);
        QCOMPARE(h->parts().table->height(), 161);

        // 30 tracks ask for 979 points; the screen decides.
        const auto many = tempPath("thirty.mid");
        writeBytes(many, songWithTracks(30));
        const int top = window.geometry().top();
        h->controller().loadMIDI(many);
        Harness::settle();
        QCOMPARE(h->parts().tableModel->rowCount(), 30);
        window.finishResizing();
        Harness::settle();
        const int available = window.screen()->availableGeometry().height();
        // The whole window, frame and menu bar included, fits the screen.
        const int chrome = window.frameGeometry().height() - window.centralWidget()->height();
        const int expected = std::max(std::min(979, available - chrome), 400);
        QCOMPARE(window.centralWidget()->height(), expected);
        QCOMPARE(window.geometry().top(), top);
        QVERIFY(h->parts().timeline->height() <= 248);
        QVERIFY(h->parts().table->height() >= 65);

        QTest::mouseClick(h->parts().clear, Qt::LeftButton);
        Harness::settle();
        window.finishResizing();
        QCOMPARE(window.centralWidget()->height(), app::mainWindowMinimumHeight);
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
            if (!button->isVisible()) continue;
            QVERIFY2(!button->accessibleName().isEmpty() || !button->text().isEmpty(),
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
        QVERIFY(ticked != nullptr);
        QCOMPARE(ticked->urls().size(), 2);
        for (const QUrl& url : ticked->urls()) {
            QVERIFY(url.isLocalFile());
            QVERIFY(std::filesystem::file_size(url.toLocalFile().toStdString()) > 14);
        }
        std::unique_ptr<QMimeData> single(model->mimeData({model->index(4, 3)}));
        QCOMPARE(single->urls().size(), 1);
        QVERIFY(single->urls()[0].toLocalFile().endsWith(".mid"));
        // Each drag gets its own folder: an earlier drag's files stay where they were offered.
        QVERIFY(std::filesystem::exists(ticked->urls()[0].toLocalFile().toStdString()));

        QTest::mouseClick(h->parts().clear, Qt::LeftButton);
        Harness::settle();
        QCOMPARE(model->rowCount(), 0);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
