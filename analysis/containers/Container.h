#pragma once

#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"

#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace tabulon {

class Container;

// One kind of container, as the list of containers holds it: its names, the
// extensions its files usually go by, and how an image is identified as one
// and opened. Identifying reads only what it must; opening keeps what it learnt.
struct ContainerType {
    ImageFormat Format;                                   // short name and the report's label
    std::span<const std::string_view> Extensions;         // lower case, with the dot
    std::unique_ptr<Container> (*Open)(DiskData& image);  // nothing when the image is not one
    // Of the names in one folder, the file that opens a set of files this
    // container reads as one image (KryoFlux stream sets); none for the others.
    std::optional<std::string_view> (*FirstOfSet)(std::span<const std::string> names) = nullptr;
};

// What a container records of the whole file that does not hold.
enum class FileCheck {
    ChecksumMismatch,  // its checksum of the file does not match the file
};

// An image opened as its container.
class Container {
public:
    explicit Container(const ContainerType& type) : type_(&type) {}
    virtual ~Container() = default;
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    const ContainerType& Type() const noexcept { return *type_; }

    // The sector at address, through the container's structure.
    virtual std::optional<SectorLocation> FindSector(DiskData& image, const SectorPosition& address) = 0;

    // The sectors of every track the container holds, in the order they lie,
    // with what reading them found as far as detail asks; and the cylinders its
    // header declares where it does. Each track is read once.
    virtual TrackList Tracks(DiskData& image, TrackDetail detail = TrackDetail::IdsOnly) = 0;

    // What the container records of the whole file and the file does not bear
    // out; none when it records nothing. Reads the whole file.
    virtual std::optional<FileCheck> CheckWholeFile(DiskData& /*image*/) { return std::nullopt; }

private:
    const ContainerType* type_;
};

// A container that keeps the header identification parsed and answers through
// its own functions: the usual shape of one, so that each needs no class of its own.
template <class Header>
struct ContainerFunctions {
    std::optional<Header> (*Identify)(DiskData&);
    std::optional<SectorLocation> (*Find)(DiskData&, const Header&, const SectorPosition&);
    TrackList (*Tracks)(DiskData&, const Header&, TrackDetail);
    std::optional<FileCheck> (*CheckWholeFile)(DiskData&, const Header&) = nullptr;
};

template <class Header, const ContainerType& Kind, const ContainerFunctions<Header>& Functions>
class HeaderContainer final : public Container {
public:
    explicit HeaderContainer(Header header) : Container(Kind), header_(std::move(header)) {}

    static std::unique_ptr<Container> Open(DiskData& image) {
        auto header = Functions.Identify(image);
        if (!header) return nullptr;
        return std::make_unique<HeaderContainer>(std::move(*header));
    }
    std::optional<SectorLocation> FindSector(DiskData& image, const SectorPosition& address) override {
        return Functions.Find(image, header_, address);
    }
    TrackList Tracks(DiskData& image, TrackDetail detail) override { return Functions.Tracks(image, header_, detail); }
    std::optional<FileCheck> CheckWholeFile(DiskData& image) override {
        return Functions.CheckWholeFile != nullptr ? Functions.CheckWholeFile(image, header_) : std::nullopt;
    }

private:
    Header header_;
};

// Whether an ID field names the sector at address.
constexpr bool Names(const SectorId& id, const SectorPosition& address) {
    return id.Cylinder == address.Cylinder && id.Head == address.Side && id.Sector == address.Sector;
}

// The tracks of a container whose header declares no cylinder count.
inline TrackList Undeclared(std::vector<TrackLayout> tracks) { return {std::move(tracks), std::nullopt, 0}; }

}  // namespace tabulon
