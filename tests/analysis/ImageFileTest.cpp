#include "AnalysisStopped.h"
#include "ImageFile.h"
#include "ImagePath.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tabulon {
namespace {

namespace fs = std::filesystem;

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

TEST(ImageFileLoad, HandsTheFileToDiskDataUntilItIsClosed) {
    test::TempDir dir;
    const auto path = dir.Write("image.dsk", test::Bytes{1, 2, 3, 4, 5});
    const int before = OpenDescriptors();

    ImageFile file;
    ASSERT_TRUE(file.Open(path.string()).Opened());
    EXPECT_TRUE(file.IsOpen());
    DiskData data;
    data = file.Load();

    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(data.IsOpen());
    data.Close();
    EXPECT_EQ(OpenDescriptors(), before);
    ASSERT_EQ(data.FileLength(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(data.At(i), i + 1);
    EXPECT_EQ(data.At(5), 0);
}

TEST(ImageFileLoad, ShorterImageAfterLongerOneKeepsNothingOfIt) {
    test::TempDir dir;
    ImageFile file;
    DiskData data;
    ASSERT_TRUE(file.Open(dir.Write("long.dsk", test::Bytes(1000, 0xAB)).string()).Opened());
    data = file.Load();
    ASSERT_TRUE(file.Open(dir.Write("short.dsk", test::Bytes(2, 0x11)).string()).Opened());
    data = file.Load();
    EXPECT_EQ(data.FileLength(), 2);
    EXPECT_EQ(data.At(2), 0);
    EXPECT_THROW(data.At(3), AnalysisStopped);
}

TEST(ImageFileLoad, EmptyFileGivesOneSpareByte) {
    test::TempDir dir;
    ImageFile file;
    DiskData data;
    ASSERT_TRUE(file.Open(dir.Write("empty.dsk", test::Bytes{}).string()).Opened());
    data = file.Load();
    EXPECT_EQ(data.FileLength(), 0);
    EXPECT_EQ(data.At(0), 0);
}

TEST(ImageFileLoad, WithoutAnOpenFileStopsAndKeepsTheEarlierImage) {
    DiskData data = test::Raw().Fill(3, 9).Data();
    ImageFile file;
    try {
        data = file.Load();
        FAIL() << "expected a stop";
    } catch (const AnalysisStopped& stop) {
        EXPECT_EQ(stop.WhyStopped(), AnalysisStopped::Reason::NoOpenFile);
    }
    EXPECT_EQ(data.FileLength(), 3);
    EXPECT_EQ(data.At(0), 9);
}

struct RefusedCase {
    const char* name;
    OpenFailure failure;
};

class RefusedOpen : public ::testing::TestWithParam<RefusedCase> {};

// Each case makes a path that must be refused without creating, writing or
// hanging on anything, and without leaving a descriptor open.
TEST_P(RefusedOpen, IsRefusedAtOnce) {
    test::TempDir dir;
    const std::string kind = GetParam().name;
    fs::path path = dir.path() / "target";
    if (kind == "missing") {
        // nothing there
    } else if (kind == "directory") {
        fs::create_directory(path);
    } else if (kind == "fifo") {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    } else if (kind == "device") {
        path = "/dev/null";
    } else if (kind == "dangling-link") {
        fs::create_symlink(dir.path() / "nowhere", path);
    } else if (kind == "link-to-directory") {
        fs::create_directory(dir.path() / "sub");
        fs::create_symlink(dir.path() / "sub", path);
    } else if (kind == "too-large") {
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{1} << 31), 0);  // sparse: 2,147,483,648 bytes
        ::close(fd);
    } else if (kind == "empty-name") {
        path = "";
    }
    const int before = OpenDescriptors();

    ImageFile file;
    const OpenResult result = file.Open(path.string());

    EXPECT_FALSE(result.Opened());
    EXPECT_EQ(result.Failure, GetParam().failure);
    EXPECT_FALSE(result.Reason.empty());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(OpenDescriptors(), before);
    if (kind == "missing") {
        EXPECT_FALSE(fs::exists(path)) << "a missing name must not be created";
    }
    DiskData data;
    EXPECT_THROW(data = file.Load(), AnalysisStopped);
}

INSTANTIATE_TEST_SUITE_P(Paths, RefusedOpen,
                         ::testing::Values(RefusedCase{"missing", OpenFailure::CannotOpen},
                                           RefusedCase{"directory", OpenFailure::IsDirectory},
                                           RefusedCase{"fifo", OpenFailure::NotRegularFile},
                                           RefusedCase{"device", OpenFailure::NotRegularFile},
                                           RefusedCase{"dangling-link", OpenFailure::CannotOpen},
                                           RefusedCase{"link-to-directory", OpenFailure::IsDirectory},
                                           RefusedCase{"too-large", OpenFailure::TooLarge},
                                           RefusedCase{"empty-name", OpenFailure::CannotOpen}),
                         [](const ::testing::TestParamInfo<RefusedCase>& param) {
                             std::string name = param.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(ImageFile, OpeningAgainClosesTheEarlierFileFirst) {
    test::TempDir dir;
    const auto a = dir.Write("a.dsk", test::Bytes{1});
    const int before = OpenDescriptors();
    {
        ImageFile file;
        ASSERT_TRUE(file.Open(a.string()).Opened());
        ASSERT_TRUE(file.Open(a.string()).Opened());
        EXPECT_EQ(OpenDescriptors(), before + 1);
        EXPECT_FALSE(file.Open((dir.path() / "missing").string()).Opened());
        EXPECT_EQ(OpenDescriptors(), before) << "a failed open leaves nothing open";
        ASSERT_TRUE(file.Open(a.string()).Opened());
    }
    EXPECT_EQ(OpenDescriptors(), before) << "the slot closes with its owner";
}

// A KryoFlux stream set: the folder opens its first track, and every file
// beside the one opened is reached by name, one at a time.
TEST(ImagePath, AFolderOfStreamsOpensItsFirstTrackWithTheOthersBeside) {
    test::TempDir dir;
    dir.Write("track01.0.raw", test::Bytes{1});
    dir.Write("track00.1.raw", test::Bytes{2});
    dir.Write("track00.0.raw", test::Bytes{3, 3});
    dir.Write("notes.txt", test::Bytes{4});
    ImageFile file;
    ASSERT_TRUE(OpenImagePath(dir.path().string(), file).Opened());
    EXPECT_EQ(file.Name(), "track00.0.raw");
    DiskData data;
    data = file.Load();
    EXPECT_EQ(data.FileLength(), 2);
    auto beside = data.OpenSibling("track01.0.raw");
    ASSERT_TRUE(beside);
    EXPECT_EQ(beside->At(0), 1);
    EXPECT_EQ(beside->Name(), "track01.0.raw");
    EXPECT_FALSE(data.OpenSibling("track02.0.raw"));
    EXPECT_FALSE(data.OpenSibling("../" + dir.path().filename().string() + "/notes.txt")) << "names only, no folders";

    test::TempDir empty;
    EXPECT_EQ(OpenImagePath(empty.path().string(), file).Failure, OpenFailure::IsDirectory)
        << "no streams: still a folder";
}

}  // namespace
}  // namespace tabulon
