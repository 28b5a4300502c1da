#include "AnalysisStopped.h"
#include "DiskData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace tabulon {
namespace {

TEST(DiskData, HoldsTheBytesAndOneSpareZero) {
    const DiskData data = test::Raw().Fill(5, 0xFF).Data();
    EXPECT_EQ(data.FileLength(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(data.At(i), 0xFF);
    EXPECT_EQ(data.At(5), 0) << "the spare byte at FileLength reads as 0";
}

TEST(DiskData, ReadsOutsideTheIndicesStopTheAnalysis) {
    const DiskData data = test::Raw().Fill(5, 1).Data();
    for (const std::int64_t index : {std::int64_t{-1}, std::int64_t{6}, std::int64_t{1} << 40}) {
        EXPECT_THROW(data.At(index), AnalysisStopped) << index;
    }
    EXPECT_THROW(DiskData().At(0), AnalysisStopped) << "nothing loaded yet";
}

TEST(DiskData, EmptyImageHasOnlyTheSpareByte) {
    const DiskData data = test::Raw().Data();
    EXPECT_EQ(data.FileLength(), 0);
    EXPECT_EQ(data.At(0), 0);
    EXPECT_THROW(data.At(1), AnalysisStopped);
}

TEST(DiskData, ResetLeavesNothingOfALongerEarlierImage) {
    DiskData data = test::Raw().Fill(100, 0x77).Data();
    auto target = data.Reset(3);
    ASSERT_EQ(target.size(), 3u);
    EXPECT_EQ(data.FileLength(), 3);
    for (int i = 0; i <= 3; ++i) EXPECT_EQ(data.At(i), 0) << i;
    EXPECT_THROW(data.At(4), AnalysisStopped);
}

}  // namespace
}  // namespace tabulon
