// Writes the shipped sample images into a folder:
//   tabulon-make-samples OUTDIR
// or flux captures of the usual NEWDOS/80 disk (FM track 0, MFM after) as an SCP
// file and a KryoFlux stream set (jitter a tenth of a cell, three revolutions):
//   tabulon-make-samples --flux OUTDIR [SPEED-PERCENT] [DAMAGED-REVOLUTION]
// The same builders serve the tests, so the samples can always be made again.
// Nothing is written but into the folder named; an option it does not know is a
// usage error (64), never a folder.
#include "FluxBuilder.h"
#include "ImageBuilder.h"
#include "TabulonVersion.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string_view>

namespace {

using namespace tabulon::images;

bool Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::cerr << "tabulon-make-samples: cannot write " << path << '\n';
        return false;
    }
    std::cout << path.string() << " (" << bytes.size() << " bytes)\n";
    return true;
}

// The usual NEWDOS/80 disk as flux: newdos80.scp and newdos80-kryoflux/trackCC.H.raw.
int WriteFlux(const std::filesystem::path& dir, double speed, int damaged) {
    std::error_code error;
    std::filesystem::create_directories(dir / "newdos80-kryoflux", error);
    DmkOptions disk;
    disk.Track0DoubleDensity = false;
    const PdriveSlot slot{.TrackCount = 40, .SectorsPerTrack = 18};
    const auto cells = DiskCells(disk, MakeSystemSector(slot));
    const FluxOptions options{.Jitter = 0.1, .Speed = speed, .Damaged = damaged};
    bool ok = Write(dir / "newdos80.scp", BuildScpImage(cells, options));
    for (const auto& [name, stream] : BuildKryoFluxSet(cells, options)) {
        std::ofstream out(dir / "newdos80-kryoflux" / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
        ok &= static_cast<bool>(out);
    }
    std::cout << (dir / "newdos80-kryoflux").string() << " (" << cells.size() << " stream files)\n";
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes Tabulon's sample disk images (or, with --flux, flux captures of a NEWDOS/80 disk) into OUTDIR",
                 "tabulon-make-samples"};
    app.set_version_flag("--version", std::string("tabulon-make-samples ") + TABULON_VERSION);
    std::string outdir;
    bool flux = false;
    double speedPercent = 0;
    int damaged = -1;
    app.add_flag("--flux", flux, "An SCP file and a KryoFlux stream set instead of the samples");
    app.add_option("OUTDIR", outdir, "The folder to write into (made when missing)")->required();
    auto* speed = app.add_option("SPEED-PERCENT", speedPercent, "With --flux: the drive's speed off by this much");
    app.add_option("DAMAGED-REVOLUTION", damaged, "With --flux: this revolution's flux damaged")->needs(speed);
    speed->needs("--flux");
    app.footer("Exit status: 0 written, 1 a file could not be written, 64 usage.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        return app.exit(success);  // --help, --version
    } catch (const CLI::ParseError& error) {
        std::cerr << "tabulon-make-samples: " << error.what() << "\n"
                  << "tabulon-make-samples: run 'tabulon-make-samples --help' for more information\n";
        return 64;
    }
    if (flux) return WriteFlux(outdir, speedPercent / 100, damaged);
    const std::filesystem::path dir = outdir;
    std::error_code error;
    std::filesystem::create_directories(dir, error);

    // A double-density NEWDOS/80 disk: TI=A, TD=E, 40 tracks, 18 sectors, step rate 3.
    const PdriveSlot ddSlot{.DirectoryStartLump = 17,
                            .Flags = 0x07,
                            .TrackCount = 40,
                            .SectorsPerTrack = 18,
                            .GranulesPerLump = 2,
                            .Flags2 = 0x00,
                            .DirectoryGranules = 2};
    // A single-density one: TI=A, TD=A, 40 tracks, 10 sectors.
    const PdriveSlot sdSlot{.DirectoryStartLump = 17,
                            .Flags = 0x07,
                            .TrackCount = 40,
                            .SectorsPerTrack = 10,
                            .GranulesPerLump = 2,
                            .Flags2 = 0x00,
                            .DirectoryGranules = 2};

    bool ok = true;
    ok &= Write(dir / "dmk-drive-report.dsk", BuildDmkImage({}, MakeSystemSector(ddSlot)));
    ok &=
        Write(dir / "jv3-drive-report.dsk", BuildJv3Image(StandardJv3Sectors(40, 10, false, MakeSystemSector(sdSlot))));
    ok &= Write(dir / "dmk-wrong-marker.dsk", BuildDmkImage({}, MakeSystemSector(ddSlot, 0x00)));
    // The usual NEWDOS/80 mix: single-density track 0 (FM, bytes stored twice),
    // double density elsewhere. Track 0 holds no MFM ID field to find, and the
    // first 8706 bytes hold no JV3 entry for track 0, sector 2.
    DmkOptions mixed;
    mixed.Track0DoubleDensity = false;
    ok &= Write(dir / "not-found.dsk", BuildDmkImage(mixed, MakeSystemSector(ddSlot)));
    // The same mixed disk as an archivist's ImageDisk file, and its first five
    // cylinders as a floppy emulator's bit stream (FM cells doubled, as real
    // files store them): small, and a table that does not fit the image.
    DmkOptions fiveCylinders = mixed;
    fiveCylinders.Tracks = 5;
    ok &= Write(dir / "hfe-drive-report.hfe", BuildHfeImage({.Disk = fiveCylinders}, MakeSystemSector(ddSlot)));
    ok &= Write(dir / "imd-drive-report.imd", BuildImdImage({.Disk = mixed}, MakeSystemSector(ddSlot)));
    return ok ? 0 : 1;
}
