// The names of a KryoFlux stream set's files: PREFIXCC.H.raw for cylinder CC, side H.
#include "KryoFluxImage.h"

#include <cctype>
#include <tuple>

namespace tabulon {

std::string StreamFileName(const KryoFluxHeader& header, int cylinder, int side) {
    const auto digit = [](int n) { return static_cast<char>('0' + n); };
    return header.Prefix + digit(cylinder / 10) + digit(cylinder % 10) + '.' + digit(side) + header.Extension;
}

std::optional<StreamName> ParseStreamName(std::string_view name) {
    constexpr std::string_view kEnd = "NN.S.raw";
    if (name.size() < kEnd.size()) return std::nullopt;
    const std::string_view tail = name.substr(name.size() - kEnd.size());
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    const bool raw = tail[4] == '.' && lower(tail[5]) == 'r' && lower(tail[6]) == 'a' && lower(tail[7]) == 'w';
    if (!digit(tail[0]) || !digit(tail[1]) || tail[2] != '.' || (tail[3] != '0' && tail[3] != '1') || !raw) {
        return std::nullopt;
    }
    return StreamName{std::string(name.substr(0, name.size() - kEnd.size())), (tail[0] - '0') * 10 + (tail[1] - '0'),
                      tail[3] - '0', std::string(tail.substr(4))};
}

std::optional<std::string_view> FirstStream(std::span<const std::string> names) {
    std::optional<std::string_view> first;
    std::tuple<int, int, std::string_view> firstKey;
    for (const std::string& name : names) {
        const auto stream = ParseStreamName(name);
        if (!stream) continue;
        std::tuple<int, int, std::string_view> key{stream->Cylinder, stream->Side, name};
        if (!first || key < firstKey) {
            first = name;
            firstKey = key;
        }
    }
    return first;
}

}  // namespace tabulon
