// tabulon-report --tracks: every track's sectors as the container holds them,
// with what went wrong reading each, in text and JSON.
#include "CliRunner.h"
#include "ImageBuilder.h"

namespace tabulon {
namespace {

namespace img = images;

// A double-density JV3 disk of three tracks of ten sectors whose slot declares
// 40 cylinders, with one fault of each kind the map marks.
test::Bytes FaultyJv3() {
    img::PdriveSlot slot;
    slot.SectorsPerTrack = 18;  // S/S D/D
    auto sectors = img::StandardJv3Sectors(3, 10, true, img::MakeSystemSector(slot));
    sectors[1 * 10 + 4].Flags |= 0x08;                                       // 1/0 sector 4: a CRC error
    sectors[1 * 10 + 5].Flags |= 0x20;                                       // 1/0 sector 5: deleted data (F8)
    sectors[2 * 10 + 6].Sector = 3;                                          // 2/0: sector 3 twice, sector 6 missing
    sectors[2 * 10 + 7].Flags = (sectors[2 * 10 + 7].Flags & ~0x03) | 0x03;  // 2/0 sector 7: 512 bytes
    sectors[2 * 10 + 7].Data.resize(512, 0xE5);
    return img::BuildJv3Image(sectors);
}

TEST_F(TabulonReport, TracksMarkWhatTheGeneratorSpoilt) {
    const std::string image = Image("faulty.dsk", FaultyJv3());
    const CliRun json = Call({"--json", "--tracks", image});
    ASSERT_EQ(json.JsonLines().size(), 1u) << json.err;
    const nlohmann::json line = json.JsonLines()[0];
    const nlohmann::json& tracks = line["tracks"];
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(tracks[0]["encoding"], "MFM");
    const nlohmann::json& one = tracks[1]["sectors"];
    EXPECT_EQ(one[4]["dataCrcOk"], false);
    EXPECT_EQ(one[5]["deleted"], true);
    EXPECT_EQ(one[3]["dataCrcOk"], true);
    EXPECT_EQ(tracks[2]["missingSectors"], nlohmann::json::array({6}));
    EXPECT_EQ(tracks[2]["duplicateSectors"], nlohmann::json::array({3}));
    EXPECT_EQ(tracks[2]["sectors"][7]["size"], 512);
    EXPECT_EQ(line["absentTracks"].size(), 37u) << "slot 0 declares 40 cylinders, the image holds 3";
    EXPECT_EQ(line["absentTracks"][0], (nlohmann::json{{"cylinder", 3}, {"side", 0}}));

    const CliRun text = Call({"--brief", "--tracks", image});
    const auto lines = text.OutLines();
    ASSERT_EQ(lines.size(), 8u) << text.out;
    EXPECT_EQ(lines[4], "  0/0  MFM  10 0 1 2 3 4 5 6 7 8 9");
    EXPECT_EQ(lines[5], "  1/0  MFM  10 0 1 2 3 4? 5d 6 7 8 9");
    EXPECT_EQ(lines[6], "  2/0  MFM  10 0 1 2 3 4 5 3 7:512 8 9  missing 6 twice 3");
    EXPECT_EQ(lines[7], "  absent (slot 0 declares them): side 0, cylinders 3-39");
    for (std::size_t n = 1; n < lines.size(); ++n) EXPECT_LE(lines[n].size(), 80u) << lines[n];
}

TEST_F(TabulonReport, TracksAgreeWithTheGeometryOnEveryRealImage) {
    const auto dir = test::RealImagesDir();
    if (dir.empty()) GTEST_SKIP() << "the shared real images are not here";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".md") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const CliRun run = Call({"--json", "--tracks", entry.path().string()});
        for (const nlohmann::json& line : run.JsonLines()) {
            if (line["geometry"].is_null()) continue;
            const nlohmann::json& geometry = line["geometry"];
            int cylinders = 0;
            int withSectors = 0;
            for (const nlohmann::json& track : line["tracks"]) {
                if (track["sectors"].empty()) continue;
                ++withSectors;
                cylinders = std::max(cylinders, track["cylinder"].get<int>() + 1);
            }
            EXPECT_GE(withSectors, cylinders - static_cast<int>(geometry["missingCylinders"].size()));
            if (!geometry["cut"].get<bool>()) {
                EXPECT_EQ(cylinders, geometry["cylinders"].get<int>());
            }
        }
        EXPECT_EQ(Call({"--json", entry.path().string()}).out.find("\"tracks\""), std::string::npos)
            << "no tracks unless asked for";
    }
}

}  // namespace
}  // namespace tabulon
