// Archives and compressed images, made here from the samples with libarchive's
// writer: what tabulon-report says of each member, and of hostile archives.
#include "ArchiveImages.h"
#include "CliRunner.h"

#include <archive.h>
#include <archive_entry.h>

namespace tabulon {
namespace {

using nlohmann::json;

struct Entry {
    std::string name;
    test::Bytes bytes;
};

// Writes entries as an archive: format and filter as libarchive names them
// ("zip", "7zip", "raw"; "gzip", "none"), options such as "zip:encryption=zipcrypt".
test::Bytes Pack(const char* format, const char* filter, const std::vector<Entry>& entries, const char* options = "") {
    archive* writer = archive_write_new();
    archive_write_set_format_by_name(writer, format);
    if (std::string_view(filter) != "none") archive_write_add_filter_by_name(writer, filter);
    if (*options != '\0') archive_write_set_options(writer, options);
    if (*options != '\0') archive_write_set_passphrase(writer, "secret");
    std::vector<std::uint8_t> out(std::size_t{4} << 20);
    std::size_t used = 0;
    archive_write_open_memory(writer, out.data(), out.size(), &used);
    for (const Entry& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(e.bytes.size()));
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
        {"nested", Pack("zip", "none", {{"inner.zip", zip}, Member("jv3-drive-report.dsk")}), 4,
         ":inner.zip: an archive inside an archive: not followed\n", 1},
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
    // An archive with no disk image says so, and does not count as a success.
    const std::string none = Image("none.zip", Pack("zip", "none", {{"README.txt", test::Bytes(10, 'x')}}));
    const CliRun run = Call({none});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tabulon-report: " + none + ": no disk image in the archive\n");
}

TEST(ArchiveMembers, APastTheLimitIsRefusedWithoutUnpackingIt) {
    test::TempDir dir;
    const auto path = dir.Write("bomb.gz", Pack("raw", "gzip", {{"bomb", test::Bytes(100000, 0xE5)}}));
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::vector<std::string> refusals;
    const auto failure = cli::ForEachMember(file.Get(), false, 65536,
                                            [&](cli::Member& member) { refusals.push_back(member.Opened.Reason); });
    EXPECT_FALSE(failure);
    EXPECT_EQ(refusals, std::vector<std::string>{"File too large"});
}

}  // namespace
}  // namespace tabulon
