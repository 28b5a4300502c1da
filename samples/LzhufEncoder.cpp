// The builder's own LZHUF compressor, for TD0 images with advanced compression:
// greedy LZSS over a 4,096-byte ring preset to spaces (matches of 3 to 60 bytes,
// found through hash chains), each literal or match length coded in one adaptive
// Huffman tree of 314 symbols, each match distance in the fixed code of its upper
// 6 bits and 6 bits verbatim. It keeps its own tree so that images made here
// check the analysis's decoder instead of sharing its code.
#include "ImageBuilder.h"

#include <algorithm>
#include <array>

namespace tabulon::images {

namespace {

constexpr int kRing = 4096;
constexpr int kLongest = 60;
constexpr int kShortest = 3;
constexpr int kSymbols = 256 + kLongest - 2;
constexpr int kNodes = 2 * kSymbols - 1;
constexpr int kRoot = kNodes - 1;
constexpr unsigned kMaxFrequency = 0x8000;
constexpr int kChainLimit = 256;

class BitWriter {
public:
    void Put(unsigned value, int count) {  // the low count bits of value, highest first
        for (int n = count - 1; n >= 0; --n) {
            byte_ = static_cast<std::uint8_t>((unsigned{byte_} << 1) | ((value >> n) & 1u));
            if (++used_ == 8) {
                out_.push_back(byte_);
                byte_ = 0;
                used_ = 0;
            }
        }
    }
    Bytes Finish() {  // the last byte padded with zero bits
        if (used_ > 0) out_.push_back(static_cast<std::uint8_t>(byte_ << (8 - used_)));
        return std::move(out_);
    }

private:
    Bytes out_;
    std::uint8_t byte_ = 0;
    int used_ = 0;
};

// The adaptive tree: the same rules as the decoder's, written from the encoding side.
class Tree {
public:
    Tree() {
        for (int n = 0; n < kSymbols; ++n) {
            freq_[At(n)] = 1;
            son_[At(n)] = n + kNodes;
            parent_[At(n + kNodes)] = n;
        }
        for (int child = 0, node = kSymbols; node <= kRoot; child += 2, ++node) {
            freq_[At(node)] = freq_[At(child)] + freq_[At(child + 1)];
            son_[At(node)] = child;
            parent_[At(child)] = parent_[At(child + 1)] = node;
        }
        freq_[At(kNodes)] = 0xFFFF;
        parent_[At(kRoot)] = 0;
    }

    // The symbol's code, from the root down: the path from its leaf up, each node
    // an odd (1) or even (0) one of its pair.
    void Encode(int symbol, BitWriter& out) {
        std::array<unsigned, kNodes> path{};
        std::size_t depth = 0;
        for (int node = parent_[At(symbol + kNodes)]; node != kRoot; node = parent_[At(node)]) {
            path[depth++] = static_cast<unsigned>(node) & 1u;
        }
        while (depth > 0) out.Put(path[--depth], 1);
        Update(symbol);
    }

private:
    static std::size_t At(int n) { return static_cast<std::size_t>(n); }

    void Update(int symbol) {
        if (freq_[At(kRoot)] == kMaxFrequency) Rebuild();
        int node = parent_[At(symbol + kNodes)];
        do {
            const unsigned count = ++freq_[At(node)];
            if (count > freq_[At(node + 1)]) {
                int swap = node + 1;
                while (count > freq_[At(swap + 1)]) ++swap;
                freq_[At(node)] = freq_[At(swap)];
                freq_[At(swap)] = count;
                const int a = son_[At(node)];
                const int b = son_[At(swap)];
                son_[At(node)] = b;
                son_[At(swap)] = a;
                parent_[At(a)] = swap;
                if (a < kNodes) parent_[At(a + 1)] = swap;
                parent_[At(b)] = node;
                if (b < kNodes) parent_[At(b + 1)] = node;
                node = swap;
            }
            node = parent_[At(node)];
        } while (node != 0);
    }

    void Rebuild() {
        int leaves = 0;
        for (int n = 0; n < kNodes; ++n) {
            if (son_[At(n)] >= kNodes) {
                freq_[At(leaves)] = (freq_[At(n)] + 1) / 2;
                son_[At(leaves)] = son_[At(n)];
                ++leaves;
            }
        }
        for (int child = 0, node = kSymbols; node < kNodes; child += 2, ++node) {
            const unsigned sum = freq_[At(child)] + freq_[At(child + 1)];
            int at = node;
            while (freq_[At(at - 1)] > sum) --at;  // the first place whose predecessor is not heavier
            for (int n = node; n > at; --n) {
                freq_[At(n)] = freq_[At(n - 1)];
                son_[At(n)] = son_[At(n - 1)];
            }
            freq_[At(at)] = sum;
            son_[At(at)] = child;
        }
        for (int n = 0; n < kNodes; ++n) {
            const int child = son_[At(n)];
            parent_[At(child)] = n;
            if (child < kNodes) parent_[At(child + 1)] = n;
        }
    }

    std::array<unsigned, kNodes + 1> freq_{};
    std::array<int, kNodes + kSymbols> parent_{};
    std::array<int, kNodes> son_{};
};

// A distance's upper 6 bits as a prefix code: 1 code of 3 bits, 3 of 4, 8 of 5,
// 12 of 6, 24 of 7 and 16 of 8, assigned in order of value.
void PutDistance(int distance, BitWriter& out) {
    const int upper = distance >> 6;
    constexpr std::array<int, 6> kCodes{1, 3, 8, 12, 24, 16};
    int first = 0;  // the first upper value of this length
    unsigned code = 0;
    for (int length = 3; length <= 8; ++length) {
        const int count = kCodes[static_cast<std::size_t>(length - 3)];
        if (upper < first + count) {
            out.Put(code + static_cast<unsigned>(upper - first), length);
            break;
        }
        first += count;
        code = (code + static_cast<unsigned>(count)) << 1;
    }
    out.Put(static_cast<unsigned>(distance) & 0x3Fu, 6);
}

}  // namespace

Bytes LzhufCompress(std::span<const std::uint8_t> data) {
    // The text as the ring sees it: the spaces it starts with, then the data.
    constexpr int kPreset = kRing - kLongest;
    Bytes text(kPreset + data.size(), ' ');
    std::copy(data.begin(), data.end(), text.begin() + kPreset);
    const int end = static_cast<int>(text.size());

    constexpr int kHashSize = 1 << 14;
    std::vector<int> head(kHashSize, -1);
    std::vector<int> previous(text.size(), -1);
    const auto hash = [&text](int at) {
        const auto a = static_cast<unsigned>(text[static_cast<std::size_t>(at)]);
        const auto b = static_cast<unsigned>(text[static_cast<std::size_t>(at + 1)]);
        const auto c = static_cast<unsigned>(text[static_cast<std::size_t>(at + 2)]);
        return static_cast<std::size_t>(((a << 6) ^ (b << 3) ^ c ^ (a >> 2)) & (kHashSize - 1));
    };
    const auto insert = [&](int at) {
        if (at + kShortest > end) return;
        const std::size_t h = hash(at);
        previous[static_cast<std::size_t>(at)] = head[h];
        head[h] = at;
    };
    for (int at = 0; at < kPreset; ++at) insert(at);

    Tree tree;
    BitWriter out;
    int at = kPreset;
    while (at < end) {
        int bestLength = 0;
        int bestFrom = 0;
        if (at + kShortest <= end) {
            const int longest = std::min(kLongest, end - at);
            int chain = 0;
            for (int from = head[hash(at)]; from >= 0 && at - from <= kRing && chain < kChainLimit;
                 from = previous[static_cast<std::size_t>(from)], ++chain) {
                int length = 0;
                while (length < longest &&
                       text[static_cast<std::size_t>(from + length)] == text[static_cast<std::size_t>(at + length)]) {
                    ++length;
                }
                if (length > bestLength) {
                    bestLength = length;
                    bestFrom = from;
                    if (length == longest) break;
                }
            }
        }
        if (bestLength >= kShortest) {
            tree.Encode(bestLength + 253, out);
            PutDistance(at - bestFrom - 1, out);
        } else {
            bestLength = 1;
            tree.Encode(text[static_cast<std::size_t>(at)], out);
        }
        for (int n = 0; n < bestLength; ++n) insert(at + n);
        at += bestLength;
    }
    return out.Finish();
}

}  // namespace tabulon::images
