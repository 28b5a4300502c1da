#include "AnalysisStopped.h"

#include <exception>
#include <new>

namespace tabulon {

const char* StopMessage(AnalysisStopped::Reason reason) {
    switch (reason) {
    case AnalysisStopped::Reason::NoOpenFile: return "no image file is open";
    case AnalysisStopped::Reason::ReadError: return "the image file could not be read";
    case AnalysisStopped::Reason::ImageChanged: return "the image changed while it was being read";
    case AnalysisStopped::Reason::ReadOutsideImage: return "the image ends inside the system sector";
    case AnalysisStopped::Reason::SectorBeyondImage: return "the system sector lies beyond the end of the image";
    case AnalysisStopped::Reason::SectorCutShort: return "the system sector runs past the end of its track";
    }
    return "analysis stopped";
}

const char* CurrentFailure() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "not enough memory";
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unexpected error";
    }
}

AnalysisStopped::AnalysisStopped(Reason reason) : std::runtime_error(StopMessage(reason)), reason_(reason) {}

}  // namespace tabulon
