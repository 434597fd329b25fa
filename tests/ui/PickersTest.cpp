// The instrument and drum pickers: filtering as the user types, choosing with Return, a
// double-click or the drum-kit button, cancelling with Escape, and nothing chosen from an
// empty list.

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <optional>

#include "UiTestSupport.h"
#include "ui/PickerDialogs.h"

using namespace orvane;
using orvane::ui::testing::findWindow;
using orvane::ui::testing::settle;
using orvane::ui::testing::shoot;

class PickersTest : public QObject {
    Q_OBJECT

    QWidget mainWindow_;
    std::unique_ptr<ui::QtModalPort> port_;

    using InstrumentAnswers = std::vector<std::optional<app::InstrumentPickerSelection>>;
    using DrumAnswers = std::vector<std::optional<app::DrumInstrumentSelection>>;

    ui::InstrumentPickerDialog* openInstrumentPicker(std::uint8_t current, InstrumentAnswers& answers) {
        port_->showInstrumentPicker(std::make_shared<app::InstrumentPicker>(current),
                                    [&answers](auto choice) { answers.push_back(choice); });
        auto* picker = findWindow<ui::InstrumentPickerDialog>();
        if (picker != nullptr) QApplication::setActiveWindow(picker);
        return picker;
    }
    ui::DrumPickerDialog* openDrumPicker(std::uint8_t kit, std::optional<std::uint8_t> note, DrumAnswers& answers) {
        port_->showDrumPicker(std::make_shared<app::DrumPicker>(kit, note),
                              [&answers](auto choice) { answers.push_back(choice); });
        auto* picker = findWindow<ui::DrumPickerDialog>();
        if (picker != nullptr) QApplication::setActiveWindow(picker);
        return picker;
    }
    static QStringList rows(QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        return texts;
    }

private slots:
    void initTestCase() {
        ui::testing::applyLightLook();
        mainWindow_.resize(720, 560);
        mainWindow_.show();
    }
    void init() { port_ = std::make_unique<ui::QtModalPort>(&mainWindow_); }
    void cleanup() {
        port_.reset();
        settle();
    }

    void instrumentPickerOpensOnTheCurrentInstrument() {
        InstrumentAnswers answers;
        auto* picker = openInstrumentPicker(33, answers);
        QVERIFY(picker != nullptr);
        QVERIFY(picker->isModal());
        QCOMPARE(picker->windowTitle(), QStringLiteral("Choose Instrument"));
        QCOMPARE(picker->size(), QSize(340, 460));
        QCOMPARE(picker->searchField()->placeholderText(), QStringLiteral("Filter instruments…"));
        QCOMPARE(picker->drumsButton()->text(), QStringLiteral("Choose GM Drum Kit"));
        QCOMPARE(picker->list()->count(), 129);
        QCOMPARE(picker->list()->item(0)->text(), QStringLiteral("DRUMS  Channel 10 Drum Track"));
        QCOMPARE(picker->list()->currentItem()->text(), QStringLiteral(" 34  Finger Bass"));
        QCOMPARE(QApplication::focusWidget(), picker->searchField());
        shoot(picker, QStringLiteral("instrument-picker"));
        QTest::keyClick(picker->searchField(), Qt::Key_Return);
        settle();
        QCOMPARE(answers, InstrumentAnswers{app::InstrumentPickerSelection::melodic(33)});
    }

    void typingFiltersInAnyLetterCaseAndReturnChoosesTheFirst() {
        InstrumentAnswers answers;
        auto* picker = openInstrumentPicker(0, answers);
        QTest::keyClicks(picker->searchField(), QStringLiteral("PiAnO"));
        const QStringList shown = rows(picker->list());
        QVERIFY(shown.size() >= 6);
        for (const QString& row : shown) QVERIFY2(row.contains(QStringLiteral("piano"), Qt::CaseInsensitive), qPrintable(row));
        QCOMPARE(picker->list()->currentRow(), 0);
        shoot(picker, QStringLiteral("instrument-picker-filtered"));
        // Down from the search field moves the selection; Return chooses it.
        QTest::keyClick(picker->searchField(), Qt::Key_Down);
        QCOMPARE(picker->list()->currentRow(), 1);
        const QString second = shown[1];
        QTest::keyClick(picker->searchField(), Qt::Key_Return);
        settle();
        QCOMPARE(answers.size(), std::size_t{1});
        QVERIFY(answers[0].has_value());
        QCOMPARE(QStringLiteral("%1").arg(answers[0]->program + 1, 3), second.left(3));
    }

    void doubleClickChoosesAndEscapeCancels() {
        InstrumentAnswers answers;
        auto* picker = openInstrumentPicker(0, answers);
        QTest::keyClicks(picker->searchField(), QStringLiteral("string"));
        QListWidget* list = picker->list();
        QVERIFY(list->count() >= 2);
        const QString last = list->item(list->count() - 1)->text();
        const QRect rect = list->visualItemRect(list->item(list->count() - 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        settle();
        QCOMPARE(answers.size(), std::size_t{1});
        QVERIFY(answers[0].has_value());
        QCOMPARE(QStringLiteral("%1").arg(answers[0]->program + 1, 3), last.left(3));

        picker = openInstrumentPicker(0, answers);
        QTest::keyClick(picker->searchField(), Qt::Key_Escape);
        settle();
        QCOMPARE(answers.size(), std::size_t{2});
        QVERIFY(!answers[1].has_value());

        picker = openInstrumentPicker(0, answers);
        QTest::mouseClick(picker->drumsButton(), Qt::LeftButton);
        settle();
        QCOMPARE(answers.back(), std::optional(app::InstrumentPickerSelection::drums()));
    }

    void nothingIsChosenFromAnEmptyList() {
        InstrumentAnswers answers;
        auto* picker = openInstrumentPicker(0, answers);
        QTest::keyClicks(picker->searchField(), QStringLiteral("zzzz"));
        QCOMPARE(picker->list()->count(), 0);
        QTest::keyClick(picker->searchField(), Qt::Key_Return);
        QTest::mouseClick(picker->selectButton(), Qt::LeftButton);
        settle();
        QVERIFY(picker->isVisible());
        QVERIFY(answers.empty());
        // Clearing the filter brings every row back, the first selected.
        picker->searchField()->clear();
        QCOMPARE(picker->list()->count(), 129);
        QCOMPARE(picker->list()->currentRow(), 0);
        picker->reject();
        settle();
        QCOMPARE(answers, InstrumentAnswers{std::nullopt});
    }

    void drumPickerFiltersByNameOrNumberAndReportsTheKit() {
        DrumAnswers answers;
        auto* picker = openDrumPicker(0, 38, answers);
        QVERIFY(picker != nullptr);
        QCOMPARE(picker->windowTitle(), QStringLiteral("Choose Drum Sound"));
        QCOMPARE(picker->size(), QSize(390, 500));
        QCOMPARE(picker->searchField()->placeholderText(), QStringLiteral("Filter drum sounds..."));
        QCOMPARE(picker->list()->currentItem()->text(), QStringLiteral(" 38  Acoustic Snare"));
        shoot(picker, QStringLiteral("drum-picker"));

        QTest::keyClicks(picker->searchField(), QStringLiteral("36"));
        const QStringList shown = rows(picker->list());
        QVERIFY(shown.contains(QStringLiteral(" 36  Bass Drum 1")));
        for (const QString& row : shown) QVERIFY2(row.contains(QStringLiteral("36")), qPrintable(row));
        QCOMPARE(picker->list()->currentItem()->text(), shown.first());

        // The kit shown in the pop-up goes with the sound.
        QComboBox* kits = picker->kitPopup();
        QCOMPARE(kits->count(), static_cast<int>(app::DrumPicker(0, std::nullopt).kits().size()));
        QCOMPARE(kits->currentText(), QStringLiteral("Standard Kit"));
        const int kitProgram = kits->currentData().toInt();
        QTest::keyClick(picker->searchField(), Qt::Key_Return);
        settle();
        QCOMPARE(answers.size(), std::size_t{1});
        QVERIFY(answers[0].has_value());
        QCOMPARE(int{answers[0]->kitProgram}, kitProgram);
        QCOMPARE(QStringLiteral("%1").arg(answers[0]->note, 3), shown.first().left(3));
    }

    void drumPickerWithoutANoteSelectsTheFirstAndEscapeCancels() {
        DrumAnswers answers;
        auto* picker = openDrumPicker(0, std::nullopt, answers);
        QCOMPARE(picker->list()->currentRow(), 0);
        QTest::keyClick(picker->searchField(), Qt::Key_Escape);
        settle();
        QCOMPARE(answers, DrumAnswers{std::nullopt});
    }
};

QTEST_MAIN(PickersTest)
#include "PickersTest.moc"
