#pragma once

#include <string_view>

namespace tabulon {

// The disk operating systems a disk can be told apart as, by its system or by
// the layout of its directory.
enum class DosName {
    Newdos80,
    Newdos86,  // NEWDOS/86 and /90 write the same disks
    GDos,
    Trsdos13,
    Trsdos23,
    Trsdos6,
    Ldos,
    LsDos,
    Dosplus,
    MultiDos,
    UltraDos,
    Dos500,
    RapidOs,
    Cpm,
    Ucsd,
};

// Each name as the DOS spells it: "NEWDOS/80", "TRSDOS 1.3", "CP/M", ...
constexpr std::string_view NameOf(DosName dos) {
    switch (dos) {
    case DosName::Newdos80: return "NEWDOS/80";
    case DosName::Newdos86: return "NEWDOS/86-90";
    case DosName::GDos: return "G-DOS";
    case DosName::Trsdos13: return "TRSDOS 1.3";
    case DosName::Trsdos23: return "TRSDOS 2.3";
    case DosName::Trsdos6: return "TRSDOS 6";
    case DosName::Ldos: return "LDOS";
    case DosName::LsDos: return "LS-DOS";
    case DosName::Dosplus: return "DOSPLUS";
    case DosName::MultiDos: return "MultiDOS";
    case DosName::UltraDos: return "ULTRADOS";
    case DosName::Dos500: return "DOS500";
    case DosName::RapidOs: return "RapidOS";
    case DosName::Cpm: return "CP/M";
    case DosName::Ucsd: return "UCSD p-System";
    }
    return {};
}

// The DOSes that number a disk's sectors in lumps and keep a PDRIVE table on it.
constexpr bool IsNewdosFamily(DosName dos) {
    return dos == DosName::Newdos80 || dos == DosName::Newdos86 || dos == DosName::GDos;
}

}  // namespace tabulon
