// tabulon-report: the drive report of Tabulon's window, for scripts and batch checks.
#include "HelpText.h"
#include "OutputBuffer.h"
#include "ReportCommand.h"
#include "TabulonVersion.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace {

// A closed standard descriptor is given /dev/null opened the wrong way round, so
// that using it still fails as on a closed one (a write to standard output gives
// the write error) while no file the program opens can take its number: the
// temporary copy of standard input must never receive the report.
void KeepStandardDescriptorsTaken() {
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1) continue;
        const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

// Every line of a message on stderr starts with the program's name.
void PrintError(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) std::cerr << "tabulon-report: " << line << '\n';
}

}  // namespace

// An exception that escapes (memory exhausted before any image) ends the program
// through std::terminate, which is all that is left to do then.
int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape)
    using namespace tabulon::cli;
    KeepStandardDescriptorsTaken();
    // Standard output goes out in large blocks; a terminal still sees each report as it is made.
    OutputBuffer output(STDOUT_FILENO);
    const struct UseBuffer {
        std::streambuf* const Earlier;
        ~UseBuffer() { std::cout.rdbuf(Earlier); }  // before the buffer ends, on every way out
    } useBuffer{std::cout.rdbuf(&output)};
    std::cerr.tie(nullptr);  // a message need not push out the reports before it

    CLI::App app{"Shows the NEWDOS/80 drive parameters (first PDRIVE slot) of TRS-80 emulator disk images\n(" +
                     ContainerNames() +
                     ", also inside archives) in the drive report\n"
                     "of the Tabulon window, and checks them against the image's own tracks.",
                 "tabulon-report"};
    app.set_version_flag("--version", std::string("tabulon-report ") + TABULON_VERSION);
    app.footer(
        "IMAGE \"-\" reads the image from standard input. A member of an archive, or a compressed image,\n"
        "may unpack to 256 MiB at most; past that it is not read.\n"
        "Exit status: 0 drive report, 1 not a Newdos disk, 2 sector not found, 3 analysis stopped early\n"
        "(the image ends inside or before the system sector, or changed while read), 4 cannot open or\n"
        "read; the highest over all images; 64 usage; 74 cannot write standard output.");

    std::vector<std::string> images;
    bool json = false;
    std::string color = "auto";
    app.add_flag("--json", json, "One JSON object per image, one per line");
    app.add_option("--color", color,
                   "Red lines in red: auto (on a terminal, unless NO_COLOR is set or TERM=dumb), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->capture_default_str();
    std::string locate = "auto";
    bool allSlots = false;
    app.add_option("--locate", locate,
                   "How to find track 0, side 0, sector 2: auto (the container's structure when one is\n"
                   "recognised, otherwise the byte scans), scan (exactly the window's byte scans) or structure\n"
                   "(the container's structure only: " +
                       ContainerNames() + ")")
        ->check(CLI::IsMember({"auto", "scan", "structure"}))
        ->capture_default_str();
    app.add_flag("--all-slots", allSlots, "Also decode all ten PDRIVE slots of the system sector");
    bool geometry = false;
    bool allMembers = false;
    app.add_flag("--all-members", allMembers,
                 "In an archive, analyse every member, not only those a container recognises or named as disk\n"
                 "images (" +
                     ImageExtensions() + ")");
    bool brief = false;
    app.add_flag("--geometry", geometry,
                 "After the report, the image's geometry (from its container) and whether slot 0 fits it");
    bool tracks = false;
    app.add_flag("--tracks", tracks,
                 "After the report (or the --brief line), every track: its encoding and its sectors in the order\n"
                 "they lie, with CRC errors, deleted data, misplaced IDs, duplicate and missing numbers marked");
    bool disk = false;
    bool files = false;
    app.add_flag("--disk", disk,
                 "After the report (or as the --brief line's last field), which DOS made the disk, where its\n"
                 "directory lies and how many files it holds; for a Newdos table, whether it finds that directory");
    app.add_flag("--files", files,
                 "After the report (or the --brief line), the files of the disk's directory, one a line");
    app.add_flag("--brief", brief, "One line per image: name, outcome, container, how found, values, check")
        ->excludes("--json")
        ->excludes("--geometry")
        ->excludes("--all-slots");
    unsigned jobs = 0;
    app.add_option("--jobs", jobs,
                   "Images analysed at once with --json, --brief, --geometry, --tracks, --disk or --files (the\n"
                   "output is the same): by default one a core; 1 analyses one after another")
        ->type_name("N")
        ->check(CLI::Range(1U, 64U));
    app.add_option("IMAGE", images, "Disk image files (\"-\": standard input)")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        const int status = app.exit(success);  // --help, --version
        return CheckOutput(std::cout, std::cerr) ? status : kExitWriteError;
    } catch (const CLI::ParseError& error) {
        PrintError(error.what());
        PrintError("run 'tabulon-report --help' for more information");
        return kExitUsage;
    }

    tabulon::ReportOptions options;
    options.Json = json;
    using tabulon::LocateMode;
    options.Locate = locate == "structure" ? LocateMode::Structure
                     : locate == "scan"    ? LocateMode::Scan
                                           : LocateMode::Auto;
    options.AllSlots = allSlots;
    options.Geometry = geometry;
    options.Brief = brief;
    options.Tracks = tracks;
    options.AllMembers = allMembers;
    options.Disk = disk;
    options.Files = files;
    const bool terminal = ::isatty(STDOUT_FILENO) != 0;  // a terminal shows each report as it is made
    options.Color = ColorWanted(color, terminal, std::getenv("NO_COLOR"), std::getenv("TERM"));
    return RunReports(images, options, {terminal, jobs}, std::cout, std::cerr);
}
