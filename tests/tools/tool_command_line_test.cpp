// The tools' command lines as a user meets them: --help is no error, a file that
// is not there is one, a failure at run time is told alone (the usage only
// follows a command line the tool cannot take).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
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
    // A file that is there but no airport file stays a finding, not an error.
    folder.write("other.bgl", "not a BGL file at all");
    const CommandLineToolRun other = lf_run(folder, CLV_BGLTOOL_PATH, fmt::format("dump '{}'", (folder / "other.bgl").string()));
    EXPECT_EQ(other.status, 0);
    EXPECT_NE(other.out.find("not a BGL airport file"), std::string::npos) << other.out;
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
