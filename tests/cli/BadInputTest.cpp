// tabulon-report on inputs that are not disk images, or have awkward names: each
// gets a clear outcome at once, nothing is written, nothing is left open.
#include "CliRunner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tabulon {
namespace {

namespace fs = std::filesystem;

long PeakChildMemoryKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

TEST_F(TabulonReport, RefusedPathsGiveStatus4AndTheReason) {
    const fs::path base = dir_.path();
    ASSERT_EQ(::mkfifo((base / "fifo.dsk").c_str(), 0600), 0);
    fs::create_directory(base / "folder");
    fs::create_symlink(base / "nowhere", base / "dangling.dsk");
    fs::create_symlink(base / "folder", base / "to-folder.dsk");
    struct Case {
        fs::path path;
        const char* reason;
    };
    for (const Case& c :
         {Case{base / "fifo.dsk", "Not a regular file"}, Case{"/dev/zero", "Not a regular file"},
          Case{"/dev/null", "Not a regular file"}, Case{base / "folder", "Is a directory"},
          Case{base / "dangling.dsk", "No such file or directory"}, Case{base / "to-folder.dsk", "Is a directory"},
          Case{base / "missing.dsk", "No such file or directory"}}) {
        const CliRun run = Call({c.path.string()});
        EXPECT_EQ(run.status, 4) << c.path;
        EXPECT_EQ(run.out, "") << c.path;
        EXPECT_EQ(run.err, "tabulon-report: " + c.path.string() + ": " + c.reason + "\n");
    }
    EXPECT_FALSE(fs::exists(base / "missing.dsk"));
    EXPECT_TRUE(fs::is_fifo(base / "fifo.dsk"));
}

TEST_F(TabulonReport, HugeSparseFileIsRefusedWithoutReadingIt) {
    const fs::path path = dir_.path() / "huge.dsk";
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t{3} << 30), 0);  // 3 GiB, no blocks on disk
    ::close(fd);
    const CliRun run = Call({path.string()});
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err, "tabulon-report: " + path.string() + ": File too large\n");
    EXPECT_LT(PeakChildMemoryKiB(), 64 * 1024) << "no allocation of the file's size";
}

TEST_F(TabulonReport, TinyFilesAreNotFound) {
    for (const test::Bytes& bytes : {test::Bytes{}, test::Bytes{0}, test::Bytes{0xA1}}) {
        const CliRun run = Call({Image("tiny.dsk", bytes)});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.OutLines().size(), test::kNotFoundLines);
    }
}

TEST_F(TabulonReport, AwkwardNamesAreShownAndJsonStaysValid) {
    const test::Bytes image = test::Bytes(10, 0);
    for (const std::string name : {"with space.dsk", "new\nline.dsk", "d\xc3\xa9j\xc3\xa0 vu.dsk", "bad\xff\xfe.dsk"}) {
        const std::string path = Image(name, image);
        const CliRun text = Call({path});
        EXPECT_EQ(text.status, 2) << name;
        EXPECT_NE(text.out.find("      " + path + "\n"), std::string::npos) << name;

        const CliRun json = Call({"--json", path});
        EXPECT_EQ(json.status, 2);
        const auto lines = json.OutLines();
        ASSERT_EQ(lines.size(), 1u) << "one object, one line, whatever the name: " << name;
        const auto object = nlohmann::json::parse(lines[0]);
        EXPECT_EQ(object["outcome"], "not-found");
        if (name.find('\xff') == std::string::npos) {
            EXPECT_EQ(object["path"], path);
        } else {
            EXPECT_NE(object["path"].get<std::string>().find("\xef\xbf\xbd"), std::string::npos)
                << "invalid bytes become U+FFFD";
        }
    }
}

TEST_F(TabulonReport, NothingIsWrittenBesideTheImages) {
    const std::string path = Image("image.dsk", test::Bytes(100, 0xE5));
    const auto before = fs::last_write_time(path);
    Call({path, "--json"});
    Call({path});
    EXPECT_EQ(fs::last_write_time(path), before);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.path())) ++entries;
    EXPECT_EQ(entries, 3) << "the image and the runner's stdout/stderr files only";
}

}  // namespace
}  // namespace tabulon
