#pragma once

#include "ImageReader.h"

#include <array>
#include <cstdint>
#include <span>

namespace tabulon {

// LZSS with adaptive Huffman coding (LZHUF, after Okumura and Yoshizaki), with the
// parameters Teledisk's advanced compression uses:
//
//   a ring of 4,096 bytes preset to spaces, the first output byte going to 4,036;
//   one adaptive Huffman tree of 314 symbols: 0-255 a literal byte, 256-313 a copy
//     of 3 to 60 bytes (the symbol minus 253), its frequencies halved when the
//     root's reaches 0x8000;
//   after a copy's symbol, its distance back (0-4095, 0 the byte just written):
//     the upper 6 bits in a fixed prefix code of 3 to 8 bits, the lower 6 verbatim;
//   bits taken from each input byte highest first.
//
// Forward only: each Read continues where the last ended. The state is fixed
// (about 9 KiB) whatever the input; every input byte is read through the
// bounds-checked view, and the output ends where the input does.
class LzhufDecoder {
public:
    static constexpr int kRingSize = 4096;
    static constexpr int kLongestCopy = 60;
    static constexpr int kSymbols = 256 + kLongestCopy - 2;

    explicit LzhufDecoder(ImageReader input);

    // Fills out with the next decompressed bytes; fewer only where the input
    // ends (a symbol cut short by the end gives nothing). 0 once it has ended.
    std::size_t Read(std::span<std::uint8_t> out);

    // The same decompression, as far as it went, reading on from input: the
    // same bytes as the input it was made with, as another image's reader sees them.
    void Rebind(ImageReader input) noexcept { input_ = input; }

    // Input bytes taken so far.
    std::int64_t InputUsed() const noexcept { return bufferStart_ + static_cast<std::int64_t>(at_); }

    static constexpr int kNodes = 2 * kSymbols - 1;  // leaves and inner nodes
    static constexpr int kRoot = kNodes - 1;
    static constexpr unsigned kIndexedCounts = 256;

private:
    bool Refill();                          // one more input byte into bits_; false at the end
    bool Bits(int count, unsigned& value);  // false where the input ends first
    bool Symbol(int& symbol);
    bool Distance(int& distance);
    void Count(int symbol);
    std::size_t LastBelow(std::size_t from, unsigned count) const;
    void Rebuild();
    void IndexCounts();
    void Put(std::uint8_t byte, std::span<std::uint8_t> out, std::size_t& done);

    ImageReader input_;
    std::int64_t inputSize_ = 0;
    std::array<std::uint8_t, 256> buffer_{};  // input bytes from bufferStart_
    std::int64_t bufferStart_ = 0;
    std::size_t buffered_ = 0;
    std::size_t at_ = 0;      // the next one to take
    std::uint32_t bits_ = 0;  // the low `held_` bits are taken but unread
    int held_ = 0;
    bool ended_ = false;

    std::array<std::uint8_t, kRingSize> ring_;  // filled with spaces by the constructor
    int write_ = 0;                             // where the next output byte goes in the ring
    int copyFrom_ = 0;                          // the copy in progress: where its next byte is in the ring,
    int copyLeft_ = 0;                          // and how many remain

    // The tree, ordered by frequency: node n's children are son_[n] and son_[n] + 1
    // (inner nodes), or son_[n] is kNodes + symbol (a leaf). parent_[kNodes + s] is
    // the leaf of symbol s. freq_[kNodes] is a sentinel above every count.
    std::array<std::uint16_t, kNodes + 1> freq_{};
    std::array<std::int16_t, kNodes + kSymbols> parent_{};
    std::array<std::int16_t, kNodes> son_{};
    // first_[c], for the small counts: the first node whose count is c or more.
    std::array<std::uint16_t, kIndexedCounts> first_{};
};

}  // namespace tabulon
