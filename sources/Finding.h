#pragma once

#include <string>

namespace tabulon {

// What kind of thing a finding says, from the mildest on.
enum class FindingKind {
    Warning,  // the analysis went on: a CRC error, a checksum that does not match the file
    Stop,     // the analysis stopped part way: the image ends inside the system sector, ...
    Refusal,  // the image was not analysed: it cannot be opened or unpacked, is encrypted, too large, ...
    Damage,   // an archive that cannot be read on, or at all
    NoImage,  // an archive that holds no disk image
    Failure,  // anything else that ended it: no memory
};

// One thing said of an image, besides what its views show: the text in the
// program's own words, without the name of the image.
struct Finding {
    FindingKind Kind = FindingKind::Warning;
    std::string Text;

    bool operator==(const Finding&) const = default;
};

}  // namespace tabulon
