#include "TestSupport.h"

#include "ContainerList.h"
#include "ImageBuilder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tabulon::test {

std::optional<SectorLocation> FindSystemSector(DiskData& image) {
    const auto container = OpenContainer(image);
    return container ? container->FindSector(image, kSystemSector) : std::nullopt;
}

TrackList ListTracks(DiskData& image, TrackDetail detail) {
    const auto container = OpenContainer(image);
    return container ? container->Tracks(image, detail) : TrackList{};
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tabulon-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

std::filesystem::path TempDir::Write(const std::string& name, std::span<const std::uint8_t> bytes) const {
    const auto file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
}

const std::vector<OutcomeImage>& OutcomeImages() {
    namespace img = images;
    const auto dmk = [](std::uint8_t marker) {
        return img::BuildDmkImage({}, img::MakeSystemSector(img::PdriveSlot{}, marker));
    };
    const auto jv3 = [](std::uint8_t marker) {
        return img::BuildJv3Image(
            img::StandardJv3Sectors(3, 10, false, img::MakeSystemSector(img::PdriveSlot{}, marker)));
    };
    static const std::vector<OutcomeImage> images = {
        {"DMK, marker right", dmk(0xA5), Outcome::DriveReport, false},
        {"JV3, marker right", jv3(0xA5), Outcome::DriveReport, true},
        {"DMK, marker wrong", dmk(0x5A), Outcome::NotNewdos, false},
        {"JV3, marker wrong", jv3(0xA4), Outcome::NotNewdos, true},
        {"nothing found", Bytes(20000, 0xE5), Outcome::NotFound, true},
        {"empty file", Bytes{}, Outcome::NotFound, true},
    };
    return images;
}

std::filesystem::path SamplesDir() { return TABULON_SAMPLES_DIR; }

namespace {
std::filesystem::path DirOrNone(const std::filesystem::path& dir) {
    std::error_code error;
    return std::filesystem::is_directory(dir, error) ? dir : std::filesystem::path{};
}
}  // namespace

std::filesystem::path SharedDir() { return DirOrNone(TABULON_SHARED_DIR); }

std::filesystem::path RealImagesDir() {
    const std::filesystem::path shared = SharedDir();
    return shared.empty() ? shared : DirOrNone(shared / "real-images");
}

Bytes ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tabulon::test
