// tabulon-report on inputs that are not disk images, or have awkward names: each
// gets a clear outcome at once, nothing is written, nothing is left open.
#include "CliRunner.h"

#include <fcntl.h>
#include <set>
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

// A read error while telling an archive from an image is a read error, never a
// plain image with nothing found: the first read of a "flaky" file fails.
TEST_F(TabulonReport, AReadErrorOnTheFirstBytesIsUnreadable) {
    for (const char* name : {"flaky.dsk", "flaky.tar.gz"}) {
        const std::string path = Image(name, test::ReadWholeFile(Sample("jv3-drive-report.dsk")));
        const CliRun run = Shell(
            "LD_PRELOAD=" + Quote(TABULON_FAILING_READS) +
            " ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\" \"$R\" --brief " + Quote(path));
        EXPECT_EQ(run.status, 4) << name;
        EXPECT_EQ(run.out, path + "  unreadable  -  -\n");
        EXPECT_EQ(run.err, "tabulon-report: " + path + ": Input/output error\n");
    }
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

// Names show as they are, unless a control character, bytes that are not UTF-8
// or a space at either end could break a line, forge a message or reach the
// terminal: then quoted as ls --quoting-style=shell-escape quotes them. JSON
// stays one valid line per image and never merges two names.
TEST_F(TabulonReport, AwkwardNamesAreQuotedWhereTheyCouldMislead) {
    struct Case {
        std::string name;
        const char* quotedTail;  // the quoted path after "'<folder>/"; none: shown as it is
    };
    const Case cases[] = {
        {"with space.dsk", nullptr},
        {"d\xc3\xa9j\xc3\xa0 vu.dsk", nullptr},
        {"it's.dsk", nullptr},
        {"new\nline.dsk", R"(new'$'\n''line.dsk')"},
        {"bell\a\x1b[31m.dsk", R"(bell'$'\a\033''[31m.dsk')"},
        {"c1\xc2\x85.dsk", R"(c1'$'\302\205''.dsk')"},
        {"it's\t.dsk", R"(it'\''s'$'\t''.dsk')"},
        {"trail.dsk ", "trail.dsk '"},
        {"bad\xff.dsk", R"(bad'$'\377''.dsk')"},
        {"bad\xfe.dsk", R"(bad'$'\376''.dsk')"},
    };
    const std::string folder = dir_.path().string() + "/";
    std::set<std::pair<std::string, std::string>> jsonNames;
    for (const Case& c : cases) {
        const std::string path = Image(c.name, test::Bytes(10, 0));
        const std::string shown = c.quotedTail ? "'" + folder + c.quotedTail : path;
        const CliRun text = Call({path});
        EXPECT_EQ(text.status, 2) << shown;
        EXPECT_NE(text.out.find("\n      " + shown + "\n"), std::string::npos) << shown;
        EXPECT_EQ(Call({"--brief", path}).out, shown + "  not-found  -  scan\n");

        const auto lines = Call({"--json", path}).OutLines();
        ASSERT_EQ(lines.size(), 1u) << "one object, one line, whatever the name: " << shown;
        const auto object = nlohmann::json::parse(lines[0]);
        EXPECT_EQ(object["outcome"], "not-found");
        const bool utf8 = c.name.find_first_of("\xff\xfe") == std::string::npos;
        if (utf8) {
            EXPECT_EQ(object["path"], path);
        }
        EXPECT_EQ(object.contains("pathBytes"), !utf8) << shown;
        jsonNames.emplace(object["path"], object.value("pathBytes", ""));
    }
    EXPECT_EQ(jsonNames.size(), std::size(cases)) << "no two names the same in JSON";
    std::string hexFolder;
    for (const char c : folder) {
        const auto byte = static_cast<unsigned char>(c);
        hexFolder += {"0123456789abcdef"[byte / 16], "0123456789abcdef"[byte % 16]};
    }
    EXPECT_TRUE(jsonNames.contains({folder + "bad\xef\xbf\xbd.dsk", hexFolder + "626164ff2e64736b"}));

    // A space that opens a name as given (here relative) is shown too.
    Image(" lead.dsk", test::Bytes(10, 0));
    EXPECT_EQ(Call({"--brief", " lead.dsk"}, folder).out, "' lead.dsk'  not-found  -  scan\n");

    // A name that would forge a second message is one line, quoted.
    const CliRun forged = Call({folder + "x\ntabulon-report: y.dsk"});
    EXPECT_EQ(forged.err,
              "tabulon-report: '" + folder + R"(x'$'\n''tabulon-report: y.dsk': No such file or directory)" + "\n");
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
