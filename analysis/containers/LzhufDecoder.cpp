#include "LzhufDecoder.h"

#include <algorithm>

namespace tabulon {

namespace {

constexpr int kRingMask = LzhufDecoder::kRingSize - 1;
constexpr int kFirstCopySymbol = 256;
constexpr int kCopyBias = 253;  // symbol 256 copies 3 bytes
constexpr unsigned kMaxFrequency = 0x8000;
constexpr int kLowDistanceBits = 6;

// The prefix code of a distance's upper 6 bits, looked up by the next 8 input
// bits: the upper bits' value and the code's length. The codes are assigned in
// order of value: 1 of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7 and 16 of 8.
struct DistanceCode {
    std::array<std::uint8_t, 256> Upper{};
    std::array<std::uint8_t, 256> Length{};
};

constexpr DistanceCode kDistanceCode = [] {
    constexpr std::array<int, 9> kCodesOfLength{0, 0, 0, 1, 3, 8, 12, 24, 16};
    DistanceCode table;
    int next = 0;
    int upper = 0;
    for (int length = 3; length <= 8; ++length) {
        for (int code = 0; code < kCodesOfLength[static_cast<std::size_t>(length)]; ++code, ++upper) {
            for (int n = 0; n < (1 << (8 - length)); ++n, ++next) {
                table.Upper[static_cast<std::size_t>(next)] = static_cast<std::uint8_t>(upper);
                table.Length[static_cast<std::size_t>(next)] = static_cast<std::uint8_t>(length);
            }
        }
    }
    return table;
}();

constexpr auto kTreeNodes = static_cast<std::size_t>(LzhufDecoder::kNodes);
constexpr auto kLeaves = static_cast<std::size_t>(LzhufDecoder::kSymbols);

template <std::size_t N>
constexpr void IndexCounts(const std::array<std::uint16_t, N>& freq,
                           std::array<std::uint16_t, LzhufDecoder::kIndexedCounts>& first) {
    std::size_t at = 0;
    for (unsigned count = 0; count < first.size(); ++count) {
        while (freq[at] < count) ++at;  // freq[kTreeNodes] is above every count
        first[count] = static_cast<std::uint16_t>(at);
    }
}

// The tree before the first symbol: every symbol counted once, the leaves paired
// in order, then the pairs, up to the root.
struct InitialTree {
    std::array<std::uint16_t, kTreeNodes + 1> Freq{};
    std::array<std::int16_t, kTreeNodes + kLeaves> Parent{};
    std::array<std::int16_t, kTreeNodes> Son{};
    std::array<std::uint16_t, LzhufDecoder::kIndexedCounts> First{};
};

constexpr InitialTree kInitialTree = [] {
    InitialTree tree;
    for (std::size_t n = 0; n < kLeaves; ++n) {
        tree.Freq[n] = 1;
        tree.Son[n] = static_cast<std::int16_t>(n + kTreeNodes);
        tree.Parent[n + kTreeNodes] = static_cast<std::int16_t>(n);
    }
    for (std::size_t child = 0, node = kLeaves; node < kTreeNodes; child += 2, ++node) {
        tree.Freq[node] = static_cast<std::uint16_t>(tree.Freq[child] + tree.Freq[child + 1]);
        tree.Son[node] = static_cast<std::int16_t>(child);
        tree.Parent[child] = tree.Parent[child + 1] = static_cast<std::int16_t>(node);
    }
    tree.Freq[kTreeNodes] = 0xFFFF;
    tree.Parent[kTreeNodes - 1] = 0;
    IndexCounts(tree.Freq, tree.First);
    return tree;
}();

}  // namespace

LzhufDecoder::LzhufDecoder(ImageReader input)
    : input_(input),
      inputSize_(input.Size()),
      freq_(kInitialTree.Freq),
      parent_(kInitialTree.Parent),
      son_(kInitialTree.Son),
      first_(kInitialTree.First) {
    ring_.fill(' ');
    write_ = kRingSize - kLongestCopy;
}

void LzhufDecoder::IndexCounts() { tabulon::IndexCounts(freq_, first_); }

bool LzhufDecoder::Refill() {
    if (at_ == buffered_) {
        // The next input bytes, a buffer at a time, as far as the input goes.
        bufferStart_ += static_cast<std::int64_t>(buffered_);
        buffered_ = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size()), inputSize_ - bufferStart_));
        at_ = 0;
        if (buffered_ == 0) return false;
        input_.CopyTo(bufferStart_, std::span(buffer_).first(buffered_));
    }
    bits_ = (bits_ << 8) | buffer_[at_++];
    held_ += 8;
    return true;
}

bool LzhufDecoder::Bits(int count, unsigned& value) {
    while (held_ < count) {
        if (!Refill()) return false;
    }
    held_ -= count;
    value = (bits_ >> held_) & ((1u << count) - 1u);
    return true;
}

bool LzhufDecoder::Symbol(int& symbol) {
    auto node = static_cast<std::size_t>(son_[kRoot]);
    // Each bit goes one level down a tree of kNodes nodes: the walk always ends.
    for (int depth = 0; node < kNodes && depth < kNodes; ++depth) {
        if (held_ == 0 && !Refill()) return false;
        --held_;
        node = static_cast<std::size_t>(son_[node + ((bits_ >> held_) & 1u)]);
    }
    if (node < kNodes) return false;
    symbol = static_cast<int>(node) - kNodes;
    Count(symbol);
    return true;
}

bool LzhufDecoder::Distance(int& distance) {
    unsigned first = 0;
    if (!Bits(8, first)) return false;
    const int more = kDistanceCode.Length[first] - (8 - kLowDistanceBits);
    unsigned rest = 0;
    if (!Bits(more, rest)) return false;
    const unsigned low = ((first << more) | rest) & ((1u << kLowDistanceBits) - 1u);
    distance = static_cast<int>((unsigned{kDistanceCode.Upper[first]} << kLowDistanceBits) | low);
    return true;
}

// The counts stay in order: the last node below count, from node from on (which
// is below it), ends the run of nodes that were equal to the one counted. Found
// by steps that double, then halve, so that short runs cost little; freq_[kNodes]
// is above every count.
std::size_t LzhufDecoder::LastBelow(std::size_t from, unsigned count) const {
    std::size_t low = from;
    std::size_t high = from + 1;
    for (std::size_t step = 1; freq_[high] < count; step *= 2) {
        low = high;
        high = std::min<std::size_t>(high + step, kNodes);
    }
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        (freq_[middle] < count ? low : high) = middle;
    }
    return low;
}

// One more of symbol: its leaf and every node above it count one more, each
// node that now outweighs the ones after it trading places with the last of
// them, so that the frequencies stay in order.
void LzhufDecoder::Count(int symbol) {
    if (freq_[kRoot] == kMaxFrequency) Rebuild();
    auto node = static_cast<std::size_t>(parent_[static_cast<std::size_t>(symbol) + kNodes]);
    do {
        const unsigned count = ++freq_[node];
        const bool indexed = count < kIndexedCounts;
        if (count > freq_[node + 1]) {
            const std::size_t last = indexed ? first_[count] - 1u : LastBelow(node + 1, count);
            freq_[node] = freq_[last];
            freq_[last] = static_cast<std::uint16_t>(count);

            const auto mine = static_cast<std::size_t>(son_[node]);
            parent_[mine] = static_cast<std::int16_t>(last);
            if (mine < kNodes) parent_[mine + 1] = static_cast<std::int16_t>(last);
            const auto theirs = static_cast<std::size_t>(son_[last]);
            son_[last] = static_cast<std::int16_t>(mine);
            parent_[theirs] = static_cast<std::int16_t>(node);
            if (theirs < kNodes) parent_[theirs + 1] = static_cast<std::int16_t>(node);
            son_[node] = static_cast<std::int16_t>(theirs);
            node = last;
        }
        if (indexed) first_[count] = static_cast<std::uint16_t>(node);  // the one before was the first
        node = static_cast<std::size_t>(parent_[node]);
    } while (node != 0);
}

// Halves every leaf's count (rounding up) and builds the tree again from them.
void LzhufDecoder::Rebuild() {
    std::size_t leaves = 0;
    for (std::size_t n = 0; n < kNodes; ++n) {
        if (son_[n] >= kNodes) {
            freq_[leaves] = static_cast<std::uint16_t>((freq_[n] + 1u) / 2u);
            son_[leaves] = son_[n];
            ++leaves;
        }
    }
    for (std::size_t child = 0, node = kSymbols; node < kNodes; child += 2, ++node) {
        const auto sum = static_cast<std::uint16_t>(freq_[child] + freq_[child + 1]);
        freq_[node] = sum;
        std::size_t at = node - 1;
        while (at > 0 && sum < freq_[at]) --at;
        ++at;
        std::copy_backward(freq_.begin() + static_cast<std::ptrdiff_t>(at),
                           freq_.begin() + static_cast<std::ptrdiff_t>(node),
                           freq_.begin() + static_cast<std::ptrdiff_t>(node + 1));
        freq_[at] = sum;
        std::copy_backward(son_.begin() + static_cast<std::ptrdiff_t>(at),
                           son_.begin() + static_cast<std::ptrdiff_t>(node),
                           son_.begin() + static_cast<std::ptrdiff_t>(node + 1));
        son_[at] = static_cast<std::int16_t>(child);
    }
    for (std::size_t n = 0; n < kNodes; ++n) {
        const auto child = static_cast<std::size_t>(son_[n]);
        parent_[child] = static_cast<std::int16_t>(n);
        if (child < kNodes) parent_[child + 1] = static_cast<std::int16_t>(n);
    }
    IndexCounts();
}

void LzhufDecoder::Put(std::uint8_t byte, std::span<std::uint8_t> out, std::size_t& done) {
    ring_[static_cast<std::size_t>(write_)] = byte;
    write_ = (write_ + 1) & kRingMask;
    out[done++] = byte;
}

std::size_t LzhufDecoder::Read(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        if (copyLeft_ > 0) {
            const std::uint8_t byte = ring_[static_cast<std::size_t>(copyFrom_)];
            copyFrom_ = (copyFrom_ + 1) & kRingMask;
            --copyLeft_;
            Put(byte, out, done);
            continue;
        }
        int symbol = 0;
        if (ended_ || !Symbol(symbol)) {
            ended_ = true;
            break;
        }
        if (symbol < kFirstCopySymbol) {
            Put(static_cast<std::uint8_t>(symbol), out, done);
            continue;
        }
        int distance = 0;
        if (!Distance(distance)) {
            ended_ = true;
            break;
        }
        copyFrom_ = (write_ - distance - 1) & kRingMask;
        copyLeft_ = symbol - kCopyBias;
    }
    return done;
}

}  // namespace tabulon
