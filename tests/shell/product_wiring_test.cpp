// The program as built, with its real simulator link, RealTraffic link, feed
// readers and livery data, against the stand-in simulator and the stand-in
// RealTraffic, each run as a process of its own on free ports.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include "support/temp_folder.h"
#include "support/zip_maker.h"

extern char** environ;

namespace clv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The limits only guard against a hang; a sound run takes a few seconds.
constexpr auto kStepLimit = 120s;
constexpr auto kExitLimit = 60s;

fs::path lf_testData() { return fs::path(__FILE__).parent_path().parent_path() / "data"; }

// The stand-ins are built beside the program, in the build tree's tools folder.
fs::path lf_toolPath(const std::string& name) {
    return fs::path(CLV_PROGRAM_PATH).parent_path().parent_path() / "tools" / name / name;
}

// A port that nothing on this machine holds at the moment.
std::uint16_t lf_freePort(int type) {
    const int fd = ::socket(AF_INET, type, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool lf_eventually(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string lf_readIfThere(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec) ? readFile(path) : std::string();
}

// One child process with its output in a file; killed if the test leaves it running.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

    // Standard output and error go to `output`, or error to `errors` when given.
    void start(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder,
               const std::map<std::string, std::string>& environment, const fs::path& output,
               const fs::path& errors = {}) {
        ASSERT_TRUE(fs::exists(program)) << program << " is not built";
        output_ = output;
        // Everything the child needs is made before the fork: after it, only exec.
        std::vector<std::string> entries;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            const std::string name = entry.substr(0, entry.find('='));
            if (!environment.contains(name)) entries.push_back(entry);
        }
        for (const auto& [name, value] : environment) entries.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& entry : entries) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> args{program.string()};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string folderText = folder.string();
        const std::string outputText = output.string();
        const std::string errorsText = errors.empty() ? outputText : errors.string();

        pid_ = ::fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            const int out = ::open(outputText.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0) ::_exit(125);
            const int err = errorsText == outputText ? out : ::open(errorsText.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err < 0 || ::dup2(err, STDERR_FILENO) < 0) ::_exit(125);
            if (::chdir(folderText.c_str()) != 0) ::_exit(126);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
    }

    // The exit status (a signal as its negative number); none while it still runs.
    std::optional<int> waitForExit(std::chrono::seconds limit) {
        lf_eventually([this] { return !running(); }, limit);
        return status_;
    }

    void signal(int number) const {
        if (pid_ > 0) ::kill(pid_, number);
    }

    bool running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return false;
    }
    std::string output() const { return lf_readIfThere(output_); }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    fs::path output_;
};

// The positions of the lines in the text, in the order given; npos for one not found.
std::vector<std::size_t> lf_positions(const std::string& text, const std::vector<std::string>& lines) {
    std::vector<std::size_t> at;
    for (const auto& line : lines) at.push_back(text.find(line));
    return at;
}

// The first "Qs121=" line the stand-in RealTraffic received.
std::optional<std::string> lf_firstQs121(const std::string& received) {
    std::istringstream in(received);
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("Qs121=")) return line;
    }
    return std::nullopt;
}

std::vector<double> lf_numbers(const std::string& fields) {
    std::vector<double> numbers;
    std::istringstream in(fields);
    for (std::string field; std::getline(in, field, ';');) numbers.push_back(std::stod(field));
    return numbers;
}

// The folders a user has: the program's working folder with "docs", the per-user
// folders, the simulator with its Community folder, RealTraffic's marker file,
// and a download server (a plain folder) holding dbase.zip.
class ProductRun : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub : {"home", "config", "data", "runtime", "work/docs", "work/input", "server", "logs"}) {
            fs::create_directories(folder / sub);
        }
        startPrivateDisplay();
        if (display.empty()) GTEST_SKIP() << "needs Xvfb or a display";
        work = folder / "work";
        copyPlainCommunity(folder / "sim" / "Community");
        makeZip(folder / "server" / "dbase.zip", {{"dbase.xml", readFile(lf_testData() / "dbase" / "dbase.xml")}});
        folder.write("config/InsideSystems/RealTraffic.jar", "");
    }

    void TearDown() override {
        // Asked, so that it removes its lock file and socket.
        displayServer.signal(SIGTERM);
        displayServer.waitForExit(kExitLimit);
    }

    // The program's window on a display of its own: other tests that look for
    // its window by name on the shared display must not find this one.
    void startPrivateDisplay() {
        const fs::path xvfb = "/usr/bin/Xvfb";
        if (!fs::exists(xvfb)) {
            if (const char* shared = std::getenv("DISPLAY")) display = shared;
            return;
        }
        // Xvfb writes the number of the free display it took to its standard output.
        displayServer.start(xvfb, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                            folder.path(), {}, folder / "logs" / "xvfb.txt", folder / "logs" / "xvfb-errors.txt");
        lf_eventually(
            [&] {
                const std::string text = lf_readIfThere(folder / "logs" / "xvfb.txt");
                if (text.empty() || text.back() != '\n') return !displayServer.running();
                display = ":" + text.substr(0, text.size() - 1);
                return true;
            },
            kStepLimit);
    }

    // The fixture's aircraft.cfg files as they are; those stored in other
    // encodings under other names are left out (the livery scan tests cover them).
    void copyPlainCommunity(const fs::path& target) {
        const fs::path source = lf_testData() / "community";
        for (const auto& entry : fs::recursive_directory_iterator(source)) {
            if (!entry.is_regular_file() || entry.path().filename() != "aircraft.cfg") continue;
            const fs::path to = target / fs::relative(entry.path(), source);
            fs::create_directories(to.parent_path());
            fs::copy_file(entry.path(), to);
        }
    }

    void writeParameters(const std::map<std::string, std::string>& settings) {
        pugi::xml_document document;
        pugi::xml_node root = document.append_child("parameters");
        for (const auto& [key, value] : settings) {
            pugi::xml_node p = root.append_child("parameter");
            p.append_attribute("name") = key.c_str();
            p.append_attribute("value") = value.c_str();
        }
        fs::create_directories(folder / "config" / "Calvorinth");
        ASSERT_TRUE(document.save_file((folder / "config" / "Calvorinth" / "parameters.xml").c_str()));
    }

    std::map<std::string, std::string> userFolders() const {
        return {{"HOME", (folder / "home").string()},
                {"XDG_CONFIG_HOME", (folder / "config").string()},
                {"XDG_DATA_HOME", (folder / "data").string()},
                {"XDG_RUNTIME_DIR", (folder / "runtime").string()},
                {"CALVORINTH_SERVER_URL", "file://" + (folder / "server").string() + "/"}};
    }

    std::string log() const { return lf_readIfThere(work / "Log.txt"); }

    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }

    // The stand-in simulator's answer to a control command.
    nlohmann::json simCommand(const std::string& command) const {
        const std::string line = lf_toolPath("simstandin").string() + " cmd '" + command + "' --control-port " +
                                 std::to_string(simControlPort);
        std::string text;
        if (FILE* pipe = ::popen(line.c_str(), "r")) {
            char buffer[4096];
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
            ::pclose(pipe);
        }
        return nlohmann::json::parse(text, nullptr, false);
    }

    TempFolder folder;
    fs::path work;
    std::uint16_t simControlPort = 0;
    ChildProcess displayServer;  // outlives the test's own processes
    std::string display;
};

TEST_F(ProductRun, RunsTheTrafficEngineAgainstTheStandInsAndClosesEverythingOnRequest) {
    // The user aircraft stands at Zurich; its model is a type the reference data knows.
    constexpr double kUserLat = 47.4581;
    constexpr double kUserLon = 8.5481;
    folder.write("scenario.json", R"({"simulator": "KittyHawk", "version": [11, 0, 282174, 999],
        "user": {"lat": 47.4581, "lon": 8.5481, "agl_ft": 0, "on_ground": true, "heading_deg": 280,
                 "title": "Airbus A320 Asobo", "atc_model": "A320"}})");
    ChildProcess sim;
    sim.start(lf_toolPath("simstandin"), {"--scenario", (folder / "scenario.json").string(), "--port", "0",
                                          "--control-port", "0"},
              folder.path(), {}, folder / "logs" / "simstandin.txt");
    std::uint16_t simPort = 0;
    ASSERT_TRUE(lf_eventually(
        [&] {
            unsigned a = 0;
            unsigned b = 0;
            if (std::sscanf(sim.output().c_str(), "simstandin: simconnect port %u, control port %u", &a, &b) != 2) {
                return false;
            }
            simPort = static_cast<std::uint16_t>(a);
            simControlPort = static_cast<std::uint16_t>(b);
            return true;
        },
        kStepLimit))
        << sim.output();

    const std::uint16_t tcpPort = lf_freePort(SOCK_STREAM);
    const std::uint16_t trafficPort = lf_freePort(SOCK_DGRAM);
    const std::uint16_t qnhPort = lf_freePort(SOCK_DGRAM);
    ASSERT_TRUE(tcpPort != 0 && trafficPort != 0 && qnhPort != 0);
    folder.write("feed.txt", R"(
aircraft hexid=4921362 callsign=SWR100 type=A320 reg=HB-JLT from=LSGG to=LSZH category=A3
  0  47.4800 8.5000  3000 160 270 -700 air
  1  47.4790 8.5030  2990 160 270 -700 air
  2  47.4780 8.5060  2980 160 270 -700 air
)");
    ChildProcess feed;
    feed.start(lf_toolPath("feedstandin"),
               {"--script", (folder / "feed.txt").string(), "--loop", "--traffic-port", std::to_string(trafficPort),
                "--qnh", "1009", "--qnh-every", "1", "--qnh-port", std::to_string(qnhPort), "--tcp",
                std::to_string(tcpPort), "--once"},
               folder.path(), {}, folder / "logs" / "feedstandin.txt");

    writeParameters({{"MSFS_2020", "true"},
                     {"MSFS_INSTALL_PATH", (folder / "sim").string()},
                     {"PORT_NUMBER", std::to_string(tcpPort)},
                     {"SCAN_LIVERIES", "true"},
                     {"LIG_AUTOMATIC", "true"}});
    auto environment = userFolders();
    environment["DISPLAY"] = display;
    environment["CLV_SIMCONNECT_PORT"] = std::to_string(simPort);
    environment["CLV_TRAFFIC_PORT"] = std::to_string(trafficPort);
    environment["CLV_QNH_PORT"] = std::to_string(qnhPort);
    ChildProcess program;
    program.start(CLV_PROGRAM_PATH, {}, work, environment, folder / "logs" / "calvorinth.txt");

    // The engine's tick runs once the flight runs: every 20th tick it asks the
    // simulator for the aircraft within the range, which the stand-in logs.
    const auto engineAsked = [&] {
        const nlohmann::json calls = simCommand(R"({"cmd":"log","call":"SimConnect_RequestDataOnSimObjectType"})");
        return calls.dump().find("SimConnect_RequestDataOnSimObjectType") != std::string::npos;
    };
    ASSERT_TRUE(lf_eventually(
        [&] { return engineAsked() || !program.running() || !feed.running() || !sim.running(); }, kStepLimit))
        << log() << "\n---- feedstandin:\n" << feed.output() << "\n---- simstandin:\n" << sim.output();
    ASSERT_TRUE(engineAsked()) << log() << program.output() << "\n---- feedstandin:\n" << feed.output();
    EXPECT_TRUE(fs::is_directory(folder / "config" / "Calvorinth" / "orig_dest"));
    EXPECT_TRUE(fs::exists(work / "output" / "LiveriesScanned.xml"));

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(kExitLimit), std::optional<int>(0)) << program.output();

    const std::string text = log();
    // Each step once, in the order of a run.
    const std::vector<std::string> steps{
        "RealTraffic detected at this PC",
        "Airports and parking not available in this build, the run goes on without a park airport",
        "liveries scan automatic starts",
        "liveries scan ends",
        "Add-on airport scan not available in this build",
        "MSFS 2020 (11.0.282174.999) connected",
        // The simulator link took the type's half wing span and category from the reference data.
        "SimConnect: User aircraft model: A320, half wing span: 17.9 meter, category: Large",
        "RealTraffic connected",
        "QNH Reader connected",
        "Traffic Reader connected",
        // The close button stores no reason.
        "Exiting: NOT YET SET",
        "SimConnect closed ok",
    };
    const auto at = lf_positions(text, steps);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        ASSERT_NE(at[i], std::string::npos) << "missing: " << steps[i] << "\n" << text;
        if (i > 0) {
            EXPECT_LT(at[i - 1], at[i]) << steps[i - 1] << " / " << steps[i];
        }
    }
    EXPECT_EQ(text.find("No traffic in this region?"), std::string::npos) << "the traffic reader received nothing";
    EXPECT_EQ(text.find("not available in this build", at.back()), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "config" / "Calvorinth" / "orig_dest"));

    // The stand-in RealTraffic: asked for its version, told where the user aircraft is, told to exit.
    const std::string received = feed.output();
    const auto versionAt = received.find("\nQs999=version\n");
    const auto exitAt = received.find("\nexit\n");
    ASSERT_NE(versionAt, std::string::npos) << received;
    const auto qs121 = lf_firstQs121(received);
    ASSERT_TRUE(qs121.has_value()) << received;
    EXPECT_LT(versionAt, received.find(*qs121));
    EXPECT_LT(received.find(*qs121), exitAt);
    // pitch, bank, heading, altitude, speed, latitude and longitude in radians (6 decimals).
    const std::vector<double> fields = lf_numbers(qs121->substr(6));
    ASSERT_EQ(fields.size(), 7u) << *qs121;
    EXPECT_NEAR(fields[5], kUserLat * std::numbers::pi / 180.0, 1e-6);
    EXPECT_NEAR(fields[6], kUserLon * std::numbers::pi / 180.0, 1e-6);
    EXPECT_NEAR(fields[2], 280.0 * std::numbers::pi / 180.0, 1e-6);

    // The stand-in simulator saw the program's connection end.
    const nlohmann::json status = simCommand(R"({"cmd":"status"})");
    ASSERT_TRUE(status.is_object()) << status;
    EXPECT_EQ(status.value("clients", -1), 0) << status;
    const nlohmann::json closes = simCommand(R"({"cmd":"log","call":"SimConnect_Close"})");
    EXPECT_NE(closes.dump().find("SimConnect_Close"), std::string::npos) << closes;

    for (ChildProcess* standIn : {&feed, &sim}) {
        standIn->signal(SIGTERM);
        EXPECT_EQ(standIn->waitForExit(kExitLimit), std::optional<int>(0));
    }
}

}  // namespace
}  // namespace clv::test
