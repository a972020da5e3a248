// simstandin: a stand-in for the flight simulator's SimConnect side.
//
//   simstandin [--scenario FILE] [--port N] [--control-port N] [--community DIR] [--title TITLE]...
//   simstandin dump [--control-port N]
//   simstandin cmd '{"cmd": "status"}' [--control-port N]
//   simstandin map --out FILE.svg [--control-port N] [--lat DEG --lon DEG] [--radius-nm NM]
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "platform/simconnect.h"
#include "tools/simstandin/standin.h"
#include "tools/simstandin/track_map.h"

namespace {

using clv::standin::SimStandIn;
using nlohmann::json;

// A command line the tool cannot take: the error and the usage. Any other failure
// (no stand-in on the port, a file not written) is told alone.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const char* kUsage =
    "usage: simstandin [--scenario FILE] [--port N] [--control-port N] [--community DIR] [--title TITLE]...\n"
    "       simstandin dump [--control-port N]\n"
    "       simstandin cmd JSON [--control-port N]\n"
    "       simstandin map --out FILE.svg [--control-port N] [--lat DEG --lon DEG] [--radius-nm NM]\n"
    "Ports: --port (default $CLV_SIMCONNECT_PORT, else 50500), --control-port (default\n"
    "$CLV_SIMSTANDIN_CONTROL_PORT, else 50501); 0 takes a free port. The first line printed\n"
    "names the ports taken.\n";

std::uint16_t lf_port(std::string_view text) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value > 65535) {
        throw UsageError(fmt::format("not a port number: {}", text));
    }
    return static_cast<std::uint16_t>(value);
}

std::uint16_t lf_defaultControlPort() {
    const char* text = std::getenv(clv::standin::kControlPortVariable);
    if (text != nullptr && *text != '\0') return lf_port(text);
    return clv::standin::kDefaultControlPort;
}

int lf_serve(const std::vector<std::string>& args) {
    clv::standin::StandInOptions options;
    options.simPort = gf_simConnectPort();
    options.controlPort = lf_defaultControlPort();
    std::string scenarioFile;
    std::string community;
    std::vector<std::string> titles;
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(fmt::format("{} needs a value", args[i]));
            return args[++i];
        };
        if (args[i] == "--scenario") scenarioFile = value();
        else if (args[i] == "--port") options.simPort = lf_port(value());
        else if (args[i] == "--control-port") options.controlPort = lf_port(value());
        else if (args[i] == "--community") community = value();
        else if (args[i] == "--title") titles.push_back(value());
        else throw UsageError(fmt::format("unknown argument {}", args[i]));
    }
    if (!scenarioFile.empty()) options.scenario = clv::standin::gf_readScenarioFile(scenarioFile);
    if (!community.empty()) options.scenario.communityFolder = community;
    for (auto& t : titles) options.scenario.installed.push_back(clv::standin::InstalledTitle{t});

    // Signals are taken by sigtimedwait below, never by a handler on some thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    SimStandIn standIn;
    standIn.start(options);
    std::printf("simstandin: simconnect port %u, control port %u\n", standIn.simPort(), standIn.controlPort());
    std::fflush(stdout);
    timespec wait{0, 200 * 1000 * 1000};
    while (standIn.running() && !standIn.shutdownRequested()) {
        if (sigtimedwait(&signals, nullptr, &wait) > 0) break;
    }
    standIn.stop();
    std::printf("simstandin: stopped\n");
    return 0;
}

std::uint16_t lf_controlPortArgument(const std::vector<std::string>& args, std::size_t from) {
    std::uint16_t port = lf_defaultControlPort();
    for (std::size_t i = from; i < args.size(); ++i) {
        if (args[i] == "--control-port" && i + 1 < args.size()) {
            port = lf_port(args[++i]);
        } else {
            throw UsageError(fmt::format("unknown argument {}", args[i]));
        }
    }
    return port;
}

int lf_reply(const json& reply);

double lf_number(const std::string& text) {
    std::size_t used = 0;
    double value = 0.0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty()) throw UsageError(fmt::format("not a number: {}", text));
    return value;
}

// The map of the user aircraft and every AI aircraft's track, written as SVG.
int lf_map(const std::vector<std::string>& args) {
    std::uint16_t port = lf_defaultControlPort();
    std::string out;
    clv::standin::MapView view;
    for (std::size_t i = 1; i < args.size(); ++i) {
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(fmt::format("{} needs a value", args[i]));
            return args[++i];
        };
        if (args[i] == "--out") out = value();
        else if (args[i] == "--control-port") port = lf_port(value());
        else if (args[i] == "--lat") view.latitude = lf_number(value());
        else if (args[i] == "--lon") view.longitude = lf_number(value());
        else if (args[i] == "--radius-nm") view.radiusNm = lf_number(value());
        else throw UsageError(fmt::format("unknown argument {}", args[i]));
    }
    if (out.empty()) throw UsageError("map needs --out FILE.svg");
    if (view.latitude.has_value() != view.longitude.has_value()) throw UsageError("--lat and --lon go together");
    if (view.radiusNm && !(*view.radiusNm > 0.0)) throw UsageError("--radius-nm is above 0");
    json reply = clv::standin::gf_standInCommand(port, json{{"cmd", "history"}});
    if (lf_reply(reply) != 0) return 1;
    // The tracks hold only aircraft that moved; static parked ones come from the objects.
    json objects = clv::standin::gf_standInCommand(port, json{{"cmd", "objects"}, {"ai_only", true}});
    if (lf_reply(objects) != 0) return 1;
    reply["objects"] = std::move(objects["objects"]);
    const std::string svg = clv::standin::gf_trackMapSvg(reply, view);
    std::FILE* file = std::fopen(out.c_str(), "wb");
    if (file == nullptr) throw std::runtime_error(fmt::format("cannot write {}: {}", out, std::strerror(errno)));
    const bool written = std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
    if (std::fclose(file) != 0 || !written) throw std::runtime_error(fmt::format("cannot write {}", out));
    std::printf("simstandin: map of %zu aircraft written to %s\n", clv::standin::gf_mapAircraftCount(reply), out.c_str());
    return 0;
}

int lf_reply(const json& reply) {
    if (!reply.value("ok", false)) {
        std::fprintf(stderr, "simstandin: %s\n", reply.value("error", std::string("failed")).c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!args.empty() && args[0] == "dump") {
            json reply = clv::standin::gf_standInCommand(lf_controlPortArgument(args, 1), json{{"cmd", "objects"}});
            if (lf_reply(reply) != 0) return 1;
            std::fputs(clv::standin::gf_formatObjectDump(reply["objects"]).c_str(), stdout);
            return 0;
        }
        if (!args.empty() && args[0] == "map") return lf_map(args);
        if (!args.empty() && args[0] == "cmd") {
            if (args.size() < 2) throw UsageError("cmd needs a JSON command");
            const json command = json::parse(args[1], nullptr, false);
            if (!command.is_object()) {
                throw UsageError(fmt::format("cmd takes a JSON object such as '{{\"cmd\": \"status\"}}', not {}", args[1]));
            }
            json reply = clv::standin::gf_standInCommand(lf_controlPortArgument(args, 2), command);
            std::printf("%s\n", reply.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
            return lf_reply(reply);
        }
        return lf_serve(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "simstandin: %s\n%s", e.what(), kUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "simstandin: %s\n", e.what());
        return 1;
    }
}
