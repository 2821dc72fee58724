// The preview's ticker: it counts the preview down, wakes the window only when a pass is
// due and never again before that pass has run, and stops cleanly.

#include "app/PreviewTicker.h"
#include "preview/StripPreview.h"

#include <QTest>

#include <atomic>
#include <chrono>

using namespace std::chrono_literals;

class TickerTest : public QObject {
    Q_OBJECT

private slots:
    void NoSecondWakeBeforeThePassHasRun() {
        PreviewState state;
        std::atomic<int> wakes{0};
        PreviewTicker ticker(1ms, state, [&wakes] { ++wakes; });
        ticker.Start(false);
        QTRY_VERIFY(ticker.Ticks() >= 20);
        QCOMPARE(wakes.load(), 1);
        ticker.PassDone();
        QTRY_COMPARE(wakes.load(), 2);
        ticker.Stop();
        QVERIFY(!ticker.Running());
        const std::uint64_t ticks = ticker.Ticks();
        QTest::qWait(20);
        QCOMPARE(ticker.Ticks(), ticks);
    }

    void ScrollingWakesOnlyWhenAStepIsDue() {
        PreviewState state;
        state.StepTicks.store(1000000);
        state.HoldTicks.store(5);
        std::atomic<int> wakes{0};
        PreviewTicker ticker(1ms, state, [&wakes] { ++wakes; });
        ticker.Start(false);
        QTRY_VERIFY(ticker.Ticks() >= 30);
        ticker.Stop();
        QCOMPARE(wakes.load(), 0);
        // Every tick counted both counters down; HoldTicks stops at 0.
        QCOMPARE(state.StepTicks.load(), std::uint32_t(1000000 - ticker.Ticks()));
        QCOMPARE(state.HoldTicks.load(), std::uint32_t{0});
    }

    void StaticMessageWakesEveryEighthTick() {
        PreviewState state;
        std::atomic<int> wakes{0};
        PreviewTicker* self = nullptr;
        PreviewTicker ticker(1ms, state, [&wakes, &self] {
            ++wakes;
            self->PassDone(); // the pass runs at once
        });
        self = &ticker;
        ticker.Start(true);
        QTRY_VERIFY(ticker.Ticks() >= 40);
        ticker.Stop();
        const auto ticks = static_cast<int>(ticker.Ticks());
        QCOMPARE(wakes.load(), (ticks + 7) / 8);
    }

    void RestartBeginsCountingAgain() {
        PreviewState state;
        PreviewTicker ticker(1ms, state, [] {});
        ticker.Start(false);
        QTRY_VERIFY(ticker.Ticks() >= 10);
        ticker.Start(true);
        QVERIFY(ticker.Running());
        QVERIFY(ticker.Ticks() < 10);
        ticker.Stop();
        ticker.Stop(); // harmless when stopped
    }
};

QTEST_MAIN(TickerTest)
#include "tst_ticker.moc"
