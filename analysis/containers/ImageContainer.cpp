#include "ImageContainer.h"

namespace tabulon {

namespace {
template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;  // for compilers without aggregate deduction (clang before 17)
}  // namespace

ImageFormat FormatOf(const ContainerHeader& header) {
    return std::visit(
        Overloaded{[](const DmkHeader&) { return ImageFormat::Dmk; }, [](const Jv3Header&) { return ImageFormat::Jv3; },
                   [](const Jv1Header&) { return ImageFormat::Jv1; }, [](const HfeHeader&) { return ImageFormat::Hfe; },
                   [](const ImdHeader&) { return ImageFormat::Imd; }, [](const Td0Header&) { return ImageFormat::Td0; },
                   [](const ScpHeader&) { return ImageFormat::Scp; },
                   [](const KryoFluxHeader&) { return ImageFormat::KryoFlux; }},
        header);
}

std::optional<ContainerHeader> IdentifyContainer(const DiskData& image) {
    if (auto hfe = IdentifyHfe(image)) return *hfe;
    if (auto imd = IdentifyImd(image)) return *imd;
    if (auto td0 = IdentifyTd0(image)) return *td0;
    if (auto scp = IdentifyScp(image)) return *scp;
    if (auto kryoFlux = IdentifyKryoFlux(image)) return *kryoFlux;
    if (auto dmk = IdentifyDmk(image)) return *dmk;
    if (auto jv3 = IdentifyJv3(image)) return *jv3;
    if (auto jv1 = IdentifyJv1(image)) return *jv1;
    return std::nullopt;
}

std::optional<SectorLocation> LocateInContainer(const DiskData& image, const ContainerHeader& header) {
    return std::visit(Overloaded{[&](const DmkHeader& dmk) { return LocateInDmk(image, dmk); },
                                 [&](const Jv3Header& jv3) { return LocateInJv3(image, jv3); },
                                 [&](const Jv1Header& jv1) { return LocateInJv1(image, jv1); },
                                 [&](const HfeHeader& hfe) { return LocateInHfe(image, hfe); },
                                 [&](const ImdHeader& imd) { return LocateInImd(image, imd); },
                                 [&](const Td0Header& td0) { return LocateInTd0(image, td0); },
                                 [&](const ScpHeader& scp) { return LocateInScp(image, scp); },
                                 [&](const KryoFluxHeader& kf) { return LocateInKryoFlux(image, kf); }},
                      header);
}

TrackList ContainerTracks(const DiskData& image, const ContainerHeader& header) {
    // JV3, JV1, IMD, TD0, SCP and KryoFlux declare no cylinder count.
    const auto undeclared = [](std::vector<TrackLayout> tracks) {
        return TrackList{std::move(tracks), std::nullopt, 0};
    };
    return std::visit(Overloaded{[&](const DmkHeader& dmk) { return DmkTracks(image, dmk); },
                                 [&](const Jv3Header& jv3) { return undeclared(Jv3Tracks(image, jv3)); },
                                 [&](const Jv1Header& jv1) { return undeclared(Jv1Tracks(image, jv1)); },
                                 [&](const HfeHeader& hfe) { return HfeTracks(image, hfe); },
                                 [&](const ImdHeader& imd) { return undeclared(ImdTracks(image, imd)); },
                                 [&](const Td0Header& td0) { return undeclared(Td0Tracks(image, td0)); },
                                 [&](const ScpHeader& scp) { return undeclared(ScpTracks(image, scp)); },
                                 [&](const KryoFluxHeader& kf) { return undeclared(KryoFluxTracks(image, kf)); }},
                      header);
}

}  // namespace tabulon
