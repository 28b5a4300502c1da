#pragma once

#include "DiskData.h"
#include "SectorLocation.h"
#include "TrackLayout.h"
#include "TrackWalk.h"

#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace tabulon {

class Container;

// What reaching one sector costs a container, which decides how a reader of
// many sectors asks for them.
enum class SectorReach {
    Direct,      // straight to the sector: ask for each alone
    ByTrack,     // as much as a track's (HFE decodes the track's cells, JV3 looks through
                 // its tables for the track's entries): ask for a track's sectors together
    InSequence,  // reading every track before its own (TD0, IMD): list the tracks at once
                 // (the listing holds the data marks whatever the detail) and ask for a
                 // track's sectors together
};

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
    SectorReach Reach = SectorReach::Direct;
    bool KeepsDataMarks = true;  // JV1 records none: every sector reads as an ordinary one
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

    // Meets the tracks in scope in the order the container holds them, until
    // visit returns false. Finding a sector and listing the tracks are two uses of it.
    virtual void Walk(DiskData& image, const WalkScope& scope, const TrackVisitor& visit) = 0;

    // The sector at address: found on the first track the walk meets at its
    // place, or on a later one there where the container may record a place twice.
    std::optional<SectorLocation> FindSector(DiskData& image, const SectorPosition& address);

    // The sectors numbered numbers at place, each as FindSector gives it, read in
    // one walk (its tracks at place met once).
    std::vector<std::optional<SectorLocation>> FindSectors(DiskData& image, TrackPlace place,
                                                           std::span<const int> numbers);

    // The sectors of every track the file holds whole, in the order the walk
    // meets them, with what reading them found as far as detail asks; and what
    // the header declares where it does. Each track is read once.
    TrackList Tracks(DiskData& image, TrackDetail detail = TrackDetail::IdsOnly);

    // What the container records of the whole file and the file does not bear
    // out; none when it records nothing. Reads the whole file.
    virtual std::optional<FileCheck> CheckWholeFile(DiskData& /*image*/) { return std::nullopt; }

protected:
    // A track listing before any track: what the header declares, and which ID fields count.
    virtual TrackList Declared(DiskData& image);
    // Whether a place may hold more than one track record, each to be searched in turn.
    virtual bool PlacesRepeat() const { return false; }

private:
    const ContainerType* type_;
};

// A container that keeps the header identification parsed and answers through
// its own functions: the usual shape of one, so that each needs no class of its own.
template <class Header>
struct ContainerFunctions {
    std::optional<Header> (*Identify)(DiskData&);
    void (*Walk)(DiskData&, const Header&, const WalkScope&, const TrackVisitor&);
    TrackList (*Declared)(DiskData&, const Header&) = nullptr;
    std::optional<FileCheck> (*CheckWholeFile)(DiskData&, const Header&) = nullptr;
    bool PlacesRepeat = false;
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
    void Walk(DiskData& image, const WalkScope& scope, const TrackVisitor& visit) override {
        Functions.Walk(image, header_, scope, visit);
    }
    std::optional<FileCheck> CheckWholeFile(DiskData& image) override {
        return Functions.CheckWholeFile != nullptr ? Functions.CheckWholeFile(image, header_) : std::nullopt;
    }

protected:
    TrackList Declared(DiskData& image) override {
        return Functions.Declared != nullptr ? Functions.Declared(image, header_) : Container::Declared(image);
    }
    bool PlacesRepeat() const override { return Functions.PlacesRepeat; }

private:
    Header header_;
};

// Whether a walk in scope meets a track at place.
constexpr bool InScope(const WalkScope& scope, TrackPlace place) { return !scope || *scope == place; }

// For a container that can go straight to any place: calls meet(place) for
// each place of cylinders by sides in order, or for the scope's place alone
// where it is one of them, until meet returns false.
template <class Meet>
void ForEachPlace(const WalkScope& scope, int cylinders, int sides, Meet meet) {
    if (scope) {
        if (scope->Cylinder >= 0 && scope->Cylinder < cylinders && scope->Side >= 0 && scope->Side < sides) {
            meet(*scope);
        }
        return;
    }
    for (int cylinder = 0; cylinder < cylinders; ++cylinder) {
        for (int side = 0; side < sides; ++side) {
            if (!meet(TrackPlace{cylinder, side})) return;
        }
    }
}

// Whether an ID field names the sector at address.
constexpr bool Names(const SectorId& id, const SectorPosition& address) {
    return id.Cylinder == address.Cylinder && id.Head == address.Side && id.Sector == address.Sector;
}

}  // namespace tabulon
