// The figures of a run under load, counted on a made-up clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "core/run_meter.h"

namespace clv {
namespace {

using namespace std::chrono_literals;
using Ns = std::chrono::nanoseconds;

const MeterClock::time_point t0{};

// One tick of the loop: meant to start at `scheduled`, started `late` after it,
// worked `busy`.
struct TickStep {
    Ns scheduled;
    Ns late;
    Ns busy;
};

struct TickCase {
    const char* name;
    std::vector<TickStep> steps;
    Ns windowEnd;
    double ticksPerSecond;
    std::uint32_t minTicksPerSecond;
    std::uint64_t slips;
    double busyShare;
};

std::vector<TickStep> lf_even(int count, Ns from, Ns busy) {
    std::vector<TickStep> steps;
    for (int i = 0; i < count; ++i) steps.push_back({from + i * Ns(10ms), Ns(0), busy});
    return steps;
}

TEST(TickMeter, CountsTicksSlipsAndBusyShare) {
    std::vector<TickStep> stall = lf_even(100, Ns(0), Ns(1ms));
    // The next tick starts 250 ms late, then the loop goes on from there.
    for (TickStep s : lf_even(100, Ns(1000ms), Ns(1ms))) {
        s.late = 250ms;
        stall.push_back(s);
    }
    std::vector<TickStep> edge = lf_even(100, Ns(0), Ns(0));
    edge[10].late = 10ms;            // exactly a period late: on time
    edge[20].late = Ns(10ms) + 1ns;  // just over
    edge[30].late = 25ms;
    // Three seconds without a tick between two busy seconds.
    std::vector<TickStep> gap = lf_even(100, Ns(0), Ns(5ms));
    for (TickStep s : lf_even(100, Ns(4000ms), Ns(5ms))) gap.push_back(s);

    const std::vector<TickCase> cases = {
        {"steady", lf_even(300, Ns(0), Ns(2ms)), Ns(3000ms), 100.0, 100, 0, 0.2},
        // 200 ticks in 2.25 s; the first second holds 100, the stalled one 75.
        {"stall", stall, Ns(2250ms), 200.0 / 2.25, 75, 100, 0.2 / 2.25},
        {"one period late is no slip", edge, Ns(1000ms), 100.0, 100, 2, 0.0},
        {"seconds without ticks", gap, Ns(5000ms), 40.0, 0, 0, 1.0 / 5.0},
    };
    for (const TickCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto m = std::make_unique<TickMeter>();
        for (const TickStep& s : c.steps) {
            const MeterClock::time_point start = t0 + s.scheduled + s.late;
            gf_noteTickStart(*m, t0 + s.scheduled, start);
            gf_noteTickEnd(*m, start, start + s.busy);
        }
        const TickFigures f = gf_takeTickFigures(*m, t0 + c.windowEnd);
        EXPECT_NEAR(f.ticksPerSecond, c.ticksPerSecond, 1e-9);
        EXPECT_EQ(f.minTicksPerSecond, c.minTicksPerSecond);
        EXPECT_EQ(f.slips, c.slips);
        EXPECT_NEAR(f.busyShare, c.busyShare, 1e-9);
        // The next window starts empty.
        const TickFigures next = gf_takeTickFigures(*m, t0 + c.windowEnd + 1s);
        EXPECT_EQ(next.slips, 0u);
        EXPECT_EQ(next.ticksPerSecond, 0.0);
        EXPECT_EQ(next.busyShare, 0.0);
    }
}

// The lag of a feed position: the wall clock when the aircraft reached it against
// the position's time stamp; a window without positions has none.
TEST(PlaybackLagMeter, LowestAndHighestLagOfTheWindow) {
    PlaybackLagMeter m;
    const double feed = 1760000000.25;
    gf_notePlaybackLag(m, feed, feed + 30.5);
    gf_notePlaybackLag(m, feed + 1.0, feed + 37.0);  // played behind under a backlog
    gf_notePlaybackLag(m, feed + 2.0, feed + 31.75);
    const PlaybackLagMeter f = gf_takePlaybackLag(m);
    EXPECT_EQ(f.positions, 3u);
    EXPECT_DOUBLE_EQ(f.minSeconds, 29.75);
    EXPECT_DOUBLE_EQ(f.maxSeconds, 36.0);
    EXPECT_EQ(gf_takePlaybackLag(m).positions, 0u);

    // One position alone is both ends of the next window.
    gf_notePlaybackLag(m, feed, feed + 45.0);
    const PlaybackLagMeter one = gf_takePlaybackLag(m);
    EXPECT_EQ(one.positions, 1u);
    EXPECT_DOUBLE_EQ(one.minSeconds, 45.0);
    EXPECT_DOUBLE_EQ(one.maxSeconds, 45.0);
}

// The median of the window's lags to a twentieth of a second (half a bin): the
// middle one of an odd count, the lower middle one of an even count; one lag alone
// is its own median; outliers move the ends but not the median.
TEST(PlaybackLagMeter, MedianOfTheWindow) {
    struct Case {
        const char* name;
        std::vector<double> lags;
        double median;
    };
    const Case cases[] = {
        {"one", {30.5}, 30.5},
        {"three", {45.0, 30.0, 31.0}, 31.0},
        {"four", {50.0, 30.0, 45.0, 31.0}, 31.0},
        {"outliers far out", {3.29, 30.2, 30.3, 30.4, 96.44}, 30.3},
        {"beyond 600 s", {30.0, 30.1, 900.0}, 30.1},
    };
    const double feed = 1760000000.25;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlaybackLagMeter m;
        for (const double lag : c.lags) gf_notePlaybackLag(m, feed, feed + lag);
        const PlaybackLagMeter f = gf_takePlaybackLag(m);
        EXPECT_EQ(f.positions, c.lags.size());
        EXPECT_NEAR(gf_playbackLagMedian(f), c.median, PlaybackLagMeter::kBinSeconds / 2.0 + 1e-9);
        // (a stamp of 1.76e9 s holds its fractions to a few tenths of a microsecond)
        EXPECT_NEAR(f.minSeconds, *std::min_element(c.lags.begin(), c.lags.end()), 1e-6);
        EXPECT_NEAR(f.maxSeconds, *std::max_element(c.lags.begin(), c.lags.end()), 1e-6);
        // The next window starts empty.
        EXPECT_EQ(gf_playbackLagMedian(gf_takePlaybackLag(m)), 0.0);
    }
}

TEST(FrameLockMeter, PercentilesMaximumAndMeanBlocks) {
    auto m = std::make_unique<FrameLockMeter>();
    for (int i = 0; i < 98; ++i) gf_noteFrameLock(*m, 5us, 300);
    gf_noteFrameLock(*m, 254us, 290);
    gf_noteFrameLock(*m, 12ms, 10);
    const FrameLockFigures f = gf_takeFrameLockFigures(*m);
    EXPECT_EQ(f.frames, 100u);
    EXPECT_NEAR(f.meanBlocks, (98 * 300 + 290 + 10) / 100.0, 1e-9);
    // Bucket tops: the 50th of 100 lies in [5, 6) us, the 99th in [250, 260) us.
    EXPECT_EQ(f.p50Us, 6.0);
    EXPECT_EQ(f.p99Us, 260.0);
    EXPECT_EQ(f.maxUs, 12000.0);

    // One frame: every percentile is within its own bucket, never above the maximum.
    gf_noteFrameLock(*m, 3500ns, 1);
    const FrameLockFigures one = gf_takeFrameLockFigures(*m);
    EXPECT_EQ(one.frames, 1u);
    EXPECT_EQ(one.p50Us, 3.5);
    EXPECT_EQ(one.p99Us, 3.5);
    EXPECT_EQ(gf_takeFrameLockFigures(*m).frames, 0u);
}

TEST(FrameLockMeter, ReadWhileTheFrameHandlerWritesLosesNoFrame) {
    auto m = std::make_unique<FrameLockMeter>();
    constexpr int kFrames = 20000;
    std::uint64_t frames = 0;
    std::uint64_t counted = 0;
    {
        std::jthread writer([&m] {
            for (int i = 0; i < kFrames; ++i) gf_noteFrameLock(*m, Ns(1000 + i % 5000), 300);
        });
        for (int i = 0; i < 200; ++i) {
            const FrameLockFigures f = gf_takeFrameLockFigures(*m);
            frames += f.frames;
            if (f.frames > 0) counted += static_cast<std::uint64_t>(f.meanBlocks * static_cast<double>(f.frames) + 0.5);
        }
    }
    const FrameLockFigures rest = gf_takeFrameLockFigures(*m);
    frames += rest.frames;
    counted += static_cast<std::uint64_t>(rest.meanBlocks * static_cast<double>(rest.frames) + 0.5);
    EXPECT_EQ(frames, static_cast<std::uint64_t>(kFrames));
    EXPECT_EQ(counted, 300u * kFrames);
}

}  // namespace
}  // namespace clv
