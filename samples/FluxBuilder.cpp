#include "FluxBuilder.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string_view>

namespace tabulon::images {

namespace {

constexpr double kScpTicksPerSecond = 40e6;  // 25 ns
constexpr double kKryoFluxClock = 18432000.0 * 73 / 14 / 4;

void PutLe16(Bytes& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}
void PutLe32(Bytes& out, std::size_t at, std::uint32_t value) {
    PutLe16(out, at, value & 0xFFFF);
    PutLe16(out, at + 2, value >> 16);
}
void AppendLe32(Bytes& out, std::uint32_t value) {
    out.resize(out.size() + 4);
    PutLe32(out, out.size() - 4, value);
}

// A track's transitions as intervals in ticks, revolution by revolution (the
// first from the index), and each revolution's length in ticks.
struct Flux {
    std::vector<std::vector<std::uint32_t>> Revolutions;
    std::vector<std::uint32_t> IndexTicks;
};

Flux FluxOf(const TrackCells& track, const FluxOptions& options, double ticksPerSecond, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> jitter(0, options.Jitter * (track.Fm ? 2 : 1));             // in track cells
    const double cell = options.CellMicroseconds * 1e-6 / (1 + options.Speed) * ticksPerSecond;  // ticks
    const double revolution = cell * static_cast<double>(track.Cells.size());
    Flux flux;
    double rounded = 0;  // where the intervals so far end, in ticks from the first index
    for (int n = 0; n < options.Revolutions; ++n) {
        std::vector<std::uint32_t>& out = flux.Revolutions.emplace_back();
        for (std::size_t k = 0; k < track.Cells.size(); ++k) {
            bool transition = track.Cells[k] != 0;
            if (n == options.Damaged && k % 37 == 0) transition = !transition;
            if (!transition) continue;
            const double at =
                (static_cast<double>(n) * revolution) + (static_cast<double>(k) + 0.5 + jitter(random)) * cell;
            const auto ticks = static_cast<std::uint32_t>(std::max(1L, std::lround(at - rounded)));
            out.push_back(ticks);
            rounded += ticks;
        }
        flux.IndexTicks.push_back(static_cast<std::uint32_t>(std::lround(revolution)));
    }
    return flux;
}

std::uint32_t Seed(const FluxOptions& options, const TrackCells& track) {
    return options.Seed * 1000003u + static_cast<std::uint32_t>(track.Cylinder * 2 + track.Side);
}

// SCP's flux values: big-endian, a 0 for each 65,536 ticks above them.
void AppendScpValue(Bytes& out, std::uint32_t ticks, std::uint32_t& values) {
    for (; ticks >= 0x10000; ticks -= 0x10000, ++values) out.insert(out.end(), {0, 0});
    if (ticks == 0) ticks = 1;
    out.push_back(static_cast<std::uint8_t>(ticks >> 8));
    out.push_back(static_cast<std::uint8_t>(ticks & 0xFF));
    ++values;
}

}  // namespace

TrackCells CellsOfTrack(int cylinder, int side, RawTrack raw, TrackStyle style, std::size_t revolutionCells) {
    const bool mfm = style == TrackStyle::Mfm;
    const std::size_t cellsPerByte = 32;  // 16 cells, doubled for FM at the double-density rate
    const std::size_t bytes = std::max(revolutionCells / cellsPerByte * (mfm ? 2 : 1), raw.Data.size() + 100);
    raw.Data.resize(bytes, mfm ? 0x4E : 0xFF);
    return {cylinder, side, EncodeCells(raw, style, mfm ? 1 : 2), !mfm};
}

std::vector<TrackCells> DiskCells(const DmkOptions& disk, std::span<const std::uint8_t> systemSector) {
    if (systemSector.size() != kSectorSize) throw std::invalid_argument("system sector must be 256 bytes");
    const Bytes filler(kSectorSize, 0xE5);
    std::vector<TrackCells> tracks;
    for (int cylinder = 0; cylinder < disk.Tracks; ++cylinder) {
        for (int head = 0; head < (disk.DoubleSided ? 2 : 1); ++head) {
            const bool mfm = cylinder == 0 ? disk.Track0DoubleDensity : disk.OtherTracksDoubleDensity;
            std::vector<TrackSector> sectors;
            const int count = mfm ? 18 : 10;
            for (int k = 0; k < count; ++k) {
                // The interleave as BuildDmkImage lays it out: sector numbers in physical order.
                const auto number = static_cast<std::uint8_t>((k * std::max(1, disk.Interleave)) % count);
                const bool system = cylinder == 0 && head == 0 && number == 2;
                sectors.push_back(
                    {number, system ? systemSector.data() : filler.data(), system && disk.BadSystemSectorCrc});
            }
            const TrackStyle style = mfm ? TrackStyle::Mfm : TrackStyle::Fm;
            const int gap2 = disk.Gap2 >= 0 ? disk.Gap2 : (mfm ? 22 : 11);
            const int gap3 = disk.Gap3 >= 0 ? disk.Gap3 : (mfm ? 16 : 15);
            RawTrack raw = MakeTrack(style, static_cast<std::uint8_t>(cylinder), static_cast<std::uint8_t>(head),
                                     sectors, gap2, gap3);
            tracks.push_back(CellsOfTrack(cylinder, head, std::move(raw), style));
        }
    }
    return tracks;
}

Bytes BuildScpImage(std::span<const TrackCells> tracks, const FluxOptions& options) {
    constexpr std::size_t kTableEntries = 168;
    const std::size_t table = options.Extended ? 0x80 : 0x10;
    const bool bothSides = std::any_of(tracks.begin(), tracks.end(), [](const TrackCells& t) { return t.Side == 1; });
    Bytes image(table + 4 * kTableEntries, 0);
    std::copy_n("SCP", 3, image.begin());
    image[3] = 0x25;
    image[4] = bothSides ? 0x43 : 0x41;  // TRS-80, double or single sided
    const int revolutions = options.Revolutions + (options.IndexCued ? 0 : 1);
    image[5] = static_cast<std::uint8_t>(revolutions);
    image[8] = static_cast<std::uint8_t>((options.IndexCued ? 0x01 : 0) | (options.Extended ? 0x40 : 0));
    image[10] = bothSides ? 0 : 1;
    int last = 0;
    for (const TrackCells& track : tracks) {
        const int number = options.Consecutive ? track.Cylinder : track.Cylinder * 2 + track.Side;
        last = std::max(last, number);
        PutLe32(image, table + 4 * static_cast<std::size_t>(number), static_cast<std::uint32_t>(image.size()));
        const Flux flux = FluxOf(track, options, kScpTicksPerSecond, Seed(options, track));
        const std::size_t start = image.size();
        image.insert(image.end(), {'T', 'R', 'K', static_cast<std::uint8_t>(number)});
        image.resize(image.size() + 12 * static_cast<std::size_t>(revolutions));
        // Not index cued: a part revolution first, the second half of the last one.
        std::vector<std::vector<std::uint32_t>> revs;
        std::vector<std::uint32_t> times;
        if (!options.IndexCued && !flux.Revolutions.empty()) {
            const std::vector<std::uint32_t>& whole = flux.Revolutions[flux.Revolutions.size() - 1];
            revs.emplace_back(whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2), whole.end());
            times.push_back(flux.IndexTicks[0] / 2);
        }
        revs.insert(revs.end(), flux.Revolutions.begin(), flux.Revolutions.end());
        times.insert(times.end(), flux.IndexTicks.begin(), flux.IndexTicks.end());
        for (std::size_t n = 0; n < revs.size(); ++n) {
            const std::size_t entry = start + 4 + 12 * n;
            std::uint32_t values = 0;
            const std::size_t data = image.size();
            for (const std::uint32_t ticks : revs[n]) AppendScpValue(image, ticks, values);
            PutLe32(image, entry, times[n]);
            PutLe32(image, entry + 4, values);
            PutLe32(image, entry + 8, static_cast<std::uint32_t>(data - start));
        }
    }
    image[6] = 0;
    image[7] = static_cast<std::uint8_t>(last);
    std::uint32_t sum = 0;
    for (std::size_t n = 0x10; n < image.size(); ++n) sum += image[n];
    PutLe32(image, 12, sum);
    return image;
}

std::map<std::string, Bytes> BuildKryoFluxSet(std::span<const TrackCells> tracks, const FluxOptions& options,
                                              const std::string& prefix) {
    std::map<std::string, Bytes> files;
    for (const TrackCells& track : tracks) {
        const Flux flux = FluxOf(track, options, kKryoFluxClock, Seed(options, track));
        Bytes stream;
        std::uint32_t position = 0;  // bytes outside the blocks
        const auto block = [&](std::uint8_t type, std::span<const std::uint8_t> data) {
            stream.insert(stream.end(), {0x0D, type});
            stream.resize(stream.size() + 2);
            PutLe16(stream, stream.size() - 2, static_cast<std::uint32_t>(data.size()));
            stream.insert(stream.end(), data.begin(), data.end());
        };
        const auto numbers = [](std::initializer_list<std::uint32_t> values) {
            Bytes data;
            for (const std::uint32_t value : values) AppendLe32(data, value);
            return data;
        };
        const std::string_view info =
            "name=KryoFlux DiskSystem, version=3.00s, sck=24027428.5714285, ick=3003428.5714285625";
        block(4, Bytes(info.begin(), info.end()));
        block(1, numbers({0, 0}));
        const auto value = [&](std::uint32_t ticks) {
            for (; ticks >= 0x10000; ticks -= 0x10000, ++position) stream.push_back(0x0B);  // Ovl16
            if (ticks >= 0x0E && ticks <= 0xFF) {
                stream.push_back(static_cast<std::uint8_t>(ticks));  // Flux1
                position += 1;
            } else if (ticks < 0x800) {
                stream.insert(stream.end(), {static_cast<std::uint8_t>(ticks >> 8), static_cast<std::uint8_t>(ticks)});
                position += 2;
            } else {
                stream.insert(stream.end(),
                              {0x0C, static_cast<std::uint8_t>(ticks >> 8), static_cast<std::uint8_t>(ticks)});
                position += 3;
            }
        };
        if (!flux.Revolutions.empty()) {  // part of a revolution before the first index
            const std::vector<std::uint32_t>& last = flux.Revolutions[flux.Revolutions.size() - 1];
            for (std::size_t n = last.size() - last.size() / 4; n < last.size(); ++n) value(last[n]);
        }
        std::uint32_t count = 0;
        for (const auto& revolution : flux.Revolutions) {
            block(2, numbers({position, 0, 0}));
            for (const std::uint32_t ticks : revolution) {
                value(ticks);
                if (++count % 1000 == 0) {  // now and then a Nop2, which the stream position counts
                    stream.insert(stream.end(), {0x09, 0x00});
                    position += 2;
                }
            }
        }
        block(2, numbers({position, 0, 0}));
        value(static_cast<std::uint32_t>(kKryoFluxClock * 12e-6));  // a last value after the last index
        block(3, numbers({position, 0}));
        stream.insert(stream.end(), {0x0D, 0x0D, 0x0D, 0x0D});
        std::string name = prefix;
        name += static_cast<char>('0' + track.Cylinder / 10);
        name += static_cast<char>('0' + track.Cylinder % 10);
        name += '.';
        name += static_cast<char>('0' + track.Side);
        files[name + ".raw"] = std::move(stream);
    }
    return files;
}

}  // namespace tabulon::images
