#pragma once

#include <stdexcept>

namespace tabulon {

// Thrown when one analysis cannot go on: no image is open at the load step, the
// image could not be read, or a read falls outside the loaded image. Whoever runs
// the analysis catches it and ends quietly; what was drawn until then stays.
class AnalysisStopped : public std::runtime_error {
public:
    enum class Reason {
        NoOpenFile,        // the load step found no open image
        ReadError,         // the image could not be read to its end
        ReadOutsideImage,  // a read past the image's last byte (or before its first)
    };

    explicit AnalysisStopped(Reason reason);

    Reason WhyStopped() const noexcept { return reason_; }

private:
    Reason reason_;
};

}  // namespace tabulon
