#pragma once

#include "ReportSurface.h"

namespace tabulon {

// A report surface that only keeps its lines, at a fixed line advance: for the
// tests and the command line, which prints the lines.
class RecordingSurface final : public ReportSurface {
public:
    static constexpr double kLineAdvance = 210;  // twips

protected:
    double LineAdvance() const override { return kLineAdvance; }
};

}  // namespace tabulon
