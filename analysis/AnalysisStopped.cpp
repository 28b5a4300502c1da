#include "AnalysisStopped.h"

namespace tabulon {

namespace {
const char* Describe(AnalysisStopped::Reason reason) {
    switch (reason) {
    case AnalysisStopped::Reason::NoOpenFile: return "no image file is open";
    case AnalysisStopped::Reason::ReadError: return "the image file could not be read";
    case AnalysisStopped::Reason::ImageChanged: return "the image changed while it was being read";
    case AnalysisStopped::Reason::ReadOutsideImage: return "the image ends inside the system sector";
    }
    return "analysis stopped";
}
}  // namespace

AnalysisStopped::AnalysisStopped(Reason reason) : std::runtime_error(Describe(reason)), reason_(reason) {}

}  // namespace tabulon
