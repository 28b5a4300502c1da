// tabulon-report opens each name exactly as given, and whatever happens to one
// image (odd name, no working directory, little memory, a file cut short while
// read) is that image's outcome only: the images after it are still analysed.
#include "CliRunner.h"
#include "FileDescriptor.h"
#include "ImageBuilder.h"

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tabulon {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Each case: the first name fails in its own way, the sample after it still gets its report.
TEST_F(TabulonReport, OneNameFailingLeavesTheNextAnalysed) {
    const std::string sample = Sample("jv3-drive-report.dsk");
    const std::string gone = (dir_.path() / "gone").string();
    struct Case {
        std::string name;
        std::function<void()> prepare;  // in the child, before exec
        std::string shownPath;          // JSON
        std::string err;
    };
    const Case cases[] = {
        {"", [] {}, "", "tabulon-report: '': No such file or directory\n"},
        {sample + "/.", [] {}, sample + "/.", "tabulon-report: " + sample + "/.: Not a directory\n"},
        {"x.dsk",
         [&gone] {  // a working directory that no longer exists
             ::mkdir(gone.c_str(), 0700);
             ::chdir(gone.c_str());
             ::rmdir(gone.c_str());
         },
         "x.dsk", "tabulon-report: x.dsk: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const CliRun run = Spawn({"--json", c.name, sample}, c.prepare);
        EXPECT_EQ(run.status, 4) << c.name;
        EXPECT_EQ(run.err, c.err) << c.name;
        const auto objects = run.JsonLines();
        ASSERT_EQ(objects.size(), 2u) << c.name;
        EXPECT_EQ(objects[0]["path"], c.shownPath);
        EXPECT_EQ(objects[0]["outcome"], "unreadable");
        EXPECT_EQ(objects[1]["outcome"], "report");
    }
}

// Many names are analysed side by side where there are cores for it; what
// comes out is, name by name, what each gives alone, and the worst status.
TEST_F(TabulonReport, ManyNamesGiveInOrderWhatEachGivesAlone) {
    std::vector<std::string> names;
    for (const char* sample : {"dmk-drive-report.dsk", "jv3-drive-report.dsk", "hfe-drive-report.hfe",
                               "imd-drive-report.imd", "not-found.dsk", "dmk-wrong-marker.dsk"}) {
        names.push_back(Sample(sample));
    }
    names.push_back((dir_.path() / "missing.dsk").string());
    const auto cut = test::ReadWholeFile(Sample("dmk-drive-report.dsk"));
    names.push_back(dir_.Write("cut.dsk", std::span(cut).first(5000)).string());
    if (const auto real = test::RealImagesDir(); !real.empty()) {
        for (const auto& entry : fs::directory_iterator(real)) {
            if (entry.is_regular_file() && entry.path().extension() != ".md") names.push_back(entry.path().string());
        }
    }
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--json", "--all-slots"}, {"--brief", "--disk"}, {"--geometry", "--files"}}) {
        std::vector<std::string> all = options;
        CliRun alone;
        alone.status = 0;
        for (int round = 0; round < 3; ++round) {  // the same names again, so that helpers run ahead
            for (const std::string& name : names) {
                all.push_back(name);
                std::vector<std::string> one = options;
                one.push_back(name);
                const CliRun run = Call(one);
                alone.out +=
                    (options[0] == "--geometry" && !alone.out.empty() && !run.out.empty() ? "\n" : "") + run.out;
                alone.err += run.err;
                alone.status = std::max(alone.status, run.status);
            }
        }
        const CliRun together = Call(all);
        EXPECT_EQ(together.out, alone.out) << options[0];
        EXPECT_EQ(together.err, alone.err) << options[0];
        EXPECT_EQ(together.status, alone.status) << options[0];
    }
}

TEST_F(TabulonReport, XargsWithABlankLineGivesOneUnreadableName) {
    const std::string sample = Sample("not-found.dsk");
    const CliRun run =
        Shell("printf '%s\\n\\n%s\\n' " + Quote(sample) + " " + Quote(sample) + " | xargs -d '\\n' \"$R\"");
    EXPECT_EQ(run.status, 123) << "xargs: some call exited with 1 to 125";
    EXPECT_EQ(run.err, "tabulon-report: '': No such file or directory\n");
    const auto lines = run.OutLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "      " + sample), 2);
}

// Deeper than PATH_MAX: the name as given still opens, as for cat.
TEST_F(TabulonReport, WorkingDirectoryDeeperThanPathMax) {
    const std::string part(200, 'n');
    FileDescriptor dir(::open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY));
    for (int depth = 0; depth < 25; ++depth) {
        ASSERT_EQ(::mkdirat(dir.Get(), part.c_str(), 0700), 0);
        dir = FileDescriptor(::openat(dir.Get(), part.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_TRUE(dir.IsOpen());
    }
    const test::Bytes bytes = test::ReadWholeFile(Sample("jv3-drive-report.dsk"));
    FileDescriptor image(::openat(dir.Get(), "image.dsk", O_WRONLY | O_CREAT, 0600));
    ASSERT_EQ(::write(image.Get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    const int deepest = dir.Get();
    const CliRun run = Spawn({"--json", "image.dsk"}, [deepest] { ::fchdir(deepest); });
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.JsonLines().at(0)["outcome"], "report");
    std::system(("rm -rf " + Quote((dir_.path() / part).string())).c_str());  // too deep for remove_all
}

// The image is read on demand: a 2,147,483,647-byte image needs no memory of its size.
TEST_F(TabulonReport, LargestImageUnderAMemoryLimit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#endif
    const std::string big = Image("big.dsk", {});
    ASSERT_EQ(::truncate(big.c_str(), 2147483647), 0);
    const CliRun run = Spawn({"--json", big, Sample("jv3-drive-report.dsk")}, [] {
        const rlimit limit{1500000 * 1024L, 1500000 * 1024L};
        ::setrlimit(RLIMIT_AS, &limit);
    });
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.err, "");
    const auto objects = run.JsonLines();
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["outcome"], "not-found");
    EXPECT_EQ(objects[1]["outcome"], "report");
}

// ptrace's data argument, which the variadic call reads as a pointer.
void* Data(long value) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(value)); }

// Traces the child and cuts the image to 9,000 bytes when the child reads it
// for the (skip + 1)-th time: between taking its length and reading, or between
// finding the sector and reading the tracks. The race, made certain.
int TruncateAtRead(pid_t pid, const std::string& image, int skip, bool& traced) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    traced = WIFSTOPPED(status);  // stopped at exec when tracing is allowed
    if (!traced) return status;
    ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, Data(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
    int signal = 0;
    for (;;) {
        ::ptrace(PTRACE_SYSCALL, pid, nullptr, Data(signal));
        ::waitpid(pid, &status, 0);
        if (!WIFSTOPPED(status)) return status;
        signal = WSTOPSIG(status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(status);
        if (signal != 0) continue;
        __ptrace_syscall_info info{};
        ::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info);
        if (info.op != PTRACE_SYSCALL_INFO_ENTRY || (info.entry.nr != SYS_pread64 && info.entry.nr != SYS_preadv))
            continue;
        std::error_code error;
        const auto fd = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(info.entry.args[0]);
        if (fs::read_symlink(fd, error) != image || skip-- > 0) continue;
        ::truncate(image.c_str(), 9000);
        ::ptrace(PTRACE_DETACH, pid, nullptr, nullptr);
        ::waitpid(pid, &status, 0);
        return status;
    }
}

// Cut while the sector is looked for, no answer from zeros that were never in
// the file; cut while the tracks are read, no geometry, and JSON says why.
TEST_F(TabulonReport, ImageCutShortWhileReadStopsWithoutAnAnswer) {
    struct Case {
        test::Bytes bytes;
        int skip;  // reads of the image before the cut (the first, of its first block, also tells whether it is an
                   // archive)
        const char* format;
        const char* geometryError;
    };
    const Case cases[] = {
        {test::ReadWholeFile(Sample("jv3-drive-report.dsk")), 0, nullptr, nullptr},
        {images::BuildDmkImage({}, images::MakeSystemSector(images::PdriveSlot{})), 1, "DMK",
         "the image changed while it was being read"},
    };
    for (const Case& c : cases) {
        const std::string image = Image("race.dsk", c.bytes);
        bool traced = false;
        // One image after another: the tracer follows the program's first thread only.
        const CliRun run = Spawn(
            {"--json", "--jobs=1", image, Sample("dmk-wrong-marker.dsk")},
            [] { ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr); },
            [&](pid_t pid) { return TruncateAtRead(pid, image, c.skip, traced); });
        if (!traced) GTEST_SKIP() << "tracing is not allowed here";
        EXPECT_EQ(run.status, 3) << c.skip;
        EXPECT_EQ(run.err, "tabulon-report: " + image + ": the image changed while it was being read\n");
        const auto objects = run.JsonLines();
        ASSERT_EQ(objects.size(), 2u);
        EXPECT_EQ(objects[0]["outcome"], "stopped");
        EXPECT_EQ(objects[0]["format"], c.format ? json(c.format) : json(nullptr));
        EXPECT_TRUE(objects[0]["geometry"].is_null());
        EXPECT_EQ(objects[0].value("geometryError", json(nullptr)), c.geometryError ? json(c.geometryError) : json());
        EXPECT_EQ(objects[1]["outcome"], "not-newdos") << "the next image is still analysed";
    }
}

// A disk with a bad block at 16,384 (the preloaded library): whichever step
// meets it, the image is unreadable (4) and says so, and JSON keeps what was
// learnt before, "locate" included only once the search has finished.
TEST_F(TabulonReport, ReadErrorsMakeTheImageUnreadable) {
    test::Bytes longComment = test::Raw().Put({'I', 'M', 'D', ' '}).Fill(20000, 'x').Put({0x1A}).bytes();
    struct Case {
        const char* name;
        test::Bytes bytes;
        json locate;
        json format;
        json sectorOffset;
        bool geometryError;
    };
    const Case cases[] = {
        // identifying the container: the IMD comment runs on past the bad block
        {"unreadable-comment.imd", longComment, nullptr, nullptr, nullptr, false},
        // decoding: the JV entry is early, its sector at 751,616
        {"unreadable-sector.dsk", test::Raw().Fill(8706, 0xFF).Put({0, 2}).Resize(751872).bytes(), "scan", "JV3",
         751616, false},
        // the tracks for the geometry, after the report
        {"unreadable-tracks.dsk", images::BuildDmkImage({}, images::MakeSystemSector(images::PdriveSlot{})),
         "structure", "DMK", 1018, true},
    };
    for (const Case& c : cases) {
        const std::string image = Image(c.name, c.bytes);
        const CliRun clean = Call({"--json", image});
        EXPECT_NE(clean.status, 4) << c.name << ": readable without the library";
        const CliRun run = Shell(
            "LD_PRELOAD=" + Quote(TABULON_FAILING_READS) +
            " ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\" \"$R\" --json " + Quote(image));
        EXPECT_EQ(run.status, 4) << c.name;
        EXPECT_EQ(run.err, "tabulon-report: " + image + ": the image file could not be read\n");
        const json object = run.JsonLines().at(0);
        EXPECT_EQ(object["outcome"], "unreadable");
        EXPECT_EQ(object["locate"], c.locate) << c.name;
        EXPECT_EQ(object["format"], c.format) << c.name;
        EXPECT_EQ(object["sectorOffset"], c.sectorOffset) << c.name;
        EXPECT_EQ(object.contains("geometryError"), c.geometryError) << c.name;
    }
}

}  // namespace
}  // namespace tabulon
