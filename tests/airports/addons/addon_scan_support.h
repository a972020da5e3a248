#pragma once
// A simulator install of builder-made BGL files in a temporary current folder, with
// the scan's settings, hooks and counters set for one test and restored after it.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "airports/addons/addon_airports.h"
#include "airports/addons/addon_scan.h"
#include "airports/addons/airport_scan_report.h"
#include "airports/parking/airport_data.h"
#include "bgl_test_support.h"
#include "core/folders.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/stop_flags.h"
#include "core/ui_port.h"
#include "core/workers.h"
#include "liveries/dbase.h"
#include "support/http_server.h"

namespace clv::test {

class ScanWorld {
public:
    ScanWorld() : current_(folder_.path()) {
        gf_openLog(folder_.path());
        saved2020_ = MSFS_2020.value;
        savedInstall_ = MSFS_INSTALL_PATH.value.get();
        savedInstall2024_ = MSFS_2024_INSTALL_PATH.value.get();
        savedParameters_ = g_parametersXmlPath;
        savedLimit_ = taskLimit.load();
        g_parametersXmlPath = (folder_.path() / "parameters.xml").string();
        MSFS_INSTALL_PATH.value = (folder_.path() / "sim").string();
        MSFS_2024_INSTALL_PATH.value = (folder_.path() / "sim").string();
        MSFS_2020.value = true;
        SCAN_AIRPORTS.value = true;
        stopRequested = false;
        userClosedWindow = false;
        runningTasks = 0;
        taskLimit = 4;
        g_addonAirportFound = false;
        g_tbloCount = 0;
        gf_forgetAirports();
        gf_clearScanReport();
        gf_nullUiPort().clear();
        savedWorker_ = g_addonScanWorker;
        for (const auto* folder : gf_foldersCreatedAtStart()) std::filesystem::create_directories(*folder);
    }
    ~ScanWorld() {
        g_addonScanWorker = savedWorker_;
        g_addonReference = {};
        gf_forgetAirports();
        MSFS_2020.value = saved2020_;
        MSFS_INSTALL_PATH.value = savedInstall_;
        MSFS_2024_INSTALL_PATH.value = savedInstall2024_;
        g_parametersXmlPath = savedParameters_;
        taskLimit = savedLimit_;
        runningTasks = 0;
        stopRequested = false;
        userClosedWindow = false;
        g_addonAirportFound = false;
        g_tbloCount = 0;
        gf_clearScanReport();
        dbase = Dbase{};
        gf_closeLog();
    }
    ScanWorld(const ScanWorld&) = delete;
    ScanWorld& operator=(const ScanWorld&) = delete;

    const std::filesystem::path& root() const { return folder_.path(); }
    std::filesystem::path sim(const std::string& relative) const { return folder_.path() / "sim" / relative; }

    // An airport file of one airport with `stands` parking entries, below sim/.
    std::filesystem::path airportBgl(const std::string& relative, const std::string& code, int stands = 3) {
        ref.airports[code] = {"Airport " + code, 1400.0};
        std::vector<bgltool::ParkingDescription> entries;
        for (int i = 1; i <= stands; ++i) entries.push_back(parking(10, static_cast<std::uint16_t>(i)));
        return folder_.write("sim/" + relative, bgltool::gf_buildBgl(airportFile(
                                                     {airportWith(code, {bgltool::ParkingListDescription{entries}})})));
    }
    // A BGL file without an airport section.
    std::filesystem::path otherBgl(const std::string& relative) {
        bgltool::BglDescription blueprint;
        bgltool::SectionDescription section;
        section.type = 0x65;
        section.records.emplace_back(bgltool::RawRecordDescription{0x23, 64});
        blueprint.sections.push_back(section);
        return folder_.write("sim/" + relative, bgltool::gf_buildBgl(blueprint));
    }
    std::filesystem::path write(const std::string& relative, const std::string& bytes) {
        return folder_.write(relative, bytes);
    }

    std::vector<std::string> reportFile() const { return lines(folder_ / g_airportsScanLogFile.string()); }
    std::vector<std::string> log() const { return lines(folder_ / "Log.txt"); }
    static std::vector<std::string> lines(const std::filesystem::path& file) {
        std::vector<std::string> out;
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }
    static bool has(const std::vector<std::string>& lines, const std::string& text) {
        for (const auto& line : lines)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    static int count(const std::vector<std::string>& lines, const std::string& text) {
        int n = 0;
        for (const auto& line : lines)
            if (line.find(text) != std::string::npos) ++n;
        return n;
    }
    // The stems of the generated files in a folder below the current one.
    std::set<std::string> filesIn(const std::filesystem::path& folder) const {
        std::set<std::string> out;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder_.path() / folder, ec))
            out.insert(entry.path().filename().string());
        return out;
    }

    // The airport reference data of input/ from the airports made so far, read as
    // the start-up checks read it.
    void readReference() {
        std::string airports = "<?xml version=\"1.0\"?>\n<airports>\n";
        std::string names = "<?xml version=\"1.0\"?>\n<AirportNames>\n";
        for (const auto& [code, entry] : ref.airports) {
            airports += "  <airport code=\"" + code + "\" lat=\"47.0\" lon=\"8.0\" alt=\"" +
                        std::to_string(static_cast<int>(entry.second)) + "\" iata=\"\" />\n";
            names += "  <airport ICAO=\"" + code + "\" name=\"" + entry.first + "\" />\n";
        }
        folder_.write("input/airports_msfs.xml", airports + "</airports>\n");
        folder_.write("input/airports_msfs_names.xml", names + "</AirportNames>\n");
        gf_forgetAirports();
        gf_readAirports();
    }
    // The download server's stock file of the airport: fit for offline learning or not.
    void serveStock(const std::string& code, bool suitable) {
        server.setReply("/MSFS/archive/stock/" + code + ".xml",
                        {200, std::string("<?xml version=\"1.0\"?>\n<parameters>\n") +
                                  "  <parameter name=\"Qf_real\" value=\"60\" />\n" +
                                  "  <parameter name=\"RT_traffic_week\" value=\"" + (suitable ? "30" : "3") +
                                  "\" />\n</parameters>\n<parkpositions />\n"});
    }

    RefTable ref;

private:
    TempFolder folder_;
    CurrentFolder current_;

public:
    HttpServer server{HttpServer::Replies{}};

private:
    ScopedEnv env_{"CALVORINTH_SERVER_URL", server.url("").c_str()};
    bool saved2020_ = true;
    std::string savedInstall_;
    std::string savedInstall2024_;
    std::string savedParameters_;
    std::int32_t savedLimit_ = 1;
    std::function<void(const std::filesystem::path&)> savedWorker_;
};

// A worker in the scan's place that keeps its contract: it notes the files, how
// many run at once, and lowers the running count once at its end, also when it
// throws.
class WorkerObserver {
public:
    explicit WorkerObserver(std::chrono::milliseconds work = std::chrono::milliseconds(2)) : work_(work) {
        g_addonScanWorker = [this](const std::filesystem::path& path) { run(path); };
    }
    std::function<void(const std::filesystem::path&)> onStart;  // may throw
    std::vector<std::string> files() const {
        std::lock_guard lock(mutex_);
        return files_;
    }
    int mostAtOnce() const { return most_.load(); }
    int finished() const { return finished_.load(); }

private:
    void run(const std::filesystem::path& path) {
        const int now = ++running_;
        int seen = most_.load();
        while (now > seen && !most_.compare_exchange_weak(seen, now)) {
        }
        {
            std::lock_guard lock(mutex_);
            files_.push_back(path.filename().string());
        }
        struct Done {
            WorkerObserver& o;
            ~Done() {
                --o.running_;
                ++o.finished_;
                gf_workerThreadDone();
            }
        } done{*this};
        if (onStart) onStart(path);
        std::this_thread::sleep_for(work_);
    }

    std::chrono::milliseconds work_;
    mutable std::mutex mutex_;
    std::vector<std::string> files_;
    std::atomic<int> running_{0};
    std::atomic<int> most_{0};
    std::atomic<int> finished_{0};
};

}  // namespace clv::test
