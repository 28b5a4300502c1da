#pragma once

#include <stdexcept>

namespace tabulon {

// Thrown inside an analysis when it cannot go on: no image is open at the load
// step, the image could not be read, it changed while being read, or a read
// falls outside the image or outside the bytes of the sector found in it. The
// analysis catches it and hands the reason back as data; what was drawn until
// then stays.
class AnalysisStopped : public std::runtime_error {
public:
    enum class Reason {
        NoOpenFile,         // the load step found no open image
        ReadError,          // the system failed to read the image
        ImageChanged,       // the file ended before the length taken at the load step
        ReadOutsideImage,   // a read past the image's last byte (or before its first)
        SectorBeyondImage,  // the sector would start past the image's last byte
        SectorCutShort,     // a read past the bytes a sector's track holds
    };

    explicit AnalysisStopped(Reason reason);

    Reason WhyStopped() const noexcept { return reason_; }

private:
    Reason reason_;
};

// What the exception being handled says ("not enough memory", ...); call it
// only inside a catch block.
const char* CurrentFailure();

// What a stop's reason says, for messages: "the image ends inside the system sector", ...
const char* StopMessage(AnalysisStopped::Reason reason);

}  // namespace tabulon
