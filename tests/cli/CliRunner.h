#pragma once
// Runs the built tabulon-report in a shell and keeps what a script would see.

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
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
        return Shell(command);
    }

    // Runs a shell command line in which "$R" is tabulon-report; its own
    // redirections (stdin, >&-, > /dev/full) win over the capture around it.
    CliRun Shell(const std::string& script) {
        const std::string command = "R=" + Quote(TABULON_REPORT) + "; { " + script + "\n} > " + Quote(Out()) + " 2> " +
                                    Quote(Err()) + " < /dev/null";
        return Collect(std::system(command.c_str()));
    }

    // Runs tabulon-report as a child of this process, stdin from /dev/null.
    // prepare runs in the child just before exec (directory, limits, tracing);
    // wait waits for the child and returns its wait status.
    CliRun Spawn(const std::vector<std::string>& args, const std::function<void()>& prepare,
                 const std::function<int(pid_t)>& wait = WaitFor) {
        std::vector<std::string> words{TABULON_REPORT};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        const std::string out = Out();
        const std::string err = Err();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            prepare();
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        return Collect(wait(pid));
    }

    static int WaitFor(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }
    std::string Out() const { return (dir_.path() / "stdout").string(); }
    std::string Err() const { return (dir_.path() / "stderr").string(); }
    CliRun Collect(int raw) const {
        CliRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        const auto outBytes = test::ReadWholeFile(Out());
        const auto errBytes = test::ReadWholeFile(Err());
        run.out.assign(outBytes.begin(), outBytes.end());
        run.err.assign(errBytes.begin(), errBytes.end());
        return run;
    }

    std::string Image(const std::string& name, const test::Bytes& bytes) { return dir_.Write(name, bytes).string(); }
    std::string Sample(const std::string& name) { return (test::SamplesDir() / name).string(); }

    test::TempDir dir_;
};

}  // namespace tabulon
