#pragma once
// Log.txt in a folder of its own for the lifetime; lines() gives what was logged
// after the header line.
#include <sstream>
#include <string>
#include <vector>

#include "core/log.h"
#include "support/temp_folder.h"

namespace clv::test {

class LogCapture {
public:
    LogCapture() { gf_openLog(dir_.path()); }
    ~LogCapture() { gf_closeLog(); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(readFile(dir_ / "Log.txt"));
        std::string line;
        std::getline(in, line);  // the header
        while (std::getline(in, line)) out.push_back(line);
        return out;
    }
    bool contains(const std::string& line) const {
        for (const auto& l : lines())
            if (l == line) return true;
        return false;
    }

private:
    TempFolder dir_;
};

}  // namespace clv::test
