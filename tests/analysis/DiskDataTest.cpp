#include "AnalysisStopped.h"
#include "DiskData.h"
#include "ImageFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace tabulon {
namespace {

TEST(DiskData, HoldsTheBytesAndOneSpareZero) {
    DiskData data = test::Raw().Fill(5, 0xFF).Data();
    EXPECT_EQ(data.FileLength(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(data.At(i), 0xFF);
    EXPECT_EQ(data.At(5), 0) << "the spare byte at FileLength reads as 0";
    for (const std::int64_t index : {std::int64_t{-1}, std::int64_t{6}, std::int64_t{1} << 40}) {
        EXPECT_THROW(data.At(index), AnalysisStopped) << index;
    }
    DiskData empty = test::Raw().Data();
    EXPECT_EQ(empty.At(0), 0);
    EXPECT_THROW(empty.At(1), AnalysisStopped);
}

// An image of several cache blocks on disk, loaded through the open-file slot.
class DiskDataFromFile : public ::testing::Test {
protected:
    void Load(std::size_t length) {
        bytes_.resize(length);
        for (std::size_t i = 0; i < length; ++i) bytes_[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        path_ = dir_.Write("image.dsk", bytes_);
        ImageFile file;
        ASSERT_TRUE(file.Open(path_.string()).Opened());
        data_ = file.Load();
    }
    test::TempDir dir_;
    test::Bytes bytes_;
    std::filesystem::path path_;
    DiskData data_;
};

TEST_F(DiskDataFromFile, ReadsAnyByteOnDemandWhateverTheOrder) {
    const std::int64_t block = DiskData::kBlockSize;
    Load(static_cast<std::size_t>(block * (DiskData::kCachedBlocks + 3) + 17));
    const std::int64_t length = data_.FileLength();
    // Forwards, backwards and across every block edge, more blocks than the cache holds.
    for (std::int64_t i = length - 1; i >= 0; i -= 997) EXPECT_EQ(data_.At(i), bytes_[std::size_t(i)]) << i;
    for (std::int64_t edge = block; edge < length; edge += block) {
        EXPECT_EQ(data_.At(edge - 1), bytes_[std::size_t(edge - 1)]);
        EXPECT_EQ(data_.At(edge), bytes_[std::size_t(edge)]);
    }
    EXPECT_EQ(data_.At(length), 0);
    EXPECT_THROW(data_.At(length + 1), AnalysisStopped);
}

TEST_F(DiskDataFromFile, CopiesRunsAcrossBlockEdgesAsAtReadsThem) {
    const std::int64_t block = DiskData::kBlockSize;
    Load(static_cast<std::size_t>(block * (DiskData::kCachedBlocks + 3) + 17));
    const std::int64_t length = data_.FileLength();
    // Runs inside one block, over one edge, over many (more than the cache holds), and up to the spare byte.
    for (const auto& [start, count] : {std::pair<std::int64_t, std::int64_t>{5, 100},
                                       {block - 3, 10},
                                       {block / 2, block * (DiskData::kCachedBlocks + 1)},
                                       {length - 40, 41},
                                       {0, length + 1}}) {
        test::Bytes out(static_cast<std::size_t>(count));
        data_.CopyTo(start, out);
        for (std::int64_t i = 0; i < count; ++i) {
            ASSERT_EQ(out[std::size_t(i)], data_.At(start + i)) << start << " + " << i;
        }
    }
    test::Bytes two(2);
    EXPECT_THROW(data_.CopyTo(length, two), AnalysisStopped) << "past the spare byte";
    EXPECT_THROW(data_.CopyTo(-1, two), AnalysisStopped);
    DiskData memory = DiskData::FromBytes(bytes_);
    test::Bytes all(bytes_.size() + 1);
    memory.CopyTo(0, all);
    EXPECT_TRUE(std::equal(bytes_.begin(), bytes_.end(), all.begin()));
    EXPECT_EQ(all.back(), 0);
    EXPECT_THROW(memory.CopyTo(length, two), AnalysisStopped);
}

TEST_F(DiskDataFromFile, AFileCutShortAfterTheLoadStopsAndIsNeverReadAsZeros) {
    Load(40000);
    std::filesystem::resize_file(path_, 20000);
    EXPECT_EQ(data_.At(100), bytes_[100]) << "the first block was read at the load";
    try {
        data_.At(39000);
        FAIL() << "expected a stop";
    } catch (const AnalysisStopped& stop) {
        EXPECT_EQ(stop.WhyStopped(), AnalysisStopped::Reason::ImageChanged);
        EXPECT_STREQ(stop.what(), "the image changed while it was being read");
    }
    EXPECT_FALSE(data_.IsOpen()) << "closed at once";
}

TEST_F(DiskDataFromFile, ReadingAheadPastACutStopsOnlyWhereTheBytesAskedForAreMissing) {
    const std::int64_t block = DiskData::kBlockSize;
    Load(static_cast<std::size_t>(5 * block));
    std::filesystem::resize_file(path_, static_cast<std::uintmax_t>(2 * block + 10));
    EXPECT_EQ(data_.At(block + 5), bytes_[std::size_t(block + 5)]) << "block 1 is whole; the blocks after are not";
    EXPECT_THROW(data_.At(2 * block + 5), AnalysisStopped) << "block 2 is not whole any more";
}

TEST_F(DiskDataFromFile, AfterCloseOnlyTheBytesReadBeforeRemain) {
    Load(40000);
    data_.Close();
    EXPECT_EQ(data_.At(5), bytes_[5]);
    EXPECT_THROW(data_.At(39000), AnalysisStopped);
}

}  // namespace
}  // namespace tabulon
