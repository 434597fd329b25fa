// The port's dialogs: alerts, the prompt panel, the tempo prompt, the file choosers and the
// instrument and drum pickers. The answers they give, the keys they take, their sizes, and
// that an answer comes at most once and never after the port is gone.

#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <optional>

#include "UiTestSupport.h"
#include "app/MixerPanel.h"
#include "ui/MixerWindow.h"
#include "ui/PickerDialogs.h"
#include "ui/PromptPanelDialog.h"
#include "ui/TempoPromptDialog.h"

using namespace orvane;
using namespace orvane::ui::testing;
using Path = std::optional<std::filesystem::path>;

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

    // Opens the dialog T through `show`, answering into `answers`.
    template <class T, class Answer, class Show>
    T* open(std::vector<Answer>& answers, Show show) {
        show([&answers](Answer answer) { answers.push_back(std::move(answer)); });
        T* dialog = findWindow<T>();
        if (dialog != nullptr) QApplication::setActiveWindow(dialog);
        return dialog;
    }

private slots:
    void initTestCase() {
        ui::testing::useApplicationLook();
        mainWindow_.resize(720, 560);
        mainWindow_.show();
    }
    void init() { port_ = std::make_unique<ui::QtModalPort>(&mainWindow_); }
    void cleanup() {
        port_.reset();
        settle();
    }

    void alertAnswersWithTheIndexOfThePressedButton() {
        std::vector<int> answers;
        const auto alert = [&](app::AlertRequest request) {
            return open<QMessageBox>(answers, [&](auto answer) { port_->runAlert(request, answer); });
        };
        // The buttons stand in the order given; a click answers the one clicked. (Return presses
        // the first: the loop export window's test answers the format alert so.)
        const app::AlertRequest format{app::AlertStyle::informational, "Choose MIDI export format", "text",
                                       {"MIDI 1.0 (.mid)", "MIDI 2.0 (.midi2)", "Cancel"}};
        const auto leftToRight = [](QMessageBox* box) {
            auto buttons = box->buttons();
            std::ranges::sort(buttons, {}, [box](QAbstractButton* b) { return b->mapTo(box, QPoint(0, 0)).x(); });
            return buttons;
        };
        QMessageBox* box = alert(format);
        QVERIFY(box != nullptr && box->isModal() && box->icon() == QMessageBox::Information);
        const auto buttons = leftToRight(box);
        QCOMPARE(buttons[0]->text() + buttons[1]->text() + buttons[2]->text(),
                 QStringLiteral("MIDI 1.0 (.mid)MIDI 2.0 (.midi2)Cancel"));
        clickAndSettle(buttons[1], Qt::LeftButton);
        // Escape presses "Cancel", wherever it stands; with one button, that button.
        box = alert({app::AlertStyle::warning, "Replace existing files?", "", {"Replace", "Cancel"}});
        QCOMPARE(box->icon(), QMessageBox::Warning);
        keyAndSettle(box, Qt::Key_Escape);
        // Names are shown as typed, not read as markup.
        box = alert({app::AlertStyle::warning, "Unsupported File", "\"<b>notes</b>.txt\" cannot be loaded.", {"OK"}});
        QCOMPARE(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))->textFormat(), Qt::PlainText);
        keyAndSettle(box, Qt::Key_Escape);
        alert({app::AlertStyle::informational, "Report", "text", {"OK", "Later"}})->done(0);  // closed: -1
        settle();
        QCOMPARE(answers, (std::vector<int>{1, 1, 0, -1}));
    }

    void promptPanelTakesItsHeightFromWhatItHoldsAndAnswersWithReturnAndEscape() {
        struct Case {
            std::optional<std::string> input, checkbox;
            int height;
        };
        for (const Case& c : {Case{std::nullopt, std::nullopt, 188}, Case{"5", std::nullopt, 230},
                              Case{std::nullopt, "Remember", 218}, Case{"5", "Remember", 260}}) {
            port_->showPrompt({"Short message.", c.input, c.checkbox, false, "OK", std::nullopt}, [](app::PromptResult) {});
            auto* panel = findWindow<ui::PromptPanelDialog>();
            QCOMPARE(panel->size(), QSize(360, c.height));
            QVERIFY((panel->inputField() != nullptr) == c.input.has_value() &&
                    (panel->checkbox() != nullptr) == c.checkbox.has_value());
            panel->reject();
            settle();
        }
        // A message longer than the room is shown whole: the panel grows instead of cutting it.
        std::string longMessage;
        for (int i = 0; i < 12; ++i) longMessage += "Track Mixer changes cannot be used during playback. ";
        std::vector<app::PromptResult> results;
        const auto prompt = [&](app::PromptRequest request) {
            return open<ui::PromptPanelDialog>(results, [&](auto answer) { port_->showPrompt(request, answer); });
        };
        auto* panel = prompt({longMessage, std::nullopt, std::nullopt, false, "OK", std::nullopt});
        auto* message = panel->findChild<QLabel*>(QStringLiteral("message"));
        QVERIFY(panel->isModal() && panel->height() > 188);
        QVERIFY(message->geometry().bottom() < panel->okButton()->geometry().top());
        QVERIFY(message->height() >= message->heightForWidth(message->width()));
        keyAndSettle(panel, Qt::Key_Return);

        panel = prompt({"Name", "  Lead Synth \n", "Keep", true, "Rename", "Cancel"});
        QVERIFY(panel->inputField()->selectedText() == panel->inputField()->text() &&
                panel->cancelButton()->text() == "Cancel");
        keyAndSettle(panel->inputField(), Qt::Key_Return);
        keyAndSettle(prompt({"Name", "x", std::nullopt, false, "OK", "Cancel"}), Qt::Key_Escape);
        QCOMPARE(results, (std::vector<app::PromptResult>{{app::ModalResponse::ok, std::nullopt, false},
                                                          {app::ModalResponse::ok, "Lead Synth", true},
                                                          {app::ModalResponse::cancel, "x", false}}));
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
        port_->showMixerWindow(std::make_shared<app::MixerPanel>());
        auto* mixer = findWindow<ui::MixerWindow>();
        QApplication::setActiveWindow(mixer);
        std::vector<app::PromptResult> results;
        port_->showPrompt({"Track Mixer changes cannot be used during playback", std::nullopt, std::nullopt, false,
                           "OK", std::nullopt},
                          [&](app::PromptResult result) { results.push_back(result); });
        QCOMPARE(findWindow<ui::PromptPanelDialog>()->parentWidget(), static_cast<QWidget*>(mixer));
        // The mixer closes (a new song): the message goes with it and counts as dismissed.
        delete mixer;
        settle();
        QVERIFY(findWindow<ui::PromptPanelDialog>() == nullptr);
        QCOMPARE(results, (std::vector<app::PromptResult>{{app::ModalResponse::cancel, std::nullopt, false}}));
        // Over the main window otherwise.
        QApplication::setActiveWindow(&mainWindow_);
        port_->runAlert({app::AlertStyle::informational, "Note", "", {"OK"}}, [](int) {});
        QCOMPARE(findWindow<QMessageBox>()->parentWidget(), &mainWindow_);
        findWindow<QMessageBox>()->done(0);
        settle();
    }

    void tempoPromptHandsBothFieldsOver() {
        std::vector<std::optional<app::TempoPromptAnswer>> answers;
        const auto ask = [&](app::TempoPromptRequest request) {
            return open<ui::TempoPromptDialog>(answers, [&](auto answer) { port_->askTempo(request, answer); });
        };
        auto* prompt = ask({"Please enter a new song tempo", "Enter a value.", "120", "500"});
        settle();
        QCOMPARE(prompt->wholeField()->text() + "." + prompt->decimalField()->text(), QStringLiteral("120.500"));
        QCOMPARE(QApplication::focusWidget(), prompt->wholeField());
        // Only digits go into the fields.
        prompt->wholeField()->clear();
        QTest::keyClicks(prompt->wholeField(), QStringLiteral("9-e.7"));
        prompt->decimalField()->clear();
        QTest::keyClicks(prompt->decimalField(), QStringLiteral("25"));
        keyAndSettle(prompt->decimalField(), Qt::Key_Return);
        keyAndSettle(ask({"Please enter a new song tempo", "", "88", ""})->wholeField(), Qt::Key_Escape);
        QCOMPARE(answers, (decltype(answers){app::TempoPromptAnswer{"97", "25"}, std::nullopt}));
    }

    void fileChoosersAnswerThePathOrNothing() {
        QTemporaryDir folder;
        const std::filesystem::path root = folder.path().toStdString();
        std::vector<Path> answers;
        auto* chooser = open<QFileDialog>(answers, [&](auto answer) {
            port_->chooseFolder({"Choose output folder", "Split All Here", root}, answer);
        });
        QCOMPARE(chooser->fileMode(), QFileDialog::Directory);
        QVERIFY(!chooser->testOption(QFileDialog::ReadOnly));  // new folders can be made
        QMetaObject::invokeMethod(chooser, "accept");
        settle();
        QCOMPARE(std::filesystem::weakly_canonical(answers.at(0).value()), std::filesystem::weakly_canonical(root));

        // The open panel offers the MIDI files in any letter case.
        auto* panel = open<QFileDialog>(answers, [&](auto answer) {
            port_->chooseFileToOpen({{"mid", "midi", "midi2"}, {}}, answer);
        });
        const QString filter = panel->nameFilters().join(QLatin1Char(' '));
        QVERIFY(filter.contains(QStringLiteral("*.mid ")) && filter.contains(QStringLiteral("*.MIDI2")));
        QCOMPARE(panel->fileMode(), QFileDialog::ExistingFile);
        keyAndSettle(panel, Qt::Key_Escape);
        QVERIFY(answers.size() == 2 && !answers[1]);

        // The save panel adds the format's extension unless the name has it.
        answers.clear();
        for (const auto& [typed, extension] : {std::pair{"merged", "mid"}, {"take.v2", "mid"}, {"Song.MID", "mid"},
                                               {"clip", "midi2"}}) {
            port_->chooseSaveLocation({"Song_merged", extension, root}, [&](Path path) { answers.push_back(path); });
            auto* save = findWindow<QFileDialog>();
            save->selectFile(QString::fromUtf8(typed));
            QMetaObject::invokeMethod(save, "accept");
            settle();
        }
        QCOMPARE(answers, (std::vector<Path>{root / "merged.mid", root / "take.v2.mid", root / "Song.MID",
                                             root / "clip.midi2"}));
    }

    void revealFallsBackToOpeningTheFolder() {
        if (QDBusConnection::sessionBus().isConnected()) QSKIP("a session bus is running; the file manager is asked");
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
        QTemporaryDir folder;
        port_->revealInFileManager((folder.path() + QStringLiteral("/Song_merged.mid")).toStdString());
        port_->revealInFileManager(folder.path().toStdString());
        settle();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(port_->lastRevealMethod(), std::string("open-folder"));
        // A file is shown by opening its folder.
        QCOMPARE(recorder.opened, (QList<QUrl>{QUrl::fromLocalFile(folder.path()), QUrl::fromLocalFile(folder.path())}));
    }

    void instrumentPickerFiltersAsTheUserTypesAndChooses() {
        std::vector<std::optional<app::InstrumentPickerSelection>> answers;
        const auto pick = [&](std::uint8_t current) {
            return open<ui::InstrumentPickerDialog>(answers, [&](auto answer) {
                port_->showInstrumentPicker(std::make_shared<app::InstrumentPicker>(current), answer);
            });
        };
        auto* picker = pick(33);
        QVERIFY(picker->isModal() && picker->list()->count() == 129);
        QCOMPARE(QApplication::focusWidget(), picker->searchField());
        QCOMPARE(picker->list()->currentItem()->text(), QStringLiteral(" 34  Finger Bass"));
        keyAndSettle(picker->searchField(), Qt::Key_Return);  // the current one

        // Typing filters; Down from the search field moves the selection; Return chooses it.
        picker = pick(0);
        QTest::keyClicks(picker->searchField(), QStringLiteral("piano"));
        QCOMPARE(picker->list()->count(), 6);
        QTest::keyClick(picker->searchField(), Qt::Key_Down);
        QCOMPARE(picker->list()->currentRow(), 1);
        keyAndSettle(picker->searchField(), Qt::Key_Return);

        // A double-click chooses; Escape cancels; the drum-kit button chooses drums.
        picker = pick(0);
        QTest::keyClicks(picker->searchField(), QStringLiteral("string"));
        const QRect last = picker->list()->visualItemRect(picker->list()->item(picker->list()->count() - 1));
        QTest::mouseClick(picker->list()->viewport(), Qt::LeftButton, {}, last.center());
        QTest::mouseDClick(picker->list()->viewport(), Qt::LeftButton, {}, last.center());
        settle();
        keyAndSettle(pick(0)->searchField(), Qt::Key_Escape);
        clickAndSettle(pick(0)->drumsButton(), Qt::LeftButton);

        // Nothing is chosen from an empty list; clearing the filter brings every row back.
        picker = pick(0);
        QTest::keyClicks(picker->searchField(), QStringLiteral("zzzz"));
        QTest::keyClick(picker->searchField(), Qt::Key_Return);
        clickAndSettle(picker->selectButton(), Qt::LeftButton);
        QVERIFY(picker->isVisible());
        picker->searchField()->clear();
        QCOMPARE(QPoint(picker->list()->count(), picker->list()->currentRow()), QPoint(129, 0));
        picker->reject();
        settle();
        using Choice = std::optional<app::InstrumentPickerSelection>;
        QCOMPARE(answers, (std::vector<Choice>{app::InstrumentPickerSelection::melodic(33),
                                               app::InstrumentPickerSelection::melodic(1),  // Bright Acoustic Piano
                                               app::InstrumentPickerSelection::melodic(51),  // Synth Strings 2
                                               std::nullopt, app::InstrumentPickerSelection::drums(), std::nullopt}));
    }

    void drumPickerFiltersByNameOrNumberAndReportsTheKit() {
        std::vector<std::optional<app::DrumInstrumentSelection>> answers;
        const auto pick = [&](std::optional<std::uint8_t> note) {
            return open<ui::DrumPickerDialog>(answers, [&](auto answer) {
                port_->showDrumPicker(std::make_shared<app::DrumPicker>(0, note), answer);
            });
        };
        auto* picker = pick(38);
        QCOMPARE(picker->list()->currentItem()->text(), QStringLiteral(" 38  Acoustic Snare"));
        QCOMPARE(picker->kitPopup()->count(), static_cast<int>(app::DrumPicker(0, std::nullopt).kits().size()));
        QCOMPARE(picker->kitPopup()->currentText(), QStringLiteral("Standard Kit"));
        QTest::keyClicks(picker->searchField(), QStringLiteral("36"));
        QCOMPARE(QPoint(picker->list()->count(), picker->list()->currentRow()), QPoint(1, 0));  // " 36  Bass Drum 1"
        picker->kitPopup()->setCurrentIndex(1);  // the kit shown goes with the sound
        const int kit = picker->kitPopup()->currentData().toInt();
        keyAndSettle(picker->searchField(), Qt::Key_Return);
        // Without a note the first is selected; Escape cancels.
        picker = pick(std::nullopt);
        QCOMPARE(picker->list()->currentRow(), 0);
        keyAndSettle(picker->searchField(), Qt::Key_Escape);
        QCOMPARE(answers, (std::vector<std::optional<app::DrumInstrumentSelection>>{
                              app::DrumInstrumentSelection{static_cast<std::uint8_t>(kit), 36}, std::nullopt}));
    }
};

QTEST_MAIN(ModalPortTest)
#include "ModalPortTest.moc"
