#include "product_run_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "support/eventually.h"
#include "support/zip_maker.h"

extern char** environ;

namespace clv::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path gf_testData() { return fs::path(__FILE__).parent_path().parent_path() / "data"; }

fs::path gf_toolPath(const std::string& name) {
    return fs::path(CLV_PROGRAM_PATH).parent_path().parent_path() / "tools" / name / name;
}

std::uint16_t gf_freePort(int type) {
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

bool gf_waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    return eventually(condition, limit, 50ms);
}

std::string gf_readIfThere(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec) ? readFile(path) : std::string();
}

// ----- ChildProcess -----

ChildProcess::~ChildProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

void ChildProcess::start(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder,
                         const std::map<std::string, std::string>& environment, const fs::path& output,
                         const fs::path& errors) {
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
        const int err =
            errorsText == outputText ? out : ::open(errorsText.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || ::dup2(err, STDERR_FILENO) < 0) ::_exit(125);
        if (::chdir(folderText.c_str()) != 0) ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
}

std::optional<int> ChildProcess::waitForExit(std::chrono::seconds limit) {
    gf_waitUntil([this] { return !running(); }, limit);
    return status_;
}

void ChildProcess::signal(int number) const {
    if (pid_ > 0) ::kill(pid_, number);
}

bool ChildProcess::waitForStop(std::chrono::seconds limit) {
    bool stopped = false;
    gf_waitUntil(
        [&] {
            if (pid_ <= 0) return true;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG | WUNTRACED) != pid_) return false;
            if (WIFSTOPPED(status)) {
                stopped = true;
            } else {
                pid_ = -1;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            }
            return true;
        },
        limit);
    return stopped;
}

bool ChildProcess::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return false;
}

// ----- ProductRun -----

void ProductRun::SetUp() {
    for (const char* sub : {"home", "config", "data", "runtime", "work/docs", "work/input", "server", "logs"}) {
        fs::create_directories(folder / sub);
    }
    startPrivateDisplay();
    if (display.empty()) GTEST_SKIP() << "needs Xvfb or a display";
    work = folder / "work";
    copyPlainCommunity(folder / "sim" / "Community");
    makeZip(folder / "server" / "dbase.zip", {{"dbase.xml", readFile(gf_testData() / "dbase" / "dbase.xml")}});
    folder.write("config/InsideSystems/RealTraffic.jar", "");
    // The demo's airport reference data, which the start-up checks read.
    const fs::path demoAirports = fs::path(__FILE__).parent_path().parent_path().parent_path() / "demo" / "airports";
    for (const char* name : {"airports_msfs.xml", "airports_msfs_names.xml"}) {
        fs::copy_file(demoAirports / name, work / "input" / name, fs::copy_options::overwrite_existing);
    }
}

void ProductRun::TearDown() {
    // Asked, so that it removes its lock file and socket.
    displayServer.reset();
}

void ProductRun::startPrivateDisplay() {
    // A number of its own (not the first free one), so that a server of another
    // test that is just ending never takes this one's socket with it.
    displayServer = std::make_unique<PrivateDisplay>();
    display = displayServer->name();
    if (display.empty()) {
        if (const char* shared = std::getenv("DISPLAY")) display = shared;
    }
}

void ProductRun::copyPlainCommunity(const fs::path& target) {
    const fs::path source = gf_testData() / "community";
    for (const auto& entry : fs::recursive_directory_iterator(source)) {
        if (!entry.is_regular_file() || entry.path().filename() != "aircraft.cfg") continue;
        const fs::path to = target / fs::relative(entry.path(), source);
        fs::create_directories(to.parent_path());
        fs::copy_file(entry.path(), to);
    }
}

void ProductRun::writeParameters(const std::map<std::string, std::string>& settings) {
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

fs::path ProductRun::writeZurichScenario(std::optional<int> groundElevationFt) {
    nlohmann::json scenario{{"simulator", "KittyHawk"},
                            {"version", {11, 0, 282174, 999}},
                            {"user",
                             {{"lat", kZurichUserLat},
                              {"lon", kZurichUserLon},
                              {"agl_ft", 0},
                              {"on_ground", true},
                              {"heading_deg", 280},
                              {"title", "Airbus A320 Asobo"},
                              {"atc_model", "A320"}}}};
    if (groundElevationFt) {
        scenario["ground_elevation_ft"] = *groundElevationFt;
        scenario["user"]["alt_ft"] = *groundElevationFt;
    }
    folder.write("scenario.json", scenario.dump());
    return folder / "scenario.json";
}

ProductRun::FeedPorts ProductRun::freeFeedPorts() {
    return FeedPorts{gf_freePort(SOCK_STREAM), gf_freePort(SOCK_DGRAM), gf_freePort(SOCK_DGRAM)};
}

void ProductRun::startFeedLink(ChildProcess& link, const FeedPorts& ports, bool once, const std::string& qnh) {
    std::vector<std::string> arguments{"--qnh", qnh, "--qnh-every", "1", "--qnh-port", std::to_string(ports.qnh),
                                       "--tcp", std::to_string(ports.tcp)};
    if (once) arguments.push_back("--once");
    link.start(gf_toolPath("feedstandin"), arguments, folder.path(), {}, folder / "logs" / "feedstandin_link.txt");
}

std::string ProductRun::report(std::initializer_list<std::pair<const char*, const ChildProcess*>> processes) const {
    std::string text = "\n---- Log.txt:\n" + log();
    for (const auto& [name, process] : processes) text += "\n---- " + std::string(name) + ":\n" + process->output();
    return text;
}

std::map<std::string, std::string> ProductRun::userFolders() const {
    return {{"HOME", (folder / "home").string()},
            {"XDG_CONFIG_HOME", (folder / "config").string()},
            {"XDG_DATA_HOME", (folder / "data").string()},
            {"XDG_RUNTIME_DIR", (folder / "runtime").string()},
            {"CALVORINTH_SERVER_URL", "file://" + (folder / "server").string() + "/"}};
}

void ProductRun::startSimStandIn(ChildProcess& sim, const std::vector<std::string>& arguments) {
    std::vector<std::string> all = arguments;
    all.insert(all.end(), {"--port", "0", "--control-port", "0"});
    sim.start(gf_toolPath("simstandin"), all, folder.path(), {}, folder / "logs" / "simstandin.txt");
    // Its first line names the ports it took.
    ASSERT_TRUE(gf_waitUntil(
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
}

void ProductRun::startProgram(ChildProcess& program, std::uint16_t trafficPort, std::uint16_t qnhPort) {
    auto environment = userFolders();
    environment["DISPLAY"] = display;
    environment["CLV_SIMCONNECT_PORT"] = std::to_string(simPort);
    environment["CLV_TRAFFIC_PORT"] = std::to_string(trafficPort);
    environment["CLV_QNH_PORT"] = std::to_string(qnhPort);
    program.start(CLV_PROGRAM_PATH, {}, work, environment, folder / "logs" / "calvorinth.txt");
}

nlohmann::json ProductRun::simCommand(const std::string& command) const {
    const std::string line =
        gf_toolPath("simstandin").string() + " cmd '" + command + "' --control-port " + std::to_string(simControlPort);
    std::string text;
    if (FILE* pipe = ::popen(line.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        ::pclose(pipe);
    }
    return nlohmann::json::parse(text, nullptr, false);
}

// ----- ControlLink -----

ControlLink::ControlLink(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

ControlLink::~ControlLink() {
    if (fd_ >= 0) ::close(fd_);
}

nlohmann::json ControlLink::command(const nlohmann::json& request) {
    if (fd_ < 0) return nlohmann::json::value_t::discarded;
    const std::string line = request.dump() + "\n";
    for (std::size_t sent = 0; sent < line.size();) {
        const ssize_t n = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return nlohmann::json::value_t::discarded;
        sent += static_cast<std::size_t>(n);
    }
    const auto end = std::chrono::steady_clock::now() + 10s;
    for (;;) {
        if (const auto newline = pending_.find('\n'); newline != std::string::npos) {
            const std::string answer = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return nlohmann::json::parse(answer, nullptr, false);
        }
        if (std::chrono::steady_clock::now() > end) return nlohmann::json::value_t::discarded;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) return nlohmann::json::value_t::discarded;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

std::filesystem::path gf_demoFolder() {
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "demo";
}

void DemoDataRun::writeDemoParameters(std::uint16_t linkPort, const std::map<std::string, std::string>& extra) {
    std::map<std::string, std::string> settings{{"MSFS_2020", "true"},
                                                {"MSFS_INSTALL_PATH", (folder / "demo_sim").string()},
                                                {"PORT_NUMBER", std::to_string(linkPort)},
                                                {"SCAN_LIVERIES", "true"},
                                                {"LIG_AUTOMATIC", "true"},
                                                {"SCAN_AIRPORTS", "false"},
                                                {"AUTO_RANGE", "false"},
                                                {"LATERAL_RANGE", "30"},
                                                {"RANDOM", "false"}};
    for (const auto& [key, value] : extra) settings[key] = value;
    writeParameters(settings);
}

void DemoDataRun::startDemoSimStandIn(ChildProcess& sim, const fs::path& scenario) {
    startSimStandIn(sim, {"--scenario", scenario.string(), "--community", (folder / "demo_sim" / "Community").string()});
}

void DemoDataRun::SetUp() {
    ProductRun::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fs::create_directories(folder / "demo_sim");
    fs::copy(gf_demoFolder() / "Community", folder / "demo_sim" / "Community", fs::copy_options::recursive);
    const std::string dbasetool = gf_toolPath("dbasetool").string();
    ASSERT_TRUE(fs::exists(dbasetool)) << dbasetool << " is not built";
    const fs::path server = folder / "server";
    for (const auto& [make, listing, name] :
         {std::tuple{"xml", "dbase_listing.txt", "dbase"}, std::tuple{"aig-xml", "aig_listing.txt", "AIG-regcodes"}}) {
        const fs::path xml = folder / "logs" / (std::string(name) + ".xml");
        const std::string line = fmt::format("'{}' {} '{}' '{}' && '{}' zip '{}' '{}'", dbasetool, make,
                                             (gf_demoFolder() / listing).string(), xml.string(), dbasetool,
                                             xml.string(), (server / (std::string(name) + ".zip")).string());
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
    }
}

}  // namespace clv::test
