// tabulon-report: the drive report of Tabulon's window, for scripts and batch checks.
#include "ReportCommand.h"
#include "TabulonVersion.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    using namespace tabulon::cli;

    CLI::App app{"Shows the NEWDOS/80 drive parameters (first PDRIVE slot) of TRS-80 emulator disk images\n"
                 "(DMK or JV3), exactly as the Tabulon window reports them.",
                 "tabulon-report"};
    app.set_version_flag("--version", std::string("tabulon-report ") + TABULON_VERSION);
    app.footer(
        "Exit status: 0 drive report, 1 not a Newdos disk, 2 sector not found, 3 analysis stopped early\n"
        "(the image ends inside the system sector), 4 cannot open; the highest over all images; 64 usage.");

    std::vector<std::string> images;
    bool json = false;
    std::string color = "auto";
    app.add_flag("--json", json, "One JSON object per image, one per line");
    app.add_option("--color", color, "Red lines in red: auto (on a terminal), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->capture_default_str();
    std::string locate = "auto";
    bool allSlots = false;
    app.add_option("--locate", locate,
                   "How to find track 0, side 0, sector 2: auto (the container's structure when one is\n"
                   "recognised, otherwise the byte scans), scan (exactly the window's byte scans) or structure\n"
                   "(the container's structure only: DMK, JV3, JV1, HFE, IMD)")
        ->check(CLI::IsMember({"auto", "scan", "structure"}))
        ->capture_default_str();
    app.add_flag("--all-slots", allSlots, "Also decode all ten PDRIVE slots of the system sector");
    bool geometry = false;
    bool brief = false;
    app.add_flag("--geometry", geometry,
                 "After the report, the image's geometry (from its container) and whether slot 0 fits it");
    app.add_flag("--brief", brief, "One line per image: name, outcome, container, how found, values, check");
    app.add_option("IMAGE", images, "Disk image files")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        return app.exit(success);  // --help, --version
    } catch (const CLI::ParseError& error) {
        app.exit(error, std::cout, std::cerr);
        return kExitUsage;
    }

    ReportOptions options;
    options.Json = json;
    options.Locate = locate == "structure" ? LocateMode::Structure
                     : locate == "scan"    ? LocateMode::Scan
                                           : LocateMode::Auto;
    options.AllSlots = allSlots;
    options.Geometry = geometry;
    options.Brief = brief;
    options.Color = color == "always" || (color == "auto" && ::isatty(STDOUT_FILENO));
    return RunReports(images, options, std::cout, std::cerr);
}
