// feedstandin: stands in for RealTraffic on a machine without it.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "core/files.h"
#include "tools/feedstandin/feed_sender.h"
#include "tools/feedstandin/load_scenario.h"
#include "tools/feedstandin/rt_client.h"
#include "tools/feedstandin/track_script.h"

namespace {

std::atomic<bool> g_stop{false};

void lf_onSignal(int) { g_stop = true; }

// A command line the tool cannot take: the error and the usage. A failure at run
// time (a file not read, a script line it cannot take) is told alone.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const char* kUsage = R"(usage: feedstandin [options]

Stands in for RealTraffic: sends traffic lines (UDP) and QNH datagrams (UDP) and
connects to the program's TCP link as RealTraffic's client.

Traffic:
  --script FILE        turn a track script into traffic lines and send them
  --replay FILE        send a file of traffic lines, timed by their time stamps
  --restamp            give replayed lines time stamps from now on
  --speed X            play X times faster (default 1)
  --loop               start the lines again when they are done
  --print              print the lines instead of sending them
Load scenario:
  --load N             N live aircraft around an airport, each on its road (approach,
                       landing, roll-out, taxi-in, parked, push back, taxi-out,
                       take-off, climb, cruise), one line each every 1 to 3 s
  --duration S         length of the load scenario in seconds (default 1800)
  --airport LAT,LON,FT airport reference point and elevation (default Zurich)
  --runway DEG         runway heading (default 280)
  --seed N             the scenario's random seed (default 1)
  --host ADDR          IPv4 address to send to (default 127.0.0.1)
  --traffic-port N     traffic port (default 49005)
QNH:
  --qnh VALUE          send {"QNH": VALUE}; VALUE is JSON: 1013, 1013.6, 2992, "1005"
  --qnh-every S        repeat it every S seconds (default 10)
  --qnh-port N         QNH port (default 49004)
TCP link:
  --tcp PORT           connect to the program's link on PORT (its PORT_NUMBER, 10747)
  --rt-version TEXT    version to answer (default 9.0.1)
  --rt-level N         level to answer, 2 professional (default 2)
  --drop-after N       drop the first link after N "Qs121=" lines
  --reconnect-delay S  seconds before connecting again (default 1)
  --once               do not connect again after the link ends
The tool runs until its lines are sent; with --tcp, --qnh or --loop until Ctrl-C.
)";

struct Options {
    std::optional<std::string> script;
    std::optional<std::string> replay;
    std::optional<clv::LoadOptions> load;
    bool restamp = false;
    double speed = 1.0;
    bool loop = false;
    bool print = false;
    clv::FeedTarget target;
    std::optional<std::string> qnh;
    double qnhEvery = 10.0;
    std::optional<int> tcpPort;
    clv::RtClientOptions rt;
};

double lf_number(const std::string& text, const char* option) {
    try {
        std::size_t used = 0;
        double v = std::stod(text, &used);
        if (used == text.size()) return v;
    } catch (const std::exception&) {
    }
    throw UsageError(fmt::format("{} needs a number, not \"{}\"", option, text));
}

std::uint16_t lf_port(const std::string& text, const char* option) {
    double v = lf_number(text, option);
    if (v < 1 || v > 65535 || v != static_cast<int>(v)) throw UsageError(fmt::format("{}: bad port", option));
    return static_cast<std::uint16_t>(v);
}

Options lf_parse(int argc, char** argv) {
    Options o;
    auto value = [&](int& i) -> std::string {
        if (i + 1 >= argc) throw UsageError(fmt::format("{} needs a value", argv[i]));
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--script") o.script = value(i);
        else if (a == "--replay") o.replay = value(i);
        else if (a == "--load") {
            if (!o.load) o.load.emplace();
            o.load->aircraft = static_cast<int>(lf_number(value(i), "--load"));
        } else if (a == "--duration") {
            if (!o.load) o.load.emplace();
            o.load->seconds = lf_number(value(i), "--duration");
        } else if (a == "--airport") {
            if (!o.load) o.load.emplace();
            const std::string v = value(i);
            const auto c1 = v.find(','), c2 = v.find(',', c1 == std::string::npos ? c1 : c1 + 1);
            if (c1 == std::string::npos || c2 == std::string::npos)
                throw UsageError("--airport needs LAT,LON,FT");
            o.load->latitude = lf_number(v.substr(0, c1), "--airport");
            o.load->longitude = lf_number(v.substr(c1 + 1, c2 - c1 - 1), "--airport");
            o.load->elevation = lf_number(v.substr(c2 + 1), "--airport");
        } else if (a == "--runway") {
            if (!o.load) o.load.emplace();
            o.load->runwayHeading = lf_number(value(i), "--runway");
        } else if (a == "--seed") {
            if (!o.load) o.load.emplace();
            o.load->seed = static_cast<std::uint32_t>(lf_number(value(i), "--seed"));
        }
        else if (a == "--restamp") o.restamp = true;
        else if (a == "--speed") o.speed = lf_number(value(i), "--speed");
        else if (a == "--loop") o.loop = true;
        else if (a == "--print") o.print = true;
        else if (a == "--host") o.target.host = o.rt.host = value(i);
        else if (a == "--traffic-port") o.target.trafficPort = lf_port(value(i), "--traffic-port");
        else if (a == "--qnh") o.qnh = value(i);
        else if (a == "--qnh-every") o.qnhEvery = lf_number(value(i), "--qnh-every");
        else if (a == "--qnh-port") o.target.qnhPort = lf_port(value(i), "--qnh-port");
        else if (a == "--tcp") o.tcpPort = o.rt.port = lf_port(value(i), "--tcp");
        else if (a == "--rt-version") o.rt.version = value(i);
        else if (a == "--rt-level") o.rt.level = static_cast<int>(lf_number(value(i), "--rt-level"));
        else if (a == "--drop-after") o.rt.dropAfterQs121 = static_cast<int>(lf_number(value(i), "--drop-after"));
        else if (a == "--reconnect-delay")
            o.rt.reconnectDelayMs = static_cast<int>(lf_number(value(i), "--reconnect-delay") * 1000);
        else if (a == "--once") o.rt.reconnect = false;
        else if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else
            throw UsageError(fmt::format("unknown option {}", a));
    }
    if ((o.script ? 1 : 0) + (o.replay ? 1 : 0) + (o.load ? 1 : 0) > 1)
        throw UsageError("--script, --replay and --load exclude each other");
    if (o.load && o.load->aircraft < 1) throw UsageError("--load needs at least 1 aircraft");
    if (o.speed <= 0) throw UsageError("--speed must be above 0");
    if (o.qnhEvery <= 0) throw UsageError("--qnh-every must be above 0");
    // The datagram carries the value as it is given: text that is no JSON would
    // make a datagram RealTraffic never sends.
    if (o.qnh && !nlohmann::json::accept(*o.qnh))
        throw UsageError(fmt::format("--qnh takes a JSON value (1013, 1013.6, \"1005\"), not {}", *o.qnh));
    if (!o.script && !o.replay && !o.load && !o.qnh && !o.tcpPort) throw UsageError("nothing to do");
    return o;
}

std::string lf_readFile(const std::string& path) {
    // A folder opens as a stream whose size is no size at all.
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw std::runtime_error(fmt::format("{}: is a folder, not a file", path));
    std::string text;
    std::string failure;
    if (!gf_readTextFile(gf_detectEncoding(path), path, text, failure))
        throw std::runtime_error(fmt::format("{}: {}", path, failure));
    return text;
}

double lf_nowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::vector<clv::TimedLine> lf_lines(const Options& o) {
    if (o.script) {
        const std::string text = lf_readFile(*o.script);
        try {
            return gf_linesOfScript(gf_readTrackScript(text), lf_nowSeconds());
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(fmt::format("{}: {}", *o.script, e.what()));
        }
    }
    if (o.load) {
        std::vector<clv::TimedLine> lines;
        for (clv::LoadLine& l : gf_loadScenario(*o.load, lf_nowSeconds())) lines.push_back(std::move(l.line));
        return lines;
    }
    if (o.replay) {
        std::optional<double> from;
        if (o.restamp) from = lf_nowSeconds();
        return gf_readReplayLines(lf_readFile(*o.replay), from);
    }
    return {};
}

int lf_run(const Options& o) {
    // The lines are stamped from now: they go out from now too, not from when making
    // them ended (the load scenario takes a second or more to make).
    auto stampedAt = std::chrono::steady_clock::now();
    std::vector<clv::TimedLine> lines = lf_lines(o);
    if (o.print) {
        for (const auto& l : lines) fmt::print("{:8.2f} {}\n", l.offset, l.text);
        return 0;
    }
    clv::FeedSender sender(o.target);
    std::mutex printMutex;
    auto print = [&](const std::string& line) {
        std::lock_guard lock(printMutex);
        fmt::print("{}\n", line);
        std::fflush(stdout);
    };

    std::optional<clv::RtClient> client;
    if (o.tcpPort) {
        client.emplace(o.rt, print);
        client->start();
    }
    std::thread qnhThread;
    if (o.qnh) {
        qnhThread = std::thread([&] {
            while (!g_stop.load()) {
                if (!sender.sendQnh(*o.qnh)) print("# QNH datagram not sent");
                const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.qnhEvery);
                while (!g_stop.load() && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    if (!lines.empty()) {
        do {
            std::size_t sent = sender.play(lines, o.speed, g_stop, stampedAt);
            print(fmt::format("# {} traffic line{} sent", sent, sent == 1 ? "" : "s"));
            stampedAt = std::chrono::steady_clock::now();  // the next round starts now
            if (o.restamp && o.loop && !lines.empty()) {
                // Each round looks live again.
                std::string all;
                for (const auto& l : lines) all += l.text + "\n";
                lines = gf_readReplayLines(all, lf_nowSeconds() + lines.front().offset);
            }
        } while (o.loop && !g_stop.load());
    }
    const bool keepRunning = o.tcpPort || o.qnh;
    while (keepRunning && !g_stop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    g_stop = true;
    if (qnhThread.joinable()) qnhThread.join();
    if (client) client->stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, lf_onSignal);
    std::signal(SIGTERM, lf_onSignal);
    Options options;
    try {
        options = lf_parse(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "feedstandin: " << e.what() << "\n\n" << kUsage;
        return 1;
    }
    try {
        return lf_run(options);
    } catch (const std::exception& e) {
        std::cerr << "feedstandin: " << e.what() << "\n";
        return 1;
    }
}
