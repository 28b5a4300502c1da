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

// A TRSDOS-family directory entry, Model III's too: attributes, end-of-file
// byte, name, extension and, at kEntryEnd, where the file ends (records, or on
// Model III whole sectors).
inline constexpr std::uint8_t kEntryExtended = 0x80;
inline constexpr std::uint8_t kEntrySystem = 0x40;
inline constexpr std::uint8_t kEntryInUse = 0x10;
inline constexpr std::uint8_t kEntryInvisible = 0x08;
inline constexpr std::size_t kEntryEofByte = 3;
inline constexpr std::size_t kEntryName = 5;
inline constexpr std::size_t kEntryExtension = 13;
inline constexpr std::size_t kEntryEnd = 20;

}  // namespace tabulon
