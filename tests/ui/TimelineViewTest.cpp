// The main timeline as a widget: its keys, and what a moving playhead repaints on a huge song.

#include <QApplication>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>

#include "ui/TimelineView.h"

using orvane::app::Phrase;
using orvane::app::TrackLane;
using orvane::ui::TimelineView;

namespace {

std::vector<TrackLane> lanes(int count, int phrasesPerLane) {
    std::vector<TrackLane> result;
    for (int i = 0; i < count; ++i) {
        TrackLane lane{std::to_string(i + 1), i % 8, {}};
        lane.phrases.reserve(static_cast<std::size_t>(phrasesPerLane));
        for (int p = 0; p < phrasesPerLane; ++p) {
            const double start = static_cast<double>(p) / phrasesPerLane;
            lane.phrases.push_back({start, start + 0.4 / phrasesPerLane});
        }
        result.push_back(std::move(lane));
    }
    return result;
}

// Records the rectangles the widget is asked to paint.
class PaintRecorder : public QObject {
public:
    int largestPaintedWidth = 0;  // the most columns one paint covered
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            int width = 0;
            for (const QRect& rect : static_cast<QPaintEvent*>(event)->region()) width += rect.width();
            largestPaintedWidth = std::max(largestPaintedWidth, width);
            ++paints;
        }
        return false;
    }
};

}  // namespace

class TimelineViewTest : public QObject {
    Q_OBJECT

private slots:
    // Where a click seeks and which marker a press grabs is the timeline's geometry
    // (tests/app/TimelineLanesTests.cpp), driven through the window in MainWindowTest.
    void arrowKeysMoveFiveSecondsAndHomeGoesToTheStart() {
        TimelineView view;
        view.resize(332, 48);
        view.setLanes(lanes(5, 4), 120.0);
        view.show();
        QSignalSpy seeks(&view, &TimelineView::seekRequested);
        view.setPlayhead(1.0);
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_Left);
        QCOMPARE(seeks.last()[0].toDouble(), 115.0);
        QTest::keyClick(&view, Qt::Key_Home);
        QCOMPARE(seeks.last()[0].toDouble(), 0.0);
    }

    void aMovingPlayheadRepaintsTwoNarrowStripsAndNeverTheBackground() {
        // 16 lanes of 200,000 phrases each, as the stress song gives.
        TimelineView view;
        view.resize(680, 136);
        view.setLanes(lanes(16, 200000), 300.0);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QApplication::processEvents();
        QCOMPARE(view.backgroundBuilds(), 1);

        PaintRecorder recorder;
        view.installEventFilter(&recorder);
        for (int i = 1; i <= 50; ++i) {
            view.setPlayhead(i / 100.0);
            QApplication::processEvents();  // paints what update() asked for
        }
        view.removeEventFilter(&recorder);
        QVERIFY(recorder.paints > 0);
        // Never the whole width: each frame paints the old and the new strip.
        QVERIFY2(recorder.largestPaintedWidth <= 16, qPrintable(QString::number(recorder.largestPaintedWidth)));

        // Even a full repaint copies the cached background.
        view.repaint();
        QCOMPARE(view.backgroundBuilds(), 1);

        // The same lanes again change nothing; new lanes or a new size rebuild once.
        view.setLanes(lanes(16, 1000), 300.0);
        view.repaint();
        const int small = view.backgroundBuilds();
        for (const auto& [count, width, rebuilt] : {std::tuple{16, 680, 0}, {15, 680, 1}, {15, 600, 2}}) {
            view.setLanes(lanes(count, 1000), 300.0);
            view.resize(width, 136);
            view.repaint();
            QCOMPARE(view.backgroundBuilds(), small + rebuilt);
        }
    }
};

QTEST_MAIN(TimelineViewTest)
#include "TimelineViewTest.moc"
