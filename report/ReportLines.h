#pragma once

#include "SlotDecoding.h"

#include <array>
#include <string>
#include <string_view>

namespace tabulon {

// The fixed texts of the drive report; every space counts.
namespace report_text {
inline constexpr std::string_view kSearching = " Searching ..........";
inline constexpr std::string_view kDmkNotFound = "      DMK format not found, Searching for JV type format";
inline constexpr std::string_view kTitle = "                   -==== Pdrive Specs of Drive ====--";
inline constexpr std::string_view kCredit = "                            by T.Orlwen";
inline constexpr std::string_view kSlot = "          Taken from the 1st Pdrive slot on selected drive";
inline constexpr std::string_view kFilenameIndent = "      ";
inline constexpr std::string_view kNotFound = "   ** Error ** --- Unable to find the required sector on this disk.";
inline constexpr std::string_view kNotNewdos = " Error --- This is not a Newdos Disk, or failed to find correct sector";
inline constexpr std::array<std::string_view, 8> kLegend = {
    "   TI   = Shows interface type, and other required parameters.",
    "   TD   = Shows Disk size, Density, No of sides, SPT",
    "   TC   = Track Count: No of tracks on disk",
    "   SPT  = Sectors per Track",
    "   TSR  = Track step rate: Speed of stepping between tracks",
    "   GPL  = Granules per Lump",
    "   DDSL = Disk Directory starting lump",
    "   DDGA = Disk Directory Granule Allocation: No of Granules used by the Directory",
};
}  // namespace report_text

// "                    40 Track  S/S S/D       DMK Format Disk"
std::string FormatDiskSummaryLine(const DriveSpecs& drive, std::string_view formatLabel);

// "  TI = A   TD = A  TC = 40   SPT = 10  TSR = 3  GPL = 2  DDSL = 17  DDGA = 2"
std::string FormatDriveLine(const DriveSpecs& drive);

}  // namespace tabulon
