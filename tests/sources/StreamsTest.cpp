// tabulon-report's standard streams: "-" as the image, a failing or closed
// standard output, and colour by the environment.
#include "cli/CliRunner.h"
#include "StandardInput.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace tabulon {
namespace {

struct ShellCase {
    std::string script;  // "$R" is tabulon-report, "$S" a sample, "$D" the test's folder, "$F" the failing library
    int status;
    std::string err;
};

class Streams : public TabulonReport {
protected:
    CliRun Run(const ShellCase& c) {
        return Shell("S=" + Quote(Sample("jv3-drive-report.dsk")) + "; D=" + Quote(dir_.path().string()) +
                     "; F=" + Quote(TABULON_FAILING_READS) +
                     "; export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\"; " + c.script);
    }
};

TEST_F(Streams, FailingStandardOutputGives74AndSaysSo) {
    const std::string missing =
        "tabulon-report: " + (dir_.path() / "missing").string() + ": No such file or directory\n";
    for (const ShellCase& c : {
             ShellCase{R"("$R" "$S" > /dev/full)", 74, "tabulon-report: write error: No space left on device\n"},
             // Output not on a terminal goes out in one buffer: the write fails at its end.
             ShellCase{R"("$R" --json "$S" "$D/missing" "$S" > /dev/full)", 74,
                       missing + "tabulon-report: write error: No space left on device\n"},
             ShellCase{R"("$R" "$S" >&-)", 74, "tabulon-report: write error: Bad file descriptor\n"},
             ShellCase{R"("$R" - < "$S" >&-)", 74, "tabulon-report: write error: Bad file descriptor\n"},
             ShellCase{R"("$R" --help > /dev/full)", 74, "tabulon-report: write error: No space left on device\n"},
             ShellCase{R"("$R" "$D/missing" >&-)", 4, missing},  // nothing to write, nothing failed
             // A reader that leaves early ends the program by SIGPIPE, as it ends cat and grep.
             ShellCase{R"(set --; for i in $(seq 200); do set -- "$@" "$S"; done
                          { "$R" "$@"; echo $? > "$D/status"; } | head -c1 > /dev/null; exit $(cat "$D/status"))",
                       128 + SIGPIPE, ""},
         }) {
        const CliRun run = Run(c);
        EXPECT_EQ(run.status, c.status) << c.script;
        EXPECT_EQ(run.err, c.err) << c.script;
    }
}

TEST_F(Streams, DashReadsTheImageFromStandardInput) {
    const std::string sample = Sample("jv3-drive-report.dsk");
    test::Bytes shifted(5, 0xFF);
    const test::Bytes bytes = test::ReadWholeFile(sample);
    shifted.insert(shifted.end(), bytes.begin(), bytes.end());
    Image("shifted.dsk", shifted);
    for (const char* script :
         {R"(cat "$S" | "$R" --json -)", R"("$R" --json - < "$S")", R"(cat "$S" | TMPDIR= "$R" --json -)",
          R"(cat "$S" | TMPDIR="$D/none" "$R" --json -)",  // /tmp when $TMPDIR cannot take the copy
          // nor the whole of it: full after 64 KiB, by the preloaded library
          R"(mkdir "$D/full"; cat "$S" | TMPDIR="$D/full" LD_PRELOAD="$F" "$R" --json -)",
          // a file already read part-way: the rest of it, as cat would read it
          R"({ dd bs=5 count=1 status=none of=/dev/null; "$R" --json -; } < "$D/shifted.dsk")"}) {
        const CliRun run = Run({script, 0, ""});
        EXPECT_EQ(run.status, 0) << script << run.err;
        const auto object = run.JsonLines().at(0);
        EXPECT_EQ(object["path"], "-");
        EXPECT_EQ(object["sectorOffset"], 9216);
    }
    const CliRun text = Run({R"(cat "$S" | "$R" - "$S")", 0, ""});
    EXPECT_EQ(text.status, 0);
    const auto lines = text.OutLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "      (standard input)"), 1) << text.out;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "      " + sample), 1);
}

TEST_F(Streams, StandardInputThatIsNoImageIsRefusedByName) {
    ASSERT_EQ(::truncate(Image("huge.dsk", {}).c_str(), off_t{3} << 30), 0);
    for (const ShellCase& c : {
             ShellCase{R"("$R" - < "$D/huge.dsk")", 4, "tabulon-report: (standard input): File too large\n"},
             ShellCase{R"("$R" - < "$D")", 4, "tabulon-report: (standard input): Is a directory\n"},
             ShellCase{R"("$R" - <&-)", 4, "tabulon-report: (standard input): Bad file descriptor\n"},
         }) {
        const CliRun run = Run(c);
        EXPECT_EQ(run.status, c.status) << c.script;
        EXPECT_EQ(run.err, c.err) << c.script;
        EXPECT_EQ(run.out, "") << c.script;
    }
}

// Through a pipe, the same limit as for files: 2,147,483,647 bytes (smaller here).
TEST(StandardInput, PipedImagesUpToTheLimitAreCopied) {
    struct Case {
        std::size_t bytes;
        bool opened;
    };
    constexpr std::int64_t kLimit = 1000;
    for (const Case c : {Case{0, true}, Case{999, true}, Case{1000, true}, Case{1001, false}}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        const std::vector<char> bytes(c.bytes, 'x');
        ASSERT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(ends[1]);
        FileDescriptor reading(ends[0]);
        ImageFile file;
        const OpenResult result = OpenStandardInput(file, reading.Get(), kLimit);
        EXPECT_EQ(result.Opened(), c.opened) << c.bytes;
        if (c.opened) {
            EXPECT_EQ(file.Length(), static_cast<std::int32_t>(c.bytes));
        } else {
            EXPECT_EQ(result.Failure, OpenFailure::TooLarge);
            EXPECT_FALSE(file.IsOpen());
        }
    }
}

// The copy of a pipe goes to the first folder that takes it; when none does,
// the message names each folder and why it refused.
TEST(StandardInput, TemporaryFoldersAreTriedInTurnAndNamed) {
    EXPECT_EQ(TemporaryFolders(nullptr), std::vector<std::string>{"/tmp"});
    EXPECT_EQ(TemporaryFolders(""), std::vector<std::string>{"/tmp"});
    EXPECT_EQ(TemporaryFolders("/tmp"), std::vector<std::string>{"/tmp"});
    EXPECT_EQ(TemporaryFolders("/var/tmp"), (std::vector<std::string>{"/var/tmp", "/tmp"}));

    const test::TempDir dir;
    const std::string none = (dir.path() / "none").string();
    const std::string file = dir.Write("file", test::Bytes{1}).string();
    const std::string folder = dir.path().string();
    struct Case {
        std::vector<std::string> folders;
        std::string reason;  // empty: opened
    };
    for (const Case& c :
         {Case{{none, folder}, ""}, Case{{none, file},
                                         "cannot make a temporary copy in " + none +
                                             " (No such file or directory) or " + file + " (Not a directory)"}}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ASSERT_EQ(::write(ends[1], "image", 5), 5);
        ::close(ends[1]);
        const FileDescriptor reading(ends[0]);
        ImageFile image;
        const OpenResult result = OpenStandardInput(image, reading.Get(), 1000, c.folders);
        EXPECT_EQ(result.Reason, c.reason);
        EXPECT_EQ(image.IsOpen(), c.reason.empty());
    }
}

// On a real terminal (script(1) gives one), the environment decides under --color=auto.
TEST_F(Streams, ColourOnATerminalFollowsNoColorAndTerm) {
    if (std::system("command -v script > /dev/null") != 0) GTEST_SKIP() << "no script(1) for a terminal";
    struct Case {
        const char* environment;
        bool red;
    };
    for (const Case& c : {Case{"TERM=xterm", true}, Case{"TERM=xterm NO_COLOR=1", false}, Case{"TERM=dumb", false}}) {
        const std::string command = std::string("env -u NO_COLOR ") + c.environment + " " + Quote(TABULON_REPORT) +
                                    " --locate=scan " + Quote(Sample("not-found.dsk"));
        const CliRun run = Run({"script -qec " + Quote(command) + " /dev/null", 2, ""});
        EXPECT_EQ(run.out.find("\x1b[31m") != std::string::npos, c.red) << c.environment;
    }
}

// Adopting a descriptor follows the rules of opening a name.
TEST(StandardInput, AdoptedDescriptorsAreCheckedAsNamedFiles) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    FileDescriptor writing(ends[1]);
    ImageFile file;
    EXPECT_EQ(file.Adopt(FileDescriptor(ends[0])).Failure, OpenFailure::NotRegularFile);
    EXPECT_EQ(file.Adopt(FileDescriptor(::open("/", O_RDONLY))).Failure, OpenFailure::IsDirectory);
    EXPECT_EQ(file.Adopt(FileDescriptor()).Reason, "Bad file descriptor");
    const auto sample = test::SamplesDir() / "jv3-drive-report.dsk";
    EXPECT_TRUE(file.Adopt(FileDescriptor(::open(sample.c_str(), O_RDONLY))).Opened());
    EXPECT_EQ(file.Length(), 111104);
}

}  // namespace
}  // namespace tabulon
