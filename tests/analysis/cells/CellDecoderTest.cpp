#include "AnalysisStopped.h"
#include "CellDecoder.h"
#include "Crc16.h"
#include "DecodedSectors.h"
#include "ImageBuilder.h"
#include "PackedCells.h"
#include "SlotDecoding.h"
#include "HfeImage.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string_view>

namespace tabulon {
namespace {

namespace img = images;

// Sector 2's data: every byte different from its neighbours.
const img::Bytes kData = [] {
    img::Bytes data(256);
    std::iota(data.begin(), data.end(), std::uint8_t{7});
    return data;
}();
const img::Bytes kFiller(256, 0xE5);

struct Case {
    const char* what;
    img::TrackStyle style;
    int repeat = 1;             // 2: FM written with doubled cells
    std::size_t leadCells = 0;  // 0 cells before the track (1: doubled cells in the other phase)
    int gap2 = -1;              // bytes between ID CRC and data sync; -1: the usual
    bool badDataCrc = false;
    bool badIdCrc = false;     // sector 2's ID CRC spoilt
    std::size_t cutBytes = 0;  // the cells end this many track bytes after sector 2's first data byte
    bool found = true;
    std::int64_t length = 256;  // data bytes found
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class CellDecoder : public ::testing::TestWithParam<Case> {};

TEST_P(CellDecoder, FindsSectorTwoAndTheIdFields) {
    const Case& c = GetParam();
    const bool mfm = c.style == img::TrackStyle::Mfm;
    const std::vector<img::TrackSector> sectors = {
        {0, kFiller.data(), false}, {2, kData.data(), c.badDataCrc}, {1, kFiller.data(), false}};
    img::RawTrack raw = img::MakeTrack(c.style, 0, 0, sectors, c.gap2 >= 0 ? c.gap2 : (mfm ? 22 : 11), mfm ? 16 : 15);
    if (c.badIdCrc) raw.Data[raw.IdMarks[1] + 5] ^= 0x01;
    // Sector 2's first data byte follows the track's second data mark (MFM: the
    // index mark's three syncs, then three per mark; FM: one per mark).
    const std::size_t firstData = mfm ? raw.Marks[3 + 3 * 3 + 2] + 2 : raw.Marks[1 + 3] + 1;
    ASSERT_EQ(raw.Data[firstData - 1], 0xFB);
    if (c.cutBytes != 0) raw.Data.resize(firstData + c.cutBytes);

    const img::Bytes cells = img::EncodeCells(raw, c.style, c.repeat);
    CellPacker packer(cells.size() + c.leadCells);
    for (std::size_t n = 0; n < c.leadCells; ++n) packer.Append(0, 1);
    for (const std::uint8_t cell : cells) packer.Append(cell, 1);
    const PackedCells track = std::move(packer).Finish();

    const auto found = FindSector(track, SectorQuery{0, 0, 2});
    ASSERT_EQ(found.has_value(), c.found);
    if (found) {
        EXPECT_EQ(found->IdCrcOk, !c.badIdCrc);
        EXPECT_EQ(found->DataCrcOk, !c.badDataCrc && c.cutBytes == 0);
        EXPECT_EQ(found->Coding, mfm ? Encoding::Mfm : Encoding::Fm);
        EXPECT_EQ(found->Size, 256);
        EXPECT_FALSE(found->Deleted);
        ASSERT_EQ(static_cast<std::int64_t>(found->Data.size()), c.length);
        EXPECT_TRUE(std::equal(found->Data.begin(), found->Data.end(), kData.begin()));
        // The track cell where the first data byte begins, and the cells of a byte.
        const auto perByte = static_cast<std::size_t>(16 * c.repeat);
        EXPECT_EQ(found->DataStart, firstData * perByte + c.leadCells);
        EXPECT_EQ(found->DataStep, perByte);
        // The marker at byte 239 of a sector cut before it is not there: no spare 0 stands in for it.
        if (c.length <= 239) {
            try {
                SectorLocation location = LocationOf(*found, kHfeContainer.Format, 0);
                HasNewdosMarker(location);
                ADD_FAILURE() << "expected a stop";
            } catch (const AnalysisStopped& stop) {
                EXPECT_EQ(stop.WhyStopped(), AnalysisStopped::Reason::SectorCutShort);
            }
        }
    }

    // Every ID field in the order they lie, with both verdicts; the good ones as the geometry lists them.
    std::vector<int> numbers;
    const auto listed = ListSectors(track, SectorDetail::WithData);
    for (const DecodedSector& sector : listed) {
        EXPECT_EQ(sector.Coding, mfm ? Encoding::Mfm : Encoding::Fm);
        EXPECT_EQ(sector.Size, 256);
        const bool dataGood = sector.Id.Sector != 2 || (!c.badDataCrc && c.cutBytes == 0);
        EXPECT_TRUE(!sector.HasData() || *sector.DataCrcOk == dataGood) << int{sector.Id.Sector};
    }
    for (const SectorId& id : GoodIds(ListSectors(track, SectorDetail::IdsOnly))) numbers.push_back(id.Sector);
    EXPECT_EQ(GoodIds(listed).size(), numbers.size());
    const std::vector<int> expected = c.badIdCrc   ? std::vector{0, 1}
                                      : c.cutBytes ? std::vector{0, 2}
                                                   : std::vector{0, 2, 1};
    EXPECT_EQ(numbers, expected);
}

// Both CRCs against the catalogue's check values, and against a bit at a time
// over every length of a run, split in pieces.
TEST(Crc16, MatchesTheBitwiseDefinition) {
    const std::string_view check = "123456789";
    const auto checkBytes = std::span(reinterpret_cast<const std::uint8_t*>(check.data()), check.size());
    EXPECT_EQ(Crc16Ccitt(checkBytes), 0x29B1);
    EXPECT_EQ(Crc16Teledisk(checkBytes), 0x0FB3);
    const auto bitwise = [](std::span<const std::uint8_t> bytes, unsigned polynomial, unsigned crc) {
        for (const std::uint8_t byte : bytes) {
            crc ^= unsigned{byte} << 8;
            for (int bit = 0; bit < 8; ++bit) crc = ((crc & 0x8000u) ? (crc << 1) ^ polynomial : crc << 1) & 0xFFFFu;
        }
        return crc;
    };
    img::Bytes run(300);  // past what is folded four blocks at a time, with every remainder
    for (std::size_t n = 0; n < run.size(); ++n) run[n] = static_cast<std::uint8_t>(n * 89 + 13 + n / 7);
    for (std::size_t length = 0; length <= run.size(); ++length) {
        const auto bytes = std::span(run).first(length);
        for (std::size_t split = 0; split <= length; split += split < 3 || split + 3 > length ? 1 : length / 3) {
            const auto first = bytes.first(split);
            const auto rest = bytes.subspan(split);
            EXPECT_EQ(Crc16Ccitt(rest, Crc16Ccitt(first)), bitwise(bytes, 0x1021, 0xFFFF)) << length << " " << split;
            EXPECT_EQ(Crc16Teledisk(rest, Crc16Teledisk(first)), bitwise(bytes, 0xA097, 0)) << length << " " << split;
        }
    }
}

using img::TrackStyle;
INSTANTIATE_TEST_SUITE_P(
    Tracks, CellDecoder,
    ::testing::Values(Case{"MFM", TrackStyle::Mfm}, Case{"FM", TrackStyle::Fm},
                      Case{"FM doubled, phase 0", TrackStyle::Fm, 2}, Case{"FM doubled, phase 1", TrackStyle::Fm, 2, 1},
                      Case{"MFM, one cell late", TrackStyle::Mfm, 1, 1},
                      Case{"MFM, bad ID CRC", TrackStyle::Mfm, 1, 0, -1, false, true},
                      Case{"FM doubled, bad ID CRC", TrackStyle::Fm, 2, 1, -1, false, true},
                      Case{"MFM, bad data CRC", TrackStyle::Mfm, 1, 0, -1, true},
                      Case{"FM, bad data CRC", TrackStyle::Fm, 1, 0, -1, true},
                      // The data mark's byte just inside and just past the window
                      // (MFM: 43 bytes, gap 2 + 12 syncs + 3 A1 + FB; FM: 30, gap 2 + 6 + FB).
                      Case{"MFM, data mark at the window's end", TrackStyle::Mfm, 1, 0, 27},
                      Case{"MFM, data mark past the window", TrackStyle::Mfm, 1, 0, 28, false, false, 0, false},
                      Case{"FM doubled, data mark at the window's end", TrackStyle::Fm, 2, 0, 23},
                      Case{"FM doubled, data mark past the window", TrackStyle::Fm, 2, 0, 24, false, false, 0, false},
                      Case{"MFM, cut inside the data", TrackStyle::Mfm, 1, 0, -1, false, false, 100, true, 100},
                      Case{"FM doubled, cut just before the marker", TrackStyle::Fm, 2, 1, -1, false, false, 239, true,
                           239},
                      Case{"MFM, cut inside the data CRC", TrackStyle::Mfm, 1, 0, -1, false, false, 257, true, 256}));

}  // namespace
}  // namespace tabulon
