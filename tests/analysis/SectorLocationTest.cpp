#include "SectorLocation.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

namespace tabulon {
namespace {

using test::kDmkPattern;
using test::Raw;

struct ScanCase {
    const char* what;
    Raw image;
    std::optional<std::int32_t> base;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.what; }

class DmkScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(DmkScan, FindsOrGivesUp) {
    const auto& c = GetParam();
    DiskData data = c.image.Data();
    EXPECT_EQ(FindDmkSector(data), c.base) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, DmkScan,
    ::testing::Values(
        ScanCase{"pattern at 0", Raw().Put(kDmkPattern).Fill(300, 0), 48},
        ScanCase{"pattern at 5000", Raw().Fill(5000, 0).Put(kDmkPattern).Fill(300, 0), 5048},
        ScanCase{"pattern at 5001: mismatch at 5000 gives up", Raw().Fill(5001, 0).Put(kDmkPattern).Fill(300, 0),
                 std::nullopt},
        ScanCase{"mismatch at 4999 lets the scan go on", Raw().Fill(4999, 0).Put({0x55}).Put(kDmkPattern).Fill(300, 0),
                 5048},
        ScanCase{"mismatch at 5000 ends it", Raw().Fill(5000, 0).Put({0x55}).Put(kDmkPattern), std::nullopt},
        ScanCase{"partial match from 4998 broken at 5001",
                 Raw().Fill(4998, 0).Put({0xA1, 0xA1, 0xA1, 0x00}).Put(kDmkPattern), std::nullopt},
        ScanCase{"partial match up to 5005 then complete", Raw().Fill(4999, 0).Put(kDmkPattern).Fill(10, 0), 5047},
        ScanCase{"four A1 bytes are not recognised",
                 Raw().Fill(10, 0).Put({0xA1, 0xA1, 0xA1, 0xA1, 0xFE, 0x00, 0x00, 0x02}).Fill(300, 0), std::nullopt},
        ScanCase{"four A1 bytes, then a real ID field",
                 Raw().Put({0xA1, 0xA1, 0xA1, 0xA1, 0xFE, 0x00, 0x00, 0x02}).Put(kDmkPattern), 8 + 48},
        ScanCase{"sector 1 passed over", Raw().Put({0xA1, 0xA1, 0xA1, 0xFE, 0, 0, 1}).Put(kDmkPattern), 7 + 48},
        ScanCase{"head 1 passed over", Raw().Put({0xA1, 0xA1, 0xA1, 0xFE, 0, 1, 2}).Put(kDmkPattern), 7 + 48},
        ScanCase{"cylinder 1 passed over", Raw().Put({0xA1, 0xA1, 0xA1, 0xFE, 1, 0, 2}).Put(kDmkPattern), 7 + 48},
        ScanCase{"five A1 bytes before FE: the breaking A1 is not retried",
                 Raw().Put({0xA1, 0xA1}).Put(kDmkPattern).Fill(300, 0), std::nullopt},
        ScanCase{"a broken start, then the pattern", Raw().Put({0xA1, 0xA1, 0x00}).Put(kDmkPattern), 3 + 48},
        ScanCase{"pattern cut by the end of the file", Raw().Fill(20, 0).Put({0xA1, 0xA1, 0xA1, 0xFE, 0, 0}),
                 std::nullopt},
        ScanCase{"pattern ending exactly at the end of the file", Raw().Fill(20, 0).Put(kDmkPattern), 27 + 41},
        ScanCase{"empty file", Raw(), std::nullopt},
        ScanCase{"zeros only, longer than 5000", Raw().Fill(20000, 0), std::nullopt},
        ScanCase{"short file without the pattern", Raw().Fill(100, 0xA1), std::nullopt}));

class JvScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(JvScan, FindsOrGivesUp) {
    const auto& c = GetParam();
    DiskData data = c.image.Data();
    EXPECT_EQ(FindJvSector(data), c.base) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, JvScan,
    ::testing::Values(
        ScanCase{"first entry", Raw().Put({0, 2, 0}).Resize(9000, 0xE5), 8704},
        ScanCase{"third entry (k = 2)", Raw().Put({0, 0, 0, 0, 1, 0, 0, 2, 0}).Resize(9500, 0xE5), 9216},
        ScanCase{"side 1 flags are not looked at", Raw().Put({0, 2, 0x10}), 8704},
        ScanCase{"entry at 8703", Raw().Resize(8703, 0xFF).Put({0, 2}), 8704 + 256 * 2901},
        ScanCase{"entry at 8706 (k = 2902)", Raw().Resize(8706, 0xFF).Put({0, 2}), 751616},
        ScanCase{"entry at 8709 is past the last one examined", Raw().Resize(8709, 0xFF).Put({0, 2}), std::nullopt},
        ScanCase{"unaligned pair at 1", Raw().Put({0xFF, 0, 2, 0xFF}).Resize(9000, 0xFF), std::nullopt},
        ScanCase{"unaligned pair at 2", Raw().Put({0xFF, 0xFF, 0, 2}).Resize(9000, 0xFF), std::nullopt},
        ScanCase{"second byte on the spare byte never matches", Raw().Resize(9, 0xFF).Put({0}), std::nullopt},
        ScanCase{"a 00 02 pair in a tiny file", Raw().Put({0, 2}), 8704}, ScanCase{"empty file", Raw(), std::nullopt}));

struct LocateCase {
    const char* what;
    Raw image;
    std::optional<std::int64_t> base;
    ImageFormat format;
    bool switched;  // the DMK scan gave up and the JV scan ran
};

TEST(LocateSystemSector, TakesDmkFirstThenJv) {
    for (const LocateCase& c :
         {LocateCase{"DMK wins over JV", Raw().Put({0, 2, 0}).Put(kDmkPattern).Fill(300, 0), 3 + 48, kDmkScanFormat,
                     false},
          LocateCase{"falls back to JV", Raw().Put({0, 0, 0, 0, 2, 0}), 8704 + 256, kJvScanFormat, true},
          LocateCase{"empty", Raw(), std::nullopt, kDmkScanFormat, true},
          LocateCase{"neither", Raw().Fill(20000, 0xE5), std::nullopt, kDmkScanFormat, true}}) {
        DiskData data = c.image.Data();
        bool switched = false;
        auto found = LocateSystemSector(data, [&switched] { switched = true; });
        EXPECT_EQ(switched, c.switched) << c.what;
        ASSERT_EQ(found.has_value(), c.base.has_value()) << c.what;
        if (!found) continue;
        EXPECT_EQ(found->Sector.Base(), *c.base) << c.what;
        EXPECT_EQ(found->FileOffset, *c.base) << c.what;
        EXPECT_EQ(found->Format, c.format) << c.what;
        EXPECT_EQ(found->Method, LocateMethod::Scan) << c.what;
    }
    EXPECT_EQ(kDmkScanFormat.Label, "   DMK Format");
    EXPECT_EQ(kJvScanFormat.Label, "   JV  Format");
}

}  // namespace
}  // namespace tabulon
