// Archives and compressed images, made here from the samples with libarchive's
// writer: what tabulon-report says of each member, and of hostile archives.
#include "CliRunner.h"

#include <archive.h>
#include <archive_entry.h>

#include <csignal>
#include <cstdio>

namespace tabulon {
namespace {

using nlohmann::json;

struct Entry {
    std::string name;
    test::Bytes bytes;
    std::string hardlink = "";      // a tar hard link to this member
    std::int64_t sparseLength = 0;  // a sparse member this long, bytes its data at the end (none: all a hole)
};

// Writes entries as an archive: format and filter as libarchive names them
// ("zip", "7zip", "raw"; "gzip", "none"), options such as "zip:encryption=zipcrypt".
test::Bytes Pack(const char* format, const char* filter, const std::vector<Entry>& entries, const char* options = "") {
    archive* writer = archive_write_new();
    archive_write_set_format_by_name(writer, format);
    if (std::string_view(filter) != "none") archive_write_add_filter_by_name(writer, filter);
    if (*options != '\0') archive_write_set_options(writer, options);
    if (*options != '\0') archive_write_set_passphrase(writer, "secret");
    std::vector<std::uint8_t> out(std::size_t{8} << 20);
    std::size_t used = 0;
    archive_write_open_memory(writer, out.data(), out.size(), &used);
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(e.bytes.size()));
        if (!e.hardlink.empty()) {
            archive_entry_set_hardlink(entry, e.hardlink.c_str());
            archive_entry_set_size(entry, 0);
        }
        if (e.sparseLength > 0) {
            const auto data = static_cast<la_int64_t>(e.bytes.size());
            archive_entry_set_size(entry, e.sparseLength);
            archive_entry_sparse_add_entry(entry, e.sparseLength - data, data);
        }
        archive_write_header(writer, entry);
        archive_write_data(writer, e.bytes.data(), e.bytes.size());
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    out.resize(used);
    return out;
}

class Archives : public TabulonReport {
protected:
    Entry Member(const std::string& sample, const std::string& name = "") {
        return {name.empty() ? sample : name, test::ReadWholeFile(Sample(sample))};
    }
};

TEST_F(Archives, EachDiskImageMemberInTheArchivesOrder) {
    const std::vector<Entry> members = {Member("jv3-drive-report.dsk"),
                                        {"README.txt", test::Bytes(300, 'x')},
                                        Member("dmk-wrong-marker.dsk"),
                                        Member("hfe-drive-report.hfe", "DISK2"),
                                        Member("not-found.dsk")};
    for (const char* format : {"zip", "7zip"}) {
        SCOPED_TRACE(format);
        const std::string path = Image(std::string("disks.") + format, Pack(format, "none", members));
        const CliRun run = Call({"--brief", "--locate=scan", path});
        EXPECT_EQ(run.status, 2);
        const auto lines = run.OutLines();
        ASSERT_EQ(lines.size(), 4u) << "README.txt skipped; DISK2 taken by its content";
        EXPECT_EQ(lines[0].rfind(path + ":jv3-drive-report.dsk  report  JV3  scan", 0), 0u);
        EXPECT_EQ(lines[1], path + ":dmk-wrong-marker.dsk  not-newdos  DMK  scan");
        EXPECT_EQ(lines[2], path + ":DISK2  not-found  -  scan");
        EXPECT_EQ(lines[3], path + ":not-found.dsk  not-found  -  scan");

        const json object = Call({"--json", path}).JsonLines().at(0);
        EXPECT_EQ(object["path"], path);
        EXPECT_EQ(object["member"], "jv3-drive-report.dsk");
        EXPECT_EQ(Call({"--brief", "--all-members", path}).OutLines().size(), 5u);
        const auto report = Call({path}).OutLines();
        EXPECT_NE(std::find(report.begin(), report.end(), "      " + path + ":jv3-drive-report.dsk"), report.end());
    }
    // A compressed image is one image under the file's own name.
    const std::string gz = Image("x.dsk.gz", Pack("raw", "gzip", {Member("jv3-drive-report.dsk")}));
    const CliRun run = Call({"--json", gz});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.JsonLines().at(0)["path"], gz);
    EXPECT_FALSE(run.JsonLines().at(0).contains("member"));
}

TEST_F(Archives, HostileArchivesAreRefusedAndTheRestGoesOn) {
    const test::Bytes zip = Pack("zip", "none", {Member("dmk-drive-report.dsk"), Member("jv3-drive-report.dsk")});
    test::Bytes flipped = zip;
    flipped[400] ^= 0xFF;  // inside the first member's data: its CRC no longer holds
    struct Case {
        const char* what;
        test::Bytes bytes;
        int status;
        std::string err;  // what stderr holds, past "tabulon-report: PATH"
        std::size_t reports;
    };
    const Case cases[] = {
        {"cut short", test::Bytes(zip.begin(), zip.begin() + 3000), 4, ":dmk-drive-report.dsk: damaged: ", 0},
        {"a CRC flipped", flipped, 4, ":dmk-drive-report.dsk: damaged: ", 1},
        {"encrypted", Pack("zip", "none", {Member("dmk-drive-report.dsk")}, "zip:encryption=zipcrypt"), 4,
         ":dmk-drive-report.dsk: encrypted: not unpacked\n", 0},
        {"nested", Pack("zip", "none", {{"inner.dsk", zip}, Member("jv3-drive-report.dsk")}), 4,
         ":inner.dsk: an archive inside an archive: not followed\n", 1},
        {"an office file (a zip) beside the image",
         Pack("zip", "none", {{"notes.docx", zip}, {"inner.zip", zip}, Member("jv3-drive-report.dsk")}), 0, "", 1},
        {"a member named ../x.dsk", Pack("zip", "none", {Member("jv3-drive-report.dsk", "../x.dsk")}), 0, "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Image("hostile.zip", c.bytes);
        const CliRun run = Call({"--brief", path, Sample("dmk-drive-report.dsk")});
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(c.err.empty() ? run.err : run.err.substr(0, ("tabulon-report: " + path + c.err).size()),
                  c.err.empty() ? "" : "tabulon-report: " + path + c.err);
        const auto lines = run.OutLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& line) { return line.find("  report  ") != std::string::npos; }),
                  static_cast<long>(c.reports) + 1)
            << "the next image is still analysed";
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / ".." / "x.dsk")) << "nothing is written but the unnamed copy";
}

// Archives as other tools make them: each member found, with the content it stands for.
TEST_F(Archives, MembersAsOtherToolsPackThem) {
    const test::Bytes jv3 = test::ReadWholeFile(Sample("jv3-drive-report.dsk"));
    const std::string jv3Line = "  report  JV3  structure  TI=A TD=A TC=40 SPT=10 TSR=3 GPL=2 DDSL=17 DDGA=2  fits";
    test::Bytes selfExtracting(4000, 0x90);  // a program, then the zip
    selfExtracting[0] = 'M';
    selfExtracting[1] = 'Z';
    const test::Bytes zip = Pack("zip", "none", {{"a.dsk", jv3}});
    selfExtracting.insert(selfExtracting.end(), zip.begin(), zip.end());
    struct Case {
        const char* name;
        test::Bytes bytes;
        std::vector<std::string> lines;  // past "PATH:"
    };
    const Case cases[] = {
        {"sfx.exe", selfExtracting, {"a.dsk" + jv3Line}},
        {"v7.tar", Pack("v7tar", "none", {{"a.dsk", jv3}}), {"a.dsk" + jv3Line}},
        {"sparse.tar",
         Pack("pax", "none", {{"blank.jv1", {}, "", 40 * 10 * 256}}),
         {"blank.jv1  not-newdos  JV1  structure"}},
        {"links.tar",
         Pack("ustar", "none", {{"a.dsk", jv3}, {"b.dsk", {}, "a.dsk"}, {"c.dsk", {}, "gone.dsk"}}),
         {"a.dsk" + jv3Line, "b.dsk" + jv3Line, "c.dsk  unreadable  -  -"}},
        {"disks.tar.xz", Pack("ustar", "xz", {{"a.dsk", jv3}, {"b.dsk", jv3}}), {"a.dsk" + jv3Line, "b.dsk" + jv3Line}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Image(c.name, c.bytes);
        std::vector<std::string> expected;
        for (const std::string& line : c.lines) expected.push_back(path + ":" + line);
        EXPECT_EQ(Call({"--brief", path}).OutLines(), expected);
    }
}

// A compressed tar is read member by member: no temporary copy holds more than one member.
TEST_F(Archives, CompressedTarsAreUnpackedOneMemberAtATime) {
    const test::Bytes blank(700000, 0xE5);
    const std::string path = Image("three.tar.gz", Pack("ustar", "gzip", {{"a.dsk", blank}, {"b.dsk", blank}}));
    const CliRun run = Spawn({"--brief", path}, [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1 << 20, 1 << 20};  // no file of more than 1 MiB, the copies included
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.OutLines(),
              (std::vector<std::string>{path + ":a.dsk  not-found  -  scan", path + ":b.dsk  not-found  -  scan"}));
}

// A member too large to be an image is not even read unless asked for: here 3 GiB
// declared, held as a hole in the tar file.
TEST_F(Archives, LargeMembersNoOneAskedForAreSkippedUnread) {
    const test::Bytes jv3 = test::ReadWholeFile(Sample("jv3-drive-report.dsk"));
    test::Bytes tar = Pack("ustar", "none", {{"a.dsk", jv3}});
    tar.resize(512 + (jv3.size() + 511) / 512 * 512);  // the end-of-archive blocks off
    const test::Bytes video = Pack("ustar", "none", {{"video.iso", {}}});
    tar.insert(tar.end(), video.begin(), video.begin() + 512);
    const std::string size = "30000000000";  // 3 GiB in octal, in place of the 0 the writer wrote
    std::copy(size.begin(), size.end(), tar.end() - 512 + 124);
    std::fill(tar.end() - 512 + 148, tar.end() - 512 + 156, ' ');
    unsigned sum = 0;
    for (auto it = tar.end() - 512; it != tar.end(); ++it) sum += *it;
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "%06o", sum);
    std::copy(checksum, checksum + 7, tar.end() - 512 + 148);
    const std::string path = Image("video.tar", tar);
    std::filesystem::resize_file(path, tar.size() + (std::uintmax_t{3} << 30) + 1024);

    const CliRun run = Call({"--brief", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.OutLines().size(), 1u);
    const CliRun all = Call({"--brief", "--all-members", path});
    EXPECT_EQ(all.status, 4);
    EXPECT_EQ(all.err, "tabulon-report: " + path + ":video.iso: larger than 256 MiB: not read\n");
}

// An archive that cannot be read as a whole, or holds no image, is still one record.
TEST_F(Archives, ArchivesThatFailAsAWholeAreOneRecord) {
    test::Bytes directory = Pack("zip", "none", {Member("dmk-drive-report.dsk")});
    const auto central =
        static_cast<std::size_t>(directory[directory.size() - 6] | directory[directory.size() - 5] << 8);
    directory[central + 28] = 0xFF;  // the length of the first name there
    const test::Bytes bz2 = Pack("raw", "bzip2", {Member("dmk-drive-report.dsk")});
    struct Case {
        const char* name;
        test::Bytes bytes;
        const char* outcome;
        int status;
    };
    for (const Case& c : {Case{"directory.zip", directory, "unreadable", 4},
                          Case{"cut.dsk.bz2", test::Bytes(bz2.begin(), bz2.begin() + 100), "unreadable", 4},
                          Case{"none.zip", Pack("zip", "none", {{"README.txt", test::Bytes(10, 'x')}}), "not-found", 2},
                          Case{"nothing.dsk.gz", Pack("raw", "gzip", {{"x", {}}}), "not-found", 2}}) {
        SCOPED_TRACE(c.name);
        const std::string path = Image(c.name, c.bytes);
        const CliRun brief = Call({"--brief", path});
        EXPECT_EQ(brief.status, c.status);
        EXPECT_EQ(brief.out, path + "  " + c.outcome + "  -  -\n");
        EXPECT_EQ(brief.err.rfind("tabulon-report: " + path + ": ", 0), 0u) << brief.err;
        const auto objects = Call({"--json", path}).JsonLines();
        ASSERT_EQ(objects.size(), 1u);
        EXPECT_EQ(objects[0]["outcome"], c.outcome);
        EXPECT_FALSE(objects[0].contains("member"));
        EXPECT_EQ(Call({path}).out, "");
    }
}

// Without its archive reader the program still reads plain images, and says why archives fail.
TEST_F(Archives, WithoutTheArchiveReaderArchivesAreUnreadable) {
    const std::string program = (dir_.path() / "tabulon-report").string();
    std::filesystem::copy_file(TABULON_REPORT, program);
    const std::string zip = Image("disks.zip", Pack("zip", "none", {Member("jv3-drive-report.dsk")}));
    const CliRun run = Shell(Quote(program) + " --brief " + Quote(zip) + " " + Quote(Sample("jv3-drive-report.dsk")));
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.OutLines().at(0), zip + "  unreadable  -  -");
    EXPECT_EQ(run.OutLines().at(1).find("  report  JV3"), Sample("jv3-drive-report.dsk").size());
    EXPECT_EQ(
        run.err.rfind("tabulon-report: " + zip + ": cannot read the archive: the archive reader is not installed (no " +
                          dir_.path().string() + "/tabulon-archives.so or ",
                      0),
        0u)
        << run.err;
}

}  // namespace
}  // namespace tabulon
