// Archives and compressed images, made here from the samples with libarchive's
// writer: what tabulon-report says of each member, and of hostile archives.
#include "cli/CliRunner.h"

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
    unsigned type = AE_IFREG;       // AE_IFLNK (to symlink), AE_IFIFO, AE_IFCHR, AE_IFBLK, AE_IFDIR
    std::string symlink = "";
    std::int64_t fill = 0;  // after bytes, this many fillByte, written a piece at a time
    std::uint8_t fillByte = 0;
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
        archive_entry_set_pathname_utf8(entry, e.name.c_str());
        archive_entry_set_filetype(entry, e.type);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, e.type == AE_IFREG ? static_cast<la_int64_t>(e.bytes.size()) + e.fill : 0);
        if (!e.symlink.empty()) archive_entry_set_symlink(entry, e.symlink.c_str());
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
        const test::Bytes piece(std::size_t{1} << 20, e.fillByte);
        for (std::int64_t left = e.fill; left > 0; left -= static_cast<std::int64_t>(piece.size()))
            archive_write_data(writer, piece.data(),
                               std::min<std::size_t>(piece.size(), static_cast<std::size_t>(left)));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    out.resize(used);
    return out;
}

const std::string kJv3Line = "  report  JV3  structure  TI=A TD=A TC=40 SPT=10 TSR=3 GPL=2 DDSL=17 DDGA=2  fits";

std::uint32_t Le32(const test::Bytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t n = 4; n-- > 0;) value = value << 8 | bytes.at(at + n);
    return value;
}
void PutLe32(test::Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t n = 0; n < 4; ++n) bytes.at(at + n) = static_cast<std::uint8_t>(value >> (8 * n));
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
    const std::string& jv3Line = kJv3Line;
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
        {"utf8.zip", Pack("zip", "none", {{"\xC3\xA9.dsk", jv3}}, "zip:hdrcharset=UTF-8"), {"\xC3\xA9.dsk" + jv3Line}},
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

// Hard links are resolved in the one pass: each is given the copy of the member it
// names, kept from when that was read, never a second reading of the archive.
TEST_F(Archives, HardLinksCostNoMoreThanTheirMember) {
    const test::Bytes jv3 = test::ReadWholeFile(Sample("jv3-drive-report.dsk"));
    // A blank member judged by its content (no image's name), then 30 links to it.
    std::vector<Entry> entries{{"blank", {}, "", 0, AE_IFREG, "", std::int64_t{64} << 20}};
    for (int n = 0; n < 30; ++n) entries.push_back({"copy" + std::to_string(n), {}, "blank"});
    entries.insert(entries.end(), {{"a.dsk", jv3},
                                   {"b.dsk", {}, "a.dsk"},
                                   {"c.dsk", {}, "b.dsk"},  // a link to a link
                                   {"notes.txt", test::Bytes(300, 'x')},
                                   {"d.dsk", {}, "notes.txt"},  // a member not read
                                   {"e.dsk", {}, "later.dsk"},  // a tar's links name earlier members only
                                   {"later.dsk", jv3}});
    const std::string path = Image("links.tar.bz2", Pack("ustar", "bzip2", entries));
    const CliRun run = Spawn({"--brief", path}, [] {
        const rlimit limit{3, 3};  // seconds of processor time: one reading of the archive takes a tenth
        ::setrlimit(RLIMIT_CPU, &limit);
    });
    std::vector<std::string> expected{path + ":blank  not-found  JV3  structure"};
    for (int n = 0; n < 30; ++n) expected.push_back(path + ":copy" + std::to_string(n) + "  not-found  JV3  structure");
    for (const char* name : {"a.dsk", "b.dsk", "c.dsk"}) expected.push_back(path + ":" + name + kJv3Line);
    expected.insert(expected.end(), {path + ":d.dsk  unreadable  -  -", path + ":e.dsk  unreadable  -  -",
                                     path + ":later.dsk" + kJv3Line});
    EXPECT_EQ(run.OutLines(), expected);
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err, "tabulon-report: " + path + ":d.dsk: a hard link to notes.txt, which was not kept: not read\n" +
                           "tabulon-report: " + path +
                           ":e.dsk: a hard link to later.dsk, which the archive does not hold\n");
}

// A member unpacks to 256 MiB at most: one that goes past is stopped there and said
// so, and the next is read. No temporary copy passes the limit, whether the length
// is declared (a tar) or not (a compressed image), nor for a member judged by its
// content that starts like a program (unpacked whole to look at its end).
TEST_F(Archives, MembersUnpackTo256MiBAtMost) {
    constexpr std::int64_t kLimit = std::int64_t{256} << 20;
    const std::string jv3 = Sample("jv3-drive-report.dsk");
    const std::string bomb =
        Image("e5.dsk.bz2", Pack("raw", "bzip2", {{"x", {}, "", 0, AE_IFREG, "", kLimit + 1, 0xE5}}));
    const test::Bytes program{'M', 'Z'};
    const std::string programs =
        Image("programs.tar.zst", Pack("ustar", "zstd",
                                       {{"big.bin", program, "", 0, AE_IFREG, "", kLimit, 0xE5},
                                        {"small.bin", program, "", 0, AE_IFREG, "", std::int64_t{2} << 20, 0xE5},
                                        {"a.dsk", test::ReadWholeFile(jv3)}}));
    const auto limited = [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{kLimit, kLimit};  // no file past the limit, the copies included
        ::setrlimit(RLIMIT_FSIZE, &size);
    };
    const CliRun run = Spawn({"--brief", bomb, programs, jv3}, limited);
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.OutLines(),
              (std::vector<std::string>{bomb + "  unreadable  -  -", programs + ":a.dsk" + kJv3Line, jv3 + kJv3Line}));
    EXPECT_EQ(run.err, "tabulon-report: " + bomb + ": unpacks past 256 MiB: not read\n");
    const CliRun all = Spawn({"--brief", "--all-members", programs}, limited);
    EXPECT_EQ(all.status, 4);
    EXPECT_EQ(all.err, "tabulon-report: " + programs + ":big.bin: larger than 256 MiB: not read\n");
}

// Once analysed, a member is read to its end, where the reader checks its size and
// CRC-32 (and a gzip trailer), and a reader's warning is damage: a member that fails
// them is unreadable, status 4, whatever the options. The damage here lies past
// what the plain report reads.
TEST_F(Archives, DamagedMembersAreUnreadableWhateverTheOptions) {
    const test::Bytes dmk = test::ReadWholeFile(Sample("dmk-drive-report.dsk"));
    const test::Bytes deflated = Pack("zip", "none", {{"d.dsk", dmk}});
    const test::Bytes stored = Pack("zip", "none", {{"d.dsk", dmk}}, "zip:compression=store");
    const std::size_t directory = Le32(deflated, deflated.size() - 6);
    // A field of the local header (its first member's) and of the central directory, or of one only.
    const auto patched = [&](std::size_t local, std::size_t central, std::uint32_t value) {
        test::Bytes zip = deflated;
        if (local != 0) PutLe32(zip, local, value);
        if (central != 0) PutLe32(zip, directory + central, value);
        return zip;
    };
    test::Bytes flipped = stored;
    flipped[200000] ^= 0xFF;
    test::Bytes gz = Pack("raw", "gzip", {{"x", dmk}});
    gz[gz.size() - 8] ^= 0xFF;
    test::Bytes tgz = Pack("ustar", "gzip", {{"d.dsk", dmk}});
    tgz[tgz.size() - 8] ^= 0xFF;
    struct Case {
        const char* name;
        test::Bytes bytes;
        std::string member;  // the record that says so, past PATH
        std::string err;     // what it says, from its start
    };
    const Case cases[] = {
        {"short.zip", patched(22, 24, 600), ":d.dsk", "damaged: ZIP uncompressed data is wrong size (read 256016, "},
        {"long.zip", patched(22, 24, 1 << 20), ":d.dsk", "damaged: ZIP uncompressed data is wrong size (read 256016, "},
        {"local-size.zip", patched(22, 0, 600), ":d.dsk", "damaged: Inconsistent uncompressed size: "},
        {"local-crc.zip", patched(14, 0, 0x12345678), ":d.dsk", "damaged: Inconsistent CRC32 values\n"},
        {"directory-crc.zip", patched(0, 16, 0x12345678), ":d.dsk", "damaged: ZIP bad CRC: "},
        {"data.zip", flipped, ":d.dsk", "damaged: ZIP bad CRC: "},
        {"d.dsk.gz", gz, "", "damaged: the gzip CRC-32 does not match the data"},
        {"d.tar.gz", tgz, "", "cannot read the archive on: the gzip CRC-32 does not match the data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Image(c.name, c.bytes);
        for (const std::vector<std::string>& options :
             {std::vector<std::string>{}, {"--brief"}, {"--json", "--tracks"}}) {
            std::vector<std::string> args = options;
            args.push_back(path);
            const CliRun run = Call(args);
            EXPECT_EQ(run.status, 4) << options.size();
            const std::string said = "tabulon-report: " + path + c.member + ": " + c.err;
            EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
        }
        EXPECT_NE(Call({"--brief", path}).out.find(path + c.member + "  unreadable  -  -\n"), std::string::npos);
    }
}

// A read error in an archive is said as the system says it, as for a plain image,
// never as damage: the preloaded library fails every read past 16 KiB of a file
// whose name holds "unreadable".
TEST_F(Archives, ReadErrorsInArchivesAreSaidAsSuch) {
    test::Bytes noise(std::size_t{64} << 10);
    std::uint32_t state = 1;
    for (auto& byte : noise) byte = static_cast<std::uint8_t>((state = state * 1103515245 + 12345) >> 24);
    const std::string error = "Input/output error\n";
    struct Case {
        const char* name;
        test::Bytes bytes;
        std::string err;  // past "tabulon-report: PATH"
    };
    const Case cases[] = {
        {"unreadable.tar", Pack("ustar", "none", {{"d.dsk", noise}}),
         ":d.dsk: the archive file could not be read: " + error +
             "tabulon-report: %: cannot read the archive on: " + error},
        {"unreadable.tar.gz", Pack("ustar", "gzip", {{"d.dsk", noise}}),
         ":d.dsk: the archive file could not be read: " + error +
             "tabulon-report: %: cannot read the archive on: " + error},
        {"unreadable.zip", Pack("zip", "none", {{"d.dsk", noise}}), ": cannot read the archive: " + error},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Image(c.name, c.bytes);
        const CliRun run = Shell(
            "LD_PRELOAD=" + Quote(TABULON_FAILING_READS) +
            " ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\" \"$R\" --brief " + Quote(path));
        EXPECT_EQ(run.status, 4);
        std::string err = "tabulon-report: " + path + c.err;
        if (const auto at = err.find('%'); at != std::string::npos) err.replace(at, 1, path);
        EXPECT_EQ(run.err, err);
    }
}

// Every member the archive lists gets a record: special files say what they are
// (folders are no members: their files are), and every name a zip's central
// directory gives to one local header is read, as unzip lists them, from one copy.
TEST_F(Archives, EveryMemberListedGetsARecord) {
    const test::Bytes jv3 = test::ReadWholeFile(Sample("jv3-drive-report.dsk"));
    const std::string tar = Image("special.tar", Pack("ustar", "none",
                                                      {{"a.dsk", jv3},
                                                       {"link.dsk", {}, "", 0, AE_IFLNK, "a.dsk"},
                                                       {"pipe.dsk", {}, "", 0, AE_IFIFO},
                                                       {"tty.dsk", {}, "", 0, AE_IFCHR},
                                                       {"disk.dsk", {}, "", 0, AE_IFBLK},
                                                       {"folder.dsk", {}, "", 0, AE_IFDIR},
                                                       {"link", {}, "", 0, AE_IFLNK, "a.dsk"}}));
    const CliRun run = Call({"--brief", tar});
    EXPECT_EQ(run.status, 4);
    std::vector<std::string> lines{tar + ":a.dsk" + kJv3Line};
    std::string err;
    for (const auto& [name, what] : std::vector<std::pair<std::string, std::string>>{
             {"link.dsk", "a symbolic link to a.dsk, not a file: not followed"},
             {"pipe.dsk", "a FIFO, not a file: not read"},
             {"tty.dsk", "a character device, not a file: not read"},
             {"disk.dsk", "a block device, not a file: not read"}}) {
        lines.push_back(tar + ":" + name + "  unreadable  -  -");
        err += "tabulon-report: " + tar + ":" + name + ": " + what + "\n";
    }
    EXPECT_EQ(run.OutLines(), lines);
    EXPECT_EQ(run.err, err);

    // One member, then 99 more names in the central directory for its local header.
    const test::Bytes one = Pack("zip", "none", {{"a.dsk", jv3}});
    const std::size_t end = one.size() - 22;
    const std::size_t directory = Le32(one, end + 16);
    test::Bytes zip(one.begin(), one.begin() + static_cast<long>(end));
    std::vector<std::string> expected{};
    for (int n = 1; n < 100; ++n) {
        const std::string name = "s" + std::to_string(n) + ".dsk";
        zip.insert(zip.end(), one.begin() + static_cast<long>(directory),
                   one.begin() + static_cast<long>(directory) + 28);
        zip.insert(zip.end(), {static_cast<std::uint8_t>(name.size()), 0});
        zip.insert(zip.end(), one.begin() + static_cast<long>(directory) + 30,
                   one.begin() + static_cast<long>(directory) + 46);
        zip.insert(zip.end(), name.begin(), name.end());
        zip.insert(zip.end(), one.begin() + static_cast<long>(directory) + 46 + 5,
                   one.begin() + static_cast<long>(end));
        expected.push_back(name);
    }
    const auto size = static_cast<std::uint32_t>(zip.size() - directory);
    zip.insert(zip.end(), one.begin() + static_cast<long>(end), one.end());
    zip.at(zip.size() - 14) = zip.at(zip.size() - 12) = 100;  // the entries, on this disk and in all
    PutLe32(zip, zip.size() - 10, size);
    const std::string path = Image("shared.zip", zip);
    const auto shared = Call({"--brief", path}).OutLines();
    ASSERT_EQ(shared.size(), 100u);
    EXPECT_EQ(shared[0], path + ":a.dsk" + kJv3Line);
    for (std::size_t n = 1; n < shared.size(); ++n) EXPECT_EQ(shared[n], path + ":" + expected[n - 1] + kJv3Line);
}

}  // namespace
}  // namespace tabulon
