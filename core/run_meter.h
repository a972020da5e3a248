#pragma once
// Figures of a run under load, written by the main loop to Log.txt once a minute
// as a "measure:" line when the environment variable CLV_MEASURE is set to 1: the
// run loop's tick rate, its late ticks, its busy share, the playback lag, and the
// time the SimConnect frame handler holds the queue lock. The loop and the frame
// handler count only then; the playback lag, one comparison per position the
// engine plays, is noted always. Counting takes no lock and allocates nothing.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>

namespace clv {

using MeterClock = std::chrono::steady_clock;

// CLV_MEASURE=1 in the environment; read once.
bool gf_measuring();

// The run loop's figures. Touched by the run thread only.
struct TickMeter {
    static constexpr MeterClock::duration kPeriod = std::chrono::milliseconds(10);

    MeterClock::time_point windowStart{};
    MeterClock::time_point secondStart{};
    bool started = false;
    std::uint32_t ticksThisSecond = 0;
    std::uint32_t minTicksPerSecond = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t ticks = 0;
    std::uint64_t slips = 0;
    MeterClock::duration busy{};
};

// One tick that was meant to start at `scheduled` started at `start`: it slipped
// when it started more than a period late. Whole seconds without ticks count as
// seconds of 0 ticks.
void gf_noteTickStart(TickMeter& m, MeterClock::time_point scheduled, MeterClock::time_point start);
// The tick's work ended at `end`.
void gf_noteTickEnd(TickMeter& m, MeterClock::time_point start, MeterClock::time_point end);

struct TickFigures {
    double seconds = 0.0;           // length of the window
    double ticksPerSecond = 0.0;    // mean over the window
    std::uint32_t minTicksPerSecond = 0;  // of its whole seconds (the mean when it had none)
    std::uint64_t slips = 0;
    double busyShare = 0.0;  // time in tick work / wall time
};

// The window's figures, and a new window from `now`.
TickFigures gf_takeTickFigures(TickMeter& m, MeterClock::time_point now);

// The playback lag: how far behind the feed the simulator's aircraft move. When an
// aircraft reaches a position of the feed (a sample played), that position's time
// stamp is set against the wall clock. Written and read by the run thread.
struct PlaybackLagMeter {
    // The lags in tenths of a second for the median, 0 to 600 s; longer ones count
    // in the last bin, negative ones (a stamp ahead of this clock) in the first.
    static constexpr double kBinSeconds = 0.1;
    static constexpr std::size_t kBins = 6000;

    std::uint64_t positions = 0;
    double minSeconds = 0.0;
    double maxSeconds = 0.0;
    std::array<std::uint32_t, kBins> counts{};
};

extern PlaybackLagMeter g_playbackLagMeter;

// A feed position (time stamp in seconds since 1970) reached at `now` (the same scale).
void gf_notePlaybackLag(PlaybackLagMeter& m, double feedTime, double now);
// The figures since the last call (positions 0: none), and the meter emptied.
PlaybackLagMeter gf_takePlaybackLag(PlaybackLagMeter& m);
// The median lag: the middle of its tenth of a second, within the lowest and the
// highest lag (a median beyond 0 to 600 s reads as the nearest end); 0 without
// positions.
double gf_playbackLagMedian(const PlaybackLagMeter& m);

// The wall clock the lag is measured with: seconds since 1970 with their
// fractions. Tests set a clock of their own; nullptr is the system clock.
using LagClockFn = double (*)();
void gf_setLagClock(LagClockFn clock);
double gf_lagClockNow();

// The frame handler's time inside the queue lock, for frames that sent position
// blocks. Written by the SimConnect thread, read by the run thread.
struct FrameLockMeter {
    // Buckets: 1 us wide below 100 us, 10 us below 1 ms, 100 us below 10 ms, then one.
    static constexpr std::size_t kBuckets = 100 + 90 + 90 + 1;
    std::array<std::atomic<std::uint32_t>, kBuckets> counts{};
    std::atomic<std::int64_t> maxNs{0};
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> blocks{0};
};

extern FrameLockMeter g_frameLockMeter;

void gf_noteFrameLock(FrameLockMeter& m, std::chrono::nanoseconds held, std::size_t blocks);

struct FrameLockFigures {
    std::uint64_t frames = 0;
    double meanBlocks = 0.0;
    // Upper bounds of the buckets holding the 50th and 99th percentile, microseconds.
    double p50Us = 0.0;
    double p99Us = 0.0;
    double maxUs = 0.0;
};

// The figures since the last call, and the meter emptied.
FrameLockFigures gf_takeFrameLockFigures(FrameLockMeter& m);

}  // namespace clv
