#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tabulon {

// Reading the bytes of directory sectors, whatever they hold.

using SectorSpan = std::span<const std::uint8_t>;

// Bytes as text: printable ASCII kept, every other byte '?', trailing spaces dropped.
std::string PrintableText(SectorSpan bytes);

// A name and extension as a DOS writes them, each without its padding:
// "BOOT/SYS", "PIP.COM"; the separator left out when there is no extension.
std::string FileName(SectorSpan name, SectorSpan extension, char separator);

// Whether every byte is printable ASCII (a space included).
bool AllPrintable(SectorSpan bytes);

// Whether text occurs in bytes, letters in any case.
bool HoldsText(SectorSpan bytes, std::string_view text);

// The bytes of a sector from offset on, at most count of them (none past its end).
SectorSpan Part(SectorSpan bytes, std::size_t offset, std::size_t count);

// A little-endian word at offset; 0 past the end.
unsigned Le16(SectorSpan bytes, std::size_t offset);

// A byte as "0x5E".
std::string HexByte(std::uint8_t byte);

}  // namespace tabulon
