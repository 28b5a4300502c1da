#include "TextView.h"

#include "DiskView.h"
#include "DriveReport.h"
#include "RecordingSurface.h"
#include "ReportLines.h"
#include "ShownName.h"
#include "TrackView.h"

#include <sstream>

namespace tabulon {

namespace {

std::string Plural(int count, std::string_view one, std::string_view many) {
    std::string text = std::to_string(count);
    text += ' ';
    text += count == 1 ? one : many;
    return text;
}

// "cylinders 40 vs 80": what the table says, then what the image holds.
std::string DifferenceText(const Difference& difference) {
    const auto value = [&difference](int number) {
        return difference.Field == CheckedField::Density ? std::string(DensityWord(DensityOfNumber(number)))
                                                         : std::to_string(number);
    };
    const std::string_view name =
        difference.Field == CheckedField::SectorsPerCylinder ? "sectors per cylinder" : FieldName(difference.Field);
    return std::string(name) + " " + value(difference.Table) + " vs " + value(difference.Image);
}

std::string Differences(const std::vector<Difference>& differences) {
    std::string text;
    for (const Difference& difference : differences) text += (text.empty() ? "" : ", ") + DifferenceText(difference);
    return text;
}

void WriteLine(std::string_view text, bool red, std::ostream& out) {
    if (red && !text.empty()) {
        out << "\x1b[31m" << text << "\x1b[0m\n";
    } else {
        out << text << '\n';
    }
}

}  // namespace

std::string NumberRuns(const std::vector<int>& numbers) {
    std::ostringstream text;
    for (std::size_t n = 0; n < numbers.size();) {
        std::size_t end = n + 1;  // past the run that starts at n
        while (end < numbers.size() && numbers[end] == numbers[end - 1] + 1) ++end;
        text << (n == 0 ? "" : " ") << numbers[n];
        if (end - n >= 3) {
            text << '-' << numbers[end - 1];
        } else if (end - n == 2) {
            text << ' ' << numbers[n + 1];
        }
        n = end;
    }
    return text.str();
}

std::string_view DensityWord(Density density) { return density == Density::Single ? "single" : "double"; }

std::string_view FieldName(CheckedField field) {
    switch (field) {
    case CheckedField::Cylinders: return "cylinders";
    case CheckedField::Sides: return "sides";
    case CheckedField::Density: return "density";
    case CheckedField::SectorsPerCylinder: return "sectorsPerCylinder";
    }
    return {};
}

std::string GeometryLine(const ImageResult& result) {
    const Analysis& run = result.Run;
    if (run.GeometryStop) return std::string("Image: geometry unknown (") + StopMessage(*run.GeometryStop) + ")";
    const std::optional<ImageGeometry>& geometry = run.Geometry;
    if (!geometry && run.NoTracksDeclared) return "Image: geometry unknown (the header declares no tracks)";
    if (!geometry && run.Opened() != nullptr) {
        return "Image: geometry unknown (no sector on any track)";
    }
    if (!geometry) return "Image: geometry unknown (no container structure recognised)";
    std::ostringstream line;
    line << "Image: " << Plural(geometry->Cylinders, "cylinder", "cylinders");
    if (!geometry->MissingCylinders.empty()) line << " (missing: " << NumberRuns(geometry->MissingCylinders) << ')';
    line << ", " << Plural(geometry->Sides, "side", "sides") << ", track 0 " << DensityWord(geometry->Track0Density)
         << " density, data tracks " << DensityWord(geometry->DataDensity) << " density, "
         << Plural(geometry->SectorsPerTrack, "sector", "sectors") << " of " << geometry->SectorSize
         << " bytes per track";
    if (geometry->Cut()) {
        line << "; the image is cut: the header declares " << *geometry->DeclaredCylinders
             << " cylinders, the file holds " << geometry->HeldCylinders;
    }
    if (geometry->DeclaredSides) {  // only ever 2 where side 1 is empty
        line << "; the header declares " << *geometry->DeclaredSides << " sides; side 1 holds no sectors";
    }
    return line.str();
}

std::string CheckLine(const ImageResult& result) {
    if (!result.Run.Table()) return "Check: no PDRIVE table to check it against";
    if (!result.Run.Check) return "Check: not possible without the image's geometry";
    if (result.Run.Check->empty()) return "Check: slot 0 fits the image";
    return "Check: slot 0 differs from the image (table vs image): " + Differences(*result.Run.Check);
}

std::string BriefVerdict(const ImageResult& result) {
    if (!result.Run.Check) return "unchecked";
    return result.Run.Check->empty() ? "fits" : "differs: " + Differences(*result.Run.Check);
}

void WriteReport(const ImageResult& result, const ReportOptions& options, std::ostream& out) {
    RecordingSurface surface;
    DrawDriveReport(surface, result.Run, result.Shown);
    for (const ReportSurface::Line& line : surface.Lines()) {
        WriteLine(line.Text, options.Color && line.Color == kRed, out);
    }
    if (options.AllSlots && result.Run.Slot) {
        out << '\n';
        int number = 0;
        for (const auto& slot : result.Run.Slots) {
            out << "Slot " << number++ << ':'
                << (slot ? FormatDriveLine(DescribeDriveSlot(*slot)) : "  (past the end of the image)") << '\n';
        }
    }
    if (options.Geometry) out << '\n' << GeometryLine(result) << '\n' << CheckLine(result) << '\n';
    if (options.Disk || options.Files) out << '\n';
    if (options.Disk) WriteDisk(result, options, out);
    if (options.Files) WriteFiles(result, out);
    if (options.Tracks) {
        out << '\n';
        WriteTracks(result, out);
    }
}

std::string BriefFields(const ImageResult& result) {
    const Analysis& run = result.Run;
    const std::optional<ImageFormat> format = run.Format();
    const std::string_view method = !run.Search                                     ? "-"
                                    : run.Search->Method == LocateMethod::Structure ? "structure"
                                                                                    : "scan";
    std::ostringstream line;
    line << InfoOf(result.Result).Name << "  " << (format ? format->Name : "-") << "  " << method;
    if (const auto slot = run.Table(); slot && result.Result == Outcome::DriveReport) {
        std::string ti = InterfaceType(*slot);
        if (ti.back() == ' ') ti.pop_back();
        line << "  TI=" << ti << " TD=" << DescribeDriveSlot(*slot).DiskType << " TC=" << int{slot->TrackCount}
             << " SPT=" << int{slot->SectorsPerTrack} << " TSR=" << int{slot->TrackStepRate()}
             << " GPL=" << int{slot->GranulesPerLump} << " DDSL=" << int{slot->DirectoryStartLump}
             << " DDGA=" << int{slot->DirectoryGranules} << "  " << BriefVerdict(result);
    }
    return line.str();
}

void WriteBrief(const ImageResult& result, const ReportOptions& options, std::ostream& out) {
    std::string line = ShownName(result.Given) + "  " + BriefFields(result);
    if (options.Disk) line += "  " + BriefDisk(result);
    WriteLine(line, options.Color && result.Result == Outcome::NotFound, out);
}

}  // namespace tabulon
