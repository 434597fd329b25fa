// The port's alerts, prompt panel, tempo prompt and file choosers: the answers they give, the
// keys they take, their sizes, and that an answer comes at most once and never after the port
// is gone.

#include <QCheckBox>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include "UiTestSupport.h"
#include "app/MixerPanel.h"
#include "ui/MixerWindow.h"
#include "ui/PromptPanelDialog.h"
#include "ui/TempoPromptDialog.h"

using namespace orvane;
using orvane::ui::testing::findWindow;
using orvane::ui::testing::settle;
using orvane::ui::testing::shoot;

// Receives the URLs the port asks the desktop to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.push_back(url); }
};

class ModalPortTest : public QObject {
    Q_OBJECT

    QWidget mainWindow_;
    std::unique_ptr<ui::QtModalPort> port_;

    static std::vector<QAbstractButton*> buttonsLeftToRight(QMessageBox* box) {
        auto buttons = box->buttons();
        std::vector<QAbstractButton*> sorted(buttons.begin(), buttons.end());
        std::sort(sorted.begin(), sorted.end(), [box](QAbstractButton* a, QAbstractButton* b) {
            return a->mapTo(box, QPoint(0, 0)).x() < b->mapTo(box, QPoint(0, 0)).x();
        });
        return sorted;
    }

private slots:
    void initTestCase() {
        ui::testing::applyLightLook();
        mainWindow_.resize(720, 500);
        mainWindow_.show();
    }
    void init() { port_ = std::make_unique<ui::QtModalPort>(&mainWindow_); }
    void cleanup() {
        port_.reset();
        settle();
    }

    void alertAnswersWithTheIndexOfThePressedButton() {
        const app::AlertRequest request{app::AlertStyle::informational, "Choose MIDI export format",
                                        "MIDI 1.0 keeps the existing .mid export. MIDI 2.0 writes MIDI Clip .midi2 files.",
                                        {"MIDI 1.0 (.mid)", "MIDI 2.0 (.midi2)", "Cancel"}};
        std::vector<int> answers;
        const auto record = [&](int index) { answers.push_back(index); };

        // Return presses the first button; the buttons stand in the order given.
        port_->runAlert(request, record);
        auto* box = findWindow<QMessageBox>();
        QVERIFY(box != nullptr);
        QVERIFY(box->isModal());
        QCOMPARE(box->text(), QStringLiteral("Choose MIDI export format"));
        QCOMPARE(box->icon(), QMessageBox::Information);
        const auto ordered = buttonsLeftToRight(box);
        QCOMPARE(ordered.size(), std::size_t{3});
        QCOMPARE(ordered[0]->text(), QStringLiteral("MIDI 1.0 (.mid)"));
        QCOMPARE(ordered[2]->text(), QStringLiteral("Cancel"));
        shoot(box, QStringLiteral("alert-format"));
        QTest::keyClick(box, Qt::Key_Return);
        settle();

        // A click on the second; Escape presses "Cancel", wherever it stands.
        port_->runAlert(request, record);
        box = findWindow<QMessageBox>();
        QVERIFY(box != nullptr);
        QTest::mouseClick(buttonsLeftToRight(box)[1], Qt::LeftButton);
        settle();
        port_->runAlert({app::AlertStyle::warning, "Replace existing files?", "1 file(s) already exist:\n\nA.mid",
                         {"Replace", "Cancel"}},
                        record);
        box = findWindow<QMessageBox>();
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QTest::keyClick(box, Qt::Key_Escape);
        settle();
        QCOMPARE(answers, (std::vector<int>{0, 1, 1}));

        // One button: Escape is that button. Closed without a button: -1. Names are shown as
        // typed, not read as markup.
        port_->runAlert({app::AlertStyle::warning, "Unsupported File",
                         "\"<b>notes</b>.txt\" cannot be loaded.\n\nDrop a MIDI file to split tracks or an audio file "
                         "to detect BPM.",
                         {"OK"}},
                        record);
        box = findWindow<QMessageBox>();
        auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        QVERIFY(informative != nullptr);
        QCOMPARE(informative->textFormat(), Qt::PlainText);
        QVERIFY(informative->text().startsWith(QStringLiteral("\"<b>notes</b>.txt\"")));
        shoot(box, QStringLiteral("alert-unsupported"));
        QTest::keyClick(box, Qt::Key_Escape);
        settle();
        port_->runAlert({app::AlertStyle::informational, "Report", "text", {"OK", "Later"}}, record);
        box = findWindow<QMessageBox>();
        box->done(0);
        settle();
        QCOMPARE(answers, (std::vector<int>{0, 1, 1, 0, -1}));
    }

    void promptPanelTakesItsHeightFromWhatItHolds() {
        struct Case {
            std::optional<std::string> input;
            std::optional<std::string> checkbox;
            int height;
        };
        for (const Case& c : {Case{std::nullopt, std::nullopt, 188}, Case{"5", std::nullopt, 230},
                              Case{std::nullopt, "Remember", 218}, Case{"5", "Remember", 260}}) {
            port_->showPrompt({"Short message.", c.input, c.checkbox, false, "OK", std::nullopt},
                              [](app::PromptResult) {});
            auto* panel = findWindow<ui::PromptPanelDialog>();
            QVERIFY(panel != nullptr);
            QCOMPARE(panel->width(), 360);
            QCOMPARE(panel->height(), c.height);
            QCOMPARE(panel->inputField() != nullptr, c.input.has_value());
            QCOMPARE(panel->checkbox() != nullptr, c.checkbox.has_value());
            panel->reject();
            settle();
        }
        // A message longer than the room is shown whole: the panel grows instead of cutting it.
        std::string longMessage;
        for (int i = 0; i < 12; ++i) longMessage += "Track Mixer changes cannot be used during playback. ";
        port_->showPrompt({longMessage, std::nullopt, std::nullopt, false, "OK", std::nullopt}, [](app::PromptResult) {});
        auto* panel = findWindow<ui::PromptPanelDialog>();
        auto* message = panel->findChild<QLabel*>(QStringLiteral("message"));
        QVERIFY(panel->height() > 188);
        QVERIFY(message->geometry().bottom() < panel->okButton()->geometry().top());
        QVERIFY(message->height() >= message->heightForWidth(message->width()));
        panel->reject();
        settle();
    }

    void promptPanelAnswersWithReturnAndEscape() {
        std::vector<app::PromptResult> results;
        const auto record = [&](app::PromptResult result) { results.push_back(result); };

        port_->showPrompt({"Track Mixer changes cannot be used during playback", std::nullopt, std::nullopt, false,
                           "OK", std::nullopt},
                          record);
        auto* panel = findWindow<ui::PromptPanelDialog>();
        QVERIFY(panel->isModal());
        shoot(panel, QStringLiteral("prompt-panel"));
        QTest::keyClick(panel, Qt::Key_Return);
        settle();

        port_->showPrompt({"Name", "  Lead Synth \n", "Keep", true, "Rename", "Cancel"}, record);
        panel = findWindow<ui::PromptPanelDialog>();
        QCOMPARE(panel->inputField()->selectedText(), panel->inputField()->text());
        QCOMPARE(panel->cancelButton()->text(), QStringLiteral("Cancel"));
        shoot(panel, QStringLiteral("prompt-panel-input"));
        QTest::keyClick(panel->inputField(), Qt::Key_Return);
        settle();

        port_->showPrompt({"Name", "x", std::nullopt, false, "OK", "Cancel"}, record);
        QTest::keyClick(findWindow<ui::PromptPanelDialog>(), Qt::Key_Escape);
        settle();

        QCOMPARE(results.size(), std::size_t{3});
        QCOMPARE(results[0].response, app::ModalResponse::ok);
        QVERIFY(!results[0].input);
        QCOMPARE(results[1].response, app::ModalResponse::ok);
        QCOMPARE(results[1].input, std::optional<std::string>("Lead Synth"));
        QVERIFY(results[1].checkboxOn);
        QCOMPARE(results[2].response, app::ModalResponse::cancel);
    }

    void answersComeOnceAndNeverAfterThePortIsGone() {
        int answered = 0;
        port_->showPrompt({"One", std::nullopt, std::nullopt, false, "OK", std::nullopt},
                          [&](app::PromptResult) { ++answered; });
        auto* panel = findWindow<ui::PromptPanelDialog>();
        panel->accept();
        panel->reject();  // a second close of the same panel
        settle();
        QCOMPARE(answered, 1);

        port_->runAlert({app::AlertStyle::informational, "Two", "", {"OK"}}, [&](int) { ++answered; });
        port_->askTempo({"Please enter a new song tempo", "", "120", ""},
                        [&](std::optional<app::TempoPromptAnswer>) { ++answered; });
        QPointer<QMessageBox> box = findWindow<QMessageBox>();
        port_.reset();  // the windows close without answering
        settle();
        QVERIFY(box.isNull());
        QCOMPARE(answered, 1);
    }

    void messagesStandOverTheMixerAndGoWithIt() {
        auto panel = std::make_shared<app::MixerPanel>();
        port_->showMixerWindow(panel);
        auto* mixer = findWindow<ui::MixerWindow>();
        QVERIFY(mixer != nullptr);
        QApplication::setActiveWindow(mixer);
        std::vector<app::PromptResult> results;
        port_->showPrompt({"Track Mixer changes cannot be used during playback", std::nullopt, std::nullopt, false,
                           "OK", std::nullopt},
                          [&](app::PromptResult result) { results.push_back(result); });
        auto* prompt = findWindow<ui::PromptPanelDialog>();
        QCOMPARE(prompt->parentWidget(), static_cast<QWidget*>(mixer));
        // The mixer closes (a new song): the message goes with it and counts as dismissed.
        delete mixer;
        settle();
        QVERIFY(findWindow<ui::PromptPanelDialog>() == nullptr);
        QCOMPARE(results.size(), std::size_t{1});
        QCOMPARE(results[0].response, app::ModalResponse::cancel);
        // Over the main window otherwise.
        QApplication::setActiveWindow(&mainWindow_);
        port_->runAlert({app::AlertStyle::informational, "Note", "", {"OK"}}, [](int) {});
        QCOMPARE(findWindow<QMessageBox>()->parentWidget(), &mainWindow_);
        findWindow<QMessageBox>()->done(0);
        settle();
    }

    void tempoPromptHandsBothFieldsOver() {
        std::vector<std::optional<app::TempoPromptAnswer>> answers;
        port_->askTempo({"Please enter a new song tempo",
                         "Enter a value between 10.000 and 300.000 BPM.\nLeave the decimal field blank for a "
                         "whole-number tempo.",
                         "120", "500"},
                        [&](std::optional<app::TempoPromptAnswer> answer) { answers.push_back(answer); });
        auto* prompt = findWindow<ui::TempoPromptDialog>();
        QVERIFY(prompt != nullptr);
        QApplication::setActiveWindow(prompt);
        settle();
        shoot(prompt, QStringLiteral("tempo-prompt"));
        QCOMPARE(prompt->wholeField()->text(), QStringLiteral("120"));
        QCOMPARE(prompt->decimalField()->text(), QStringLiteral("500"));
        QCOMPARE(prompt->wholeField()->placeholderText(), QStringLiteral("BPM"));
        QCOMPARE(prompt->decimalField()->placeholderText(), QStringLiteral("000"));
        QCOMPARE(QApplication::focusWidget(), prompt->wholeField());
        // Only digits go into the fields.
        prompt->wholeField()->clear();
        QTest::keyClicks(prompt->wholeField(), QStringLiteral("9-e.7"));
        QCOMPARE(prompt->wholeField()->text(), QStringLiteral("97"));
        prompt->decimalField()->clear();
        QTest::keyClicks(prompt->decimalField(), QStringLiteral("25"));
        QTest::keyClick(prompt->decimalField(), Qt::Key_Return);
        settle();

        port_->askTempo({"Please enter a new song tempo", "", "88", ""},
                        [&](std::optional<app::TempoPromptAnswer> answer) { answers.push_back(answer); });
        QTest::keyClick(findWindow<ui::TempoPromptDialog>()->wholeField(), Qt::Key_Escape);
        settle();

        QCOMPARE(answers.size(), std::size_t{2});
        QVERIFY(answers[0].has_value());
        QCOMPARE(answers[0]->wholeText, std::string("97"));
        QCOMPARE(answers[0]->decimalText, std::string("25"));
        QVERIFY(!answers[1].has_value());
    }

    void folderChooserShowsThePromptAndAnswersTheFolder() {
        QTemporaryDir folder;
        std::vector<std::optional<std::filesystem::path>> answers;
        port_->chooseFolder({"Choose output folder", "Split All Here", folder.path().toStdString()},
                            [&](std::optional<std::filesystem::path> path) { answers.push_back(path); });
        auto* chooser = findWindow<QFileDialog>();
        QVERIFY(chooser != nullptr);
        QCOMPARE(chooser->windowTitle(), QStringLiteral("Choose output folder"));
        QCOMPARE(chooser->labelText(QFileDialog::Accept), QStringLiteral("Split All Here"));
        QCOMPARE(chooser->fileMode(), QFileDialog::Directory);
        QVERIFY(!chooser->testOption(QFileDialog::ReadOnly));  // new folders can be made
        QMetaObject::invokeMethod(chooser, "accept");
        settle();
        port_->chooseFolder({"Choose output folder", "Export Here", folder.path().toStdString()},
                            [&](std::optional<std::filesystem::path> path) { answers.push_back(path); });
        findWindow<QFileDialog>()->reject();
        settle();
        QCOMPARE(answers.size(), std::size_t{2});
        QVERIFY(answers[0].has_value());
        QCOMPARE(std::filesystem::weakly_canonical(*answers[0]),
                 std::filesystem::weakly_canonical(folder.path().toStdString()));
        QVERIFY(!answers[1].has_value());
    }

    void savePanelAddsTheFormatsExtension() {
        QTemporaryDir folder;
        const std::filesystem::path root = folder.path().toStdString();
        const auto save = [&](const QString& typed, const std::string& extension) {
            std::optional<std::filesystem::path> chosen;
            port_->chooseSaveLocation({"Song_merged", extension, root},
                                      [&](std::optional<std::filesystem::path> path) { chosen = path; });
            auto* panel = findWindow<QFileDialog>();
            if (panel == nullptr) return chosen;
            panel->selectFile(typed);
            QMetaObject::invokeMethod(panel, "accept");
            settle();
            return chosen;
        };
        QCOMPARE(save(QStringLiteral("merged"), "mid"), std::optional(root / "merged.mid"));
        QCOMPARE(save(QStringLiteral("take.v2"), "mid"), std::optional(root / "take.v2.mid"));
        QCOMPARE(save(QStringLiteral("Song.MID"), "mid"), std::optional(root / "Song.MID"));
        QCOMPARE(save(QStringLiteral("clip"), "midi2"), std::optional(root / "clip.midi2"));
    }

    void openPanelOffersTheMIDIFiles() {
        std::optional<std::filesystem::path> chosen;
        bool answered = false;
        port_->chooseFileToOpen({{"mid", "midi", "midi2"}, {}}, [&](std::optional<std::filesystem::path> path) {
            chosen = path;
            answered = true;
        });
        auto* panel = findWindow<QFileDialog>();
        QVERIFY(panel != nullptr);
        const QString filter = panel->nameFilters().join(QLatin1Char(' '));
        QVERIFY(filter.contains(QStringLiteral("*.mid ")));
        QVERIFY(filter.contains(QStringLiteral("*.MIDI2")));
        QCOMPARE(panel->fileMode(), QFileDialog::ExistingFile);
        QTest::keyClick(panel, Qt::Key_Escape);
        settle();
        QVERIFY(answered);
        QVERIFY(!chosen);
    }

    void revealFallsBackToOpeningTheFolder() {
        if (QDBusConnection::sessionBus().isConnected()) QSKIP("a session bus is running; the file manager is asked");
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
        QTemporaryDir folder;
        const QString file = folder.path() + QStringLiteral("/Song_merged.mid");
        port_->revealInFileManager(file.toStdString());
        port_->revealInFileManager(folder.path().toStdString());
        settle();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(port_->lastRevealMethod(), std::string("open-folder"));
        // A file is shown by opening its folder.
        QCOMPARE(recorder.opened, (QList<QUrl>{QUrl::fromLocalFile(folder.path()), QUrl::fromLocalFile(folder.path())}));
    }
};

QTEST_MAIN(ModalPortTest)
#include "ModalPortTest.moc"
