#include "core/run_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace clv {

namespace {

double lf_seconds(MeterClock::duration d) { return std::chrono::duration<double>(d).count(); }

std::size_t lf_bucket(std::int64_t us) {
    if (us < 0) return 0;
    if (us < 100) return static_cast<std::size_t>(us);
    if (us < 1000) return 100 + static_cast<std::size_t>((us - 100) / 10);
    if (us < 10000) return 190 + static_cast<std::size_t>((us - 1000) / 100);
    return FrameLockMeter::kBuckets - 1;
}

double lf_bucketTop(std::size_t i, double maxUs) {
    if (i < 100) return static_cast<double>(i + 1);
    if (i < 190) return 110.0 + 10.0 * static_cast<double>(i - 100);
    if (i < 280) return 1100.0 + 100.0 * static_cast<double>(i - 190);
    return maxUs;
}

}  // namespace

FrameLockMeter g_frameLockMeter;
PlaybackLagMeter g_playbackLagMeter;

namespace {
std::atomic<LagClockFn> g_lagClock{nullptr};
}  // namespace

bool gf_measuring() {
    static const bool on = [] {
        const char* value = std::getenv("CLV_MEASURE");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return on;
}

void gf_noteTickStart(TickMeter& m, MeterClock::time_point scheduled, MeterClock::time_point start) {
    if (!m.started) {
        m.started = true;
        m.windowStart = start;
        m.secondStart = start;
    }
    // A long stall closes many seconds at once; the count of the rest is the same.
    constexpr auto kSecond = std::chrono::seconds(1);
    if (start - m.secondStart >= kSecond) {
        m.minTicksPerSecond = std::min(m.minTicksPerSecond, m.ticksThisSecond);
        m.ticksThisSecond = 0;
        m.secondStart += kSecond;
        if (start - m.secondStart >= kSecond) {
            m.minTicksPerSecond = 0;
            m.secondStart += (start - m.secondStart) / kSecond * kSecond;
        }
    }
    ++m.ticksThisSecond;
    ++m.ticks;
    if (start - scheduled > TickMeter::kPeriod) ++m.slips;
}

void gf_noteTickEnd(TickMeter& m, MeterClock::time_point start, MeterClock::time_point end) {
    if (end > start) m.busy += end - start;
}

TickFigures gf_takeTickFigures(TickMeter& m, MeterClock::time_point now) {
    TickFigures f;
    if (!m.started) return f;
    const MeterClock::duration window = now - m.windowStart;
    f.seconds = lf_seconds(window);
    if (f.seconds > 0.0) {
        f.ticksPerSecond = static_cast<double>(m.ticks) / f.seconds;
        f.busyShare = lf_seconds(m.busy) / f.seconds;
    }
    // The second that is still open counts once it is whole.
    std::uint32_t minimum = m.minTicksPerSecond;
    if (now - m.secondStart >= std::chrono::seconds(1)) minimum = std::min(minimum, m.ticksThisSecond);
    f.minTicksPerSecond = minimum != std::numeric_limits<std::uint32_t>::max()
                              ? minimum
                              : static_cast<std::uint32_t>(f.ticksPerSecond + 0.5);
    f.slips = m.slips;
    m.windowStart = now;
    m.secondStart = now;
    m.ticksThisSecond = 0;
    m.minTicksPerSecond = std::numeric_limits<std::uint32_t>::max();
    m.ticks = 0;
    m.slips = 0;
    m.busy = {};
    return f;
}

void gf_notePlaybackLag(PlaybackLagMeter& m, double feedTime, double now) {
    const double lag = now - feedTime;
    if (m.positions == 0 || lag < m.minSeconds) m.minSeconds = lag;
    if (m.positions == 0 || lag > m.maxSeconds) m.maxSeconds = lag;
    ++m.positions;
    const double bin = std::floor(lag / PlaybackLagMeter::kBinSeconds);
    std::size_t i = 0;
    if (bin >= static_cast<double>(PlaybackLagMeter::kBins - 1)) {
        i = PlaybackLagMeter::kBins - 1;
    } else if (bin > 0.0) {
        i = static_cast<std::size_t>(bin);
    }
    ++m.counts[i];
}

double gf_playbackLagMedian(const PlaybackLagMeter& m) {
    if (m.positions == 0) return 0.0;
    const std::uint64_t rank = (m.positions + 1) / 2;
    std::uint64_t seen = 0;
    std::size_t i = 0;
    for (; i + 1 < m.counts.size(); ++i) {
        seen += m.counts[i];
        if (seen >= rank) break;
    }
    const double middle = (static_cast<double>(i) + 0.5) * PlaybackLagMeter::kBinSeconds;
    return std::clamp(middle, m.minSeconds, m.maxSeconds);
}

PlaybackLagMeter gf_takePlaybackLag(PlaybackLagMeter& m) {
    const PlaybackLagMeter taken = m;
    m = PlaybackLagMeter{};
    return taken;
}

void gf_setLagClock(LagClockFn clock) { g_lagClock.store(clock); }

double gf_lagClockNow() {
    if (LagClockFn clock = g_lagClock.load()) return clock();
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void gf_noteFrameLock(FrameLockMeter& m, std::chrono::nanoseconds held, std::size_t blocks) {
    const std::int64_t ns = held.count();
    m.counts[lf_bucket(ns / 1000)].fetch_add(1, std::memory_order_relaxed);
    std::int64_t seen = m.maxNs.load(std::memory_order_relaxed);
    while (ns > seen && !m.maxNs.compare_exchange_weak(seen, ns, std::memory_order_relaxed)) {
    }
    m.frames.fetch_add(1, std::memory_order_relaxed);
    m.blocks.fetch_add(blocks, std::memory_order_relaxed);
}

FrameLockFigures gf_takeFrameLockFigures(FrameLockMeter& m) {
    std::array<std::uint32_t, FrameLockMeter::kBuckets> counts{};
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        counts[i] = m.counts[i].exchange(0, std::memory_order_relaxed);
        total += counts[i];
    }
    FrameLockFigures f;
    f.maxUs = static_cast<double>(m.maxNs.exchange(0, std::memory_order_relaxed)) / 1000.0;
    const std::uint64_t frames = m.frames.exchange(0, std::memory_order_relaxed);
    const std::uint64_t blocks = m.blocks.exchange(0, std::memory_order_relaxed);
    f.frames = frames;
    if (frames > 0) f.meanBlocks = static_cast<double>(blocks) / static_cast<double>(frames);
    if (total == 0) return f;
    // The smallest bucket top below which at least the share lies.
    auto percentile = [&](std::uint64_t numerator) {
        const std::uint64_t rank = (total * numerator + 99) / 100;
        std::uint64_t seen = 0;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            seen += counts[i];
            if (seen >= rank) return std::min(lf_bucketTop(i, f.maxUs), f.maxUs);
        }
        return f.maxUs;
    };
    f.p50Us = percentile(50);
    f.p99Us = percentile(99);
    return f;
}

}  // namespace clv
