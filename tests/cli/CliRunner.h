#pragma once
// Runs the built tabulon-report in a shell and keeps what a script would see.

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

namespace tabulon {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;

    std::vector<std::string> OutLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::vector<nlohmann::json> JsonLines() const {
        std::vector<nlohmann::json> objects;
        for (const auto& line : OutLines()) objects.push_back(nlohmann::json::parse(line));
        return objects;
    }
};

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class TabulonReport : public ::testing::Test {
protected:
    CliRun Call(const std::vector<std::string>& args, const std::string& cwd = "") {
        std::string command = cwd.empty() ? "" : "cd " + Quote(cwd) + " && ";
        command += Quote(TABULON_REPORT);
        for (const auto& arg : args) command += " " + Quote(arg);
        const auto out = dir_.path() / "stdout";
        const auto err = dir_.path() / "stderr";
        command += " > " + Quote(out.string()) + " 2> " + Quote(err.string()) + " < /dev/null";
        CliRun run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        const auto outBytes = test::ReadWholeFile(out);
        const auto errBytes = test::ReadWholeFile(err);
        run.out.assign(outBytes.begin(), outBytes.end());
        run.err.assign(errBytes.begin(), errBytes.end());
        return run;
    }
    std::string Image(const std::string& name, const test::Bytes& bytes) { return dir_.Write(name, bytes).string(); }
    std::string Sample(const std::string& name) { return (test::SamplesDir() / name).string(); }

    test::TempDir dir_;
};

}  // namespace tabulon
