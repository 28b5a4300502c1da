#pragma once

#include "DiskData.h"
#include "DmkImage.h"
#include "HfeImage.h"
#include "ImdImage.h"
#include "Jv1Image.h"
#include "Jv3Image.h"
#include "Td0Image.h"
#include "KryoFluxImage.h"
#include "ScpImage.h"
#include "SectorLocation.h"

#include <optional>
#include <vector>
#include <variant>

namespace tabulon {

// What identifying an image learned: the parsed header of its container.
using ContainerHeader =
    std::variant<DmkHeader, Jv3Header, Jv1Header, HfeHeader, ImdHeader, Td0Header, ScpHeader, KryoFluxHeader>;

ImageFormat FormatOf(const ContainerHeader& header);

// The image's container, tried in this order, each by its own structure:
//   1. HFE: its signature, a track list and track 0 inside the file;
//   2. IMD: its signature, the comment's end and a well-formed first track;
//   3. TD0: its signature and the header's CRC;
//   4. SCP: its signature, a sane header and track table
//      (the signed containers first: a signature is the strongest sign);
//   5. KryoFlux: a stream that opens with a known out-of-band block and runs
//      well-formed through its first 64 KiB;
//   6. DMK: a header whose fields are sane and whose tracks fit the file;
//   7. JV3: a sector table with used entries whose data all lie inside the file;
//   8. JV1: a whole number of ten-sector tracks (the weakest sign, so the last).
std::optional<ContainerHeader> IdentifyContainer(const DiskData& image);

// Track 0, side 0, sector 2 through the container's structure.
std::optional<SectorLocation> LocateInContainer(const DiskData& image, const ContainerHeader& header);

// The ID fields of every track the container holds, and the cylinders its header
// declares where it does (DMK, HFE).
TrackList ContainerTracks(const DiskData& image, const ContainerHeader& header);

}  // namespace tabulon
