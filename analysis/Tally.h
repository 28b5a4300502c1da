#pragma once

#include <utility>
#include <vector>

namespace tabulon {

// Which value a tally gives when two were seen equally often: the larger, the
// smaller, or the one seen first.
enum class OnTie { Larger, Smaller, First };

// How often each of a few values was seen (a track's sizes, a disk's sector
// counts): kept in a short list, not a tree.
template <class T>
class Tally {
public:
    void Add(T value) {
        for (auto& [seen, count] : counts_) {
            if (seen == value) {
                ++count;
                return;
            }
        }
        counts_.emplace_back(value, 1);
    }

    // The value seen most often; def when none was seen.
    T MostCommon(OnTie tie, T def = T{}) const {
        if (counts_.empty()) return def;
        auto best = counts_.front();
        for (const auto& entry : counts_) {
            // The entries are in the order first seen: on OnTie::First the earlier one stays.
            const bool wins = (tie == OnTie::Larger && best.first < entry.first) ||
                              (tie == OnTie::Smaller && entry.first < best.first);
            if (entry.second > best.second || (entry.second == best.second && wins)) best = entry;
        }
        return best.first;
    }

private:
    std::vector<std::pair<T, int>> counts_;
};

}  // namespace tabulon
