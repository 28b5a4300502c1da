// The track map: what each track lacks against the run of numbers the tracks
// of its own kind use, its state and its usual sector size.
#include "ContainerList.h"
#include "ImageBuilder.h"
#include "TestSupport.h"
#include "TrackMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <utility>

namespace tabulon {
namespace {

namespace img = images;

// Tracks alike: cylinders First to Last, each holding Count sectors of 128 << SizeCode
// bytes numbered from Number on.
struct Band {
    int First;
    int Last;
    bool Fm;
    std::uint8_t SizeCode;
    int Number;
    int Count;
};

struct KindsCase {
    const char* what;
    std::vector<Band> bands;
    std::vector<std::pair<int, int>> removed;  // (cylinder, sector number) left out of the disk
};
void PrintTo(const KindsCase& c, std::ostream* os) { *os << c.what; }

// The disk as Teledisk, whose tracks may hold any numbers and sizes.
TrackMap MapOf(const KindsCase& disk) {
    std::vector<img::Td0Track> tracks;
    for (const Band& band : disk.bands) {
        for (int cylinder = band.First; cylinder <= band.Last; ++cylinder) {
            img::Td0Track track;
            track.Cylinder = static_cast<std::uint8_t>(cylinder);
            track.SingleDensity = band.Fm;
            for (int number = band.Number; number < band.Number + band.Count; ++number) {
                if (std::find(disk.removed.begin(), disk.removed.end(), std::pair{cylinder, number}) !=
                    disk.removed.end()) {
                    continue;
                }
                img::Td0Sector& sector = track.Sectors.emplace_back();
                sector.Cylinder = track.Cylinder;
                sector.Number = static_cast<std::uint8_t>(number);
                sector.SizeCode = band.SizeCode;
                sector.Data.assign(std::size_t{128} << band.SizeCode, 0xE5);
            }
            tracks.push_back(std::move(track));
        }
    }
    DiskData image = DiskData::FromBytes(img::BuildTd0Image(tracks, {}));
    return MapTracks(test::ListTracks(image, TrackDetail::WithData), std::nullopt);
}

class TrackKinds : public ::testing::TestWithParam<KindsCase> {};

// Each track lacks exactly the numbers left out of it.
TEST_P(TrackKinds, LackOnlyWhatWasLeftOut) {
    const KindsCase& disk = GetParam();
    const TrackMap map = MapOf(disk);
    ASSERT_EQ(map.Tracks.size(), map.Findings.size());
    ASSERT_FALSE(map.Tracks.empty());
    std::map<int, std::vector<int>> expected;
    for (const auto& [cylinder, number] : disk.removed) expected[cylinder].push_back(number);
    for (std::size_t n = 0; n < map.Tracks.size(); ++n) {
        const int cylinder = map.Tracks[n].Cylinder;
        EXPECT_EQ(map.Findings[n].Missing, expected[cylinder]) << "cylinder " << cylinder;
        EXPECT_TRUE(map.Findings[n].Twice.empty()) << "cylinder " << cylinder;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Disks, TrackKinds,
    ::testing::Values(
        // A copy-protected disk: 512-byte tracks numbered 65-73 and 1024-byte tracks
        // numbered 1-5, each kind with one track lacking a sector (the first of its run
        // on one of them, so the track's lowest number is not its run's).
        KindsCase{"protected: 512 from 65, 1024 from 1",
                  {{0, 5, false, 2, 65, 9}, {6, 9, false, 3, 1, 5}},
                  {{2, 65}, {7, 3}}},
        // The same size and recording, numbered apart: two runs.
        KindsCase{"512 from 1 and 512 from 65", {{0, 5, false, 2, 1, 9}, {6, 9, false, 2, 65, 9}}, {{1, 1}, {8, 70}}},
        // TRS-80: a single-density track 0 of ten from 0, double-density data tracks
        // of eighteen from 0; and the same with the data tracks numbered from 1.
        KindsCase{"FM track 0, MFM data from 0", {{0, 0, true, 1, 0, 10}, {1, 9, false, 1, 0, 18}}, {{4, 7}}},
        KindsCase{"FM track 0, MFM data from 1", {{0, 0, true, 1, 0, 10}, {1, 9, false, 1, 1, 18}}, {{4, 1}}},
        // A double-density track 0 of ten from 0 beside data tracks of eighteen from 1.
        KindsCase{"MFM track 0 from 0, data from 1", {{0, 0, false, 1, 0, 10}, {1, 9, false, 1, 1, 18}}, {{5, 18}}},
        // Data tracks from 0, one lacking its sector 0.
        KindsCase{"MFM from 0, one lacking 0", {{0, 9, false, 1, 0, 18}}, {{3, 0}}}),
    [](const ::testing::TestParamInfo<KindsCase>& param) {
        std::string name = param.param.what;
        for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// Tracks made by hand: one sector per size given, numbered from 1, read as good.
TrackLayout TrackOf(int cylinder, std::initializer_list<std::int64_t> sizes) {
    TrackLayout track{cylinder, 0, {}};
    std::uint8_t number = 1;
    for (const std::int64_t size : sizes) {
        track.Sectors.push_back({static_cast<std::uint8_t>(cylinder), 0, number++, size});
        track.Readings.push_back({.IdCrcOk = true, .DataCrcOk = true});
    }
    return track;
}

// The state the page gives each track, from the most serious: no sector, a CRC
// error or no data, numbers missing against the run, good.
TEST(TrackState, FromTheMostSerious) {
    std::vector<TrackLayout> tracks;
    for (int cylinder = 0; cylinder < 8; ++cylinder) tracks.push_back(TrackOf(cylinder, {256, 256, 256, 256}));
    tracks[1].Readings[2].DataCrcOk = false;
    tracks[2].Readings[0].DataCrcOk.reset();  // no data field
    tracks[3].Readings[3].IdCrcOk = false;
    tracks[4].Sectors.erase(tracks[4].Sectors.begin() + 1);  // 2 missing
    tracks[4].Readings.pop_back();
    tracks[5] = tracks[4];
    tracks[5].Cylinder = 5;
    tracks[5].Readings[0].DataCrcOk = false;  // and a CRC error
    tracks[6].Sectors.clear();
    tracks[6].Readings.clear();
    tracks[7].Readings.clear();  // a container that records nothing of its reading
    TrackList list;
    list.Tracks = tracks;
    const TrackMap map = MapTracks(list, std::nullopt);
    const std::vector<TrackState> expected = {
        TrackState::Good,           TrackState::CrcError, TrackState::CrcError,    TrackState::CrcError,
        TrackState::SectorsMissing, TrackState::CrcError, TrackState::Unformatted, TrackState::Good};
    ASSERT_EQ(map.Findings.size(), expected.size());
    for (std::size_t n = 0; n < expected.size(); ++n) EXPECT_EQ(map.Findings[n].State, expected[n]) << "track " << n;
}

// The usual size is the one most sectors have; on a tie, the one met first on the track.
TEST(TrackUsualSize, MostCommonThenFirstMet) {
    const std::vector<std::pair<TrackLayout, std::int64_t>> cases = {
        {TrackOf(0, {256, 256, 512}), 256},
        {TrackOf(1, {512, 256, 256}), 256},
        {TrackOf(2, {512, 256}), 512},
        {TrackOf(3, {128, 1024, 1024, 128}), 128},
        {TrackOf(4, {1024, 256, 256, 1024}), 1024},
        {TrackOf(5, {}), 0},
    };
    TrackList list;
    for (const auto& [track, size] : cases) list.Tracks.push_back(track);
    const TrackMap map = MapTracks(list, std::nullopt);
    for (std::size_t n = 0; n < cases.size(); ++n) EXPECT_EQ(map.Findings[n].UsualSize, cases[n].second) << n;
}

}  // namespace
}  // namespace tabulon
