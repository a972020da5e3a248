// The tools' command lines as a user meets them: --help is no error, a file that
// is not there is one, a failure at run time is told alone (the usage only
// follows a command line the tool cannot take).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "support/temp_folder.h"

namespace clv::test {
namespace {

struct CommandLineToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

CommandLineToolRun lf_run(const TempFolder& folder, const std::string& program, const std::string& arguments) {
    const std::string line = fmt::format("'{}' {} >'{}' 2>'{}' </dev/null", program, arguments,
                                         (folder / "out.txt").string(), (folder / "err.txt").string());
    const int status = std::system(line.c_str());
    CommandLineToolRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = folder.read("out.txt");
    run.err = folder.read("err.txt");
    return run;
}

TEST(ToolCommandLine, HelpIsNoErrorAndAWrongCommandIs) {
    TempFolder folder;
    struct Case {
        const char* program;
        const char* name;
    };
    for (const Case& c : {Case{CLV_DBASETOOL_PATH, "dbasetool"}, Case{CLV_APFTOOL_PATH, "apftool"},
                          Case{CLV_BGLTOOL_PATH, "bgltool"}, Case{CLV_SIMSTANDIN_PATH, "simstandin"},
                          Case{CLV_FEEDSTANDIN_PATH, "feedstandin"}}) {
        SCOPED_TRACE(c.name);
        const CommandLineToolRun help = lf_run(folder, c.program, "--help");
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.out.find(fmt::format("usage: {}", c.name)), std::string::npos) << help.out;
        EXPECT_EQ(help.err, "");
        const CommandLineToolRun wrong = lf_run(folder, c.program, "--no-such-option");
        EXPECT_NE(wrong.status, 0);
        EXPECT_NE(wrong.err.find("usage:"), std::string::npos) << wrong.err;
    }
}

TEST(ToolCommandLine, AFileThatIsNotThereIsAnError) {
    TempFolder folder;
    const std::string missing = (folder / "no_such.bgl").string();
    for (const char* option : {"", "--2024 "}) {
        SCOPED_TRACE(option);
        const CommandLineToolRun run = lf_run(folder, CLV_BGLTOOL_PATH, fmt::format("dump {}'{}'", option, missing));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, fmt::format("bgltool: cannot read {}: No such file or directory\n", missing));
    }
}

// Each input a tool cannot take is named with what it is, told on one line, with an
// exit status that is no success: a folder, a file of another kind, a command that
// is no JSON object, a command the tool does not know. A command line it cannot take
// (status 2) shows the usage below that line, a failure at run time (1) does not.
TEST(ToolCommandLine, AnInputOfTheWrongKindIsNamed) {
    TempFolder folder;
    const std::string dir = (folder / "stands").string();
    std::filesystem::create_directories(dir);
    const std::string text = folder.write("LSZH.bgl", "not a BGL file at all").string();
    const std::string script = folder.write("bad.script", "aircraft hexid=12\n0 47.4 8.5\n").string();
    const std::string missing = (folder / "no_such.script").string();
    struct Case {
        const char* name;
        const char* program;
        std::string arguments;
        int status;
        std::string firstLine;
    };
    const std::vector<Case> cases = {
        {"apftool print a folder", CLV_APFTOOL_PATH, fmt::format("print '{}'", dir), 1,
         fmt::format("apftool: {}: is a folder, not an airport park-position file", dir)},
        {"apftool write from a folder", CLV_APFTOOL_PATH, fmt::format("write '{}' '{}'", dir, (folder / "o.xml").string()),
         1, fmt::format("apftool: {}: is a folder, not a listing", dir)},
        {"bgltool dump a folder", CLV_BGLTOOL_PATH, fmt::format("dump '{}'", dir), 1,
         fmt::format("bgltool: {}: is a folder, not a BGL file", dir)},
        {"bgltool dump --2024 a folder", CLV_BGLTOOL_PATH, fmt::format("dump --2024 '{}'", dir), 1,
         fmt::format("bgltool: {}: is a folder, not a BGL file", dir)},
        {"bgltool build from a folder", CLV_BGLTOOL_PATH, fmt::format("build '{}' '{}'", dir, (folder / "o.bgl").string()),
         1, fmt::format("bgltool: {}: is a folder, not a description", dir)},
        {"bgltool dump a text file", CLV_BGLTOOL_PATH, fmt::format("dump '{}'", text), 1,
         fmt::format("bgltool: {}: not a BGL airport file (too short, or no BGL header)", text)},
        {"bgltool dump --2024 a text file", CLV_BGLTOOL_PATH, fmt::format("dump --2024 '{}'", text), 1,
         fmt::format("bgltool: {}: not a BGL airport file (too short, or no BGL header)", text)},
        {"dbasetool zip a folder", CLV_DBASETOOL_PATH, fmt::format("zip '{}' '{}'", dir, (folder / "o.zip").string()), 1,
         fmt::format("dbasetool: {}: is a folder, not a file", dir)},
        {"dbasetool bogus", CLV_DBASETOOL_PATH, "bogus a b", 2, "dbasetool: unknown command bogus"},
        {"dbasetool bogus, short", CLV_DBASETOOL_PATH, "bogus", 2, "dbasetool: unknown command bogus"},
        {"simstandin cmd notjson", CLV_SIMSTANDIN_PATH, "cmd notjson --control-port 1", 2,
         "simstandin: cmd takes a JSON object such as '{\"cmd\": \"status\"}', not notjson"},
        {"simstandin cmd cut JSON", CLV_SIMSTANDIN_PATH, "cmd '{\"cmd\":' --control-port 1", 2,
         "simstandin: cmd takes a JSON object such as '{\"cmd\": \"status\"}', not {\"cmd\":"},
        {"simstandin cmd a number", CLV_SIMSTANDIN_PATH, "cmd 42 --control-port 1", 2,
         "simstandin: cmd takes a JSON object such as '{\"cmd\": \"status\"}', not 42"},
        {"feedstandin replay a folder", CLV_FEEDSTANDIN_PATH, fmt::format("--replay '{}' --print", dir), 1,
         fmt::format("feedstandin: {}: is a folder, not a file", dir)},
        {"feedstandin a script not there", CLV_FEEDSTANDIN_PATH, fmt::format("--script '{}' --print", missing), 1,
         fmt::format("feedstandin: {}: cannot be opened: No such file or directory", missing)},
        {"feedstandin a script line it cannot take", CLV_FEEDSTANDIN_PATH, fmt::format("--script '{}' --print", script), 1,
         fmt::format("feedstandin: {}: line 2: a point needs: time lat lon alt gs track vs ground|air", script)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandLineToolRun run = lf_run(folder, c.program, c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        const std::string firstLine = run.err.substr(0, run.err.find('\n'));
        EXPECT_EQ(firstLine, c.firstLine) << run.err;
        if (c.status == 2) {
            EXPECT_EQ(run.err.find("usage:"), firstLine.size() + 1) << run.err;
        } else {
            EXPECT_EQ(run.err, c.firstLine + "\n");
        }
    }
    // Nothing was written from a folder.
    for (const char* output : {"o.xml", "o.bgl", "o.zip"}) EXPECT_FALSE(std::filesystem::exists(folder / output)) << output;
}

TEST(ToolCommandLine, SimStandInTellsARunTimeFailureAlone) {
    TempFolder folder;
    // Port 1 on the loopback: nobody listens there (a user process cannot bind it).
    for (const char* command : {"dump --control-port 1", "map --out x.svg --control-port 1",
                                "cmd '{\"cmd\":\"status\"}' --control-port 1"}) {
        SCOPED_TRACE(command);
        const CommandLineToolRun run = lf_run(folder, CLV_SIMSTANDIN_PATH, command);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.find("usage:"), std::string::npos) << run.err;
        ASSERT_FALSE(run.err.empty());
        EXPECT_EQ(run.err.rfind("simstandin: ", 0), 0u) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    }
    // A command line it cannot take still shows the usage.
    const CommandLineToolRun wrong = lf_run(folder, CLV_SIMSTANDIN_PATH, "map --control-port 1");
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("map needs --out"), std::string::npos) << wrong.err;
    EXPECT_NE(wrong.err.find("usage:"), std::string::npos) << wrong.err;
}

TEST(ToolCommandLine, FeedStandInRefusesAQnhThatIsNoJson) {
    TempFolder folder;
    for (const char* value : {"hello", "1013}", "'{\"QNH\": '", "''"}) {
        SCOPED_TRACE(value);
        // Refused before anything is sent (the port is never reached).
        const CommandLineToolRun run = lf_run(folder, CLV_FEEDSTANDIN_PATH, fmt::format("--qnh {} --qnh-port 1", value));
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("--qnh takes a JSON value"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

}  // namespace
}  // namespace clv::test
