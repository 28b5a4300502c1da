#include "TrackView.h"

#include "TextView.h"

#include <array>
#include <charconv>
#include <sstream>
#include <string>
#include <string_view>

namespace tabulon {

namespace {

using nlohmann::json;

constexpr std::size_t kColumns = 80;
constexpr std::string_view kIndent = "               ";  // under the first sector number

std::string_view EncodingName(Density recording) { return recording == Density::Single ? "FM" : "MFM"; }

// A sector's number with its marks: !ID CRC, ?data CRC, -no data field, d deleted,
// @C/S an ID naming another track, :N a size other than the track's usual one.
std::string SectorToken(const TrackLayout& track, std::size_t n, const TrackFindings& findings) {
    const SectorId& id = track.Sectors[n];
    std::string token = std::to_string(id.Sector);
    if (n < track.Readings.size()) {
        const SectorReading& reading = track.Readings[n];
        if (!reading.IdCrcOk) token += '!';
        if (!reading.DataCrcOk) {
            token += '-';
        } else if (!*reading.DataCrcOk) {
            token += '?';
        }
        if (reading.Deleted) token += 'd';
    }
    if (id.Cylinder != track.Cylinder || id.Head != track.Side) {
        token += '@' + std::to_string(id.Cylinder) + '/' + std::to_string(id.Head);
    }
    if (id.Size != findings.UsualSize) token += ':' + std::to_string(id.Size);
    return token;
}

std::string Numbers(std::string_view label, const std::vector<int>& numbers) {
    std::string text(label);
    for (const int number : numbers) text += ' ' + std::to_string(number);
    return text;
}

// Puts the tokens after head, breaking the line before 80 columns.
void WriteWrapped(std::string line, const std::vector<std::string>& tokens, std::ostream& out) {
    const std::size_t start = line.size();
    for (const std::string& token : tokens) {
        if (line.size() > start && line.size() + 1 + token.size() > kColumns) {
            out << line << '\n';
            line = kIndent;
        } else if (line.size() > start || line.back() != ' ') {
            line += ' ';
        }
        line += token;
    }
    out << line << '\n';
}

void WriteTrack(const TrackLayout& track, const TrackFindings& findings, std::ostream& out) {
    std::string head = std::to_string(track.Cylinder);
    head.insert(0, head.size() < 3 ? 3 - head.size() : 0, ' ');
    head += '/' + std::to_string(track.Side) + "  ";
    std::string encoding(track.Sectors.empty() ? "-" : EncodingName(findings.Recording));
    head += encoding + std::string(4 - encoding.size(), ' ');
    std::string count = std::to_string(track.Sectors.size());
    head += std::string(count.size() < 3 ? 3 - count.size() : 0, ' ') + count + ' ';
    std::vector<std::string> tokens;
    for (std::size_t n = 0; n < track.Sectors.size(); ++n) tokens.push_back(SectorToken(track, n, findings));
    if (track.Sectors.empty()) tokens.emplace_back("(unformatted)");
    if (!findings.Missing.empty()) tokens.push_back(' ' + Numbers("missing", findings.Missing));
    if (!findings.Twice.empty()) tokens.push_back(Numbers("twice", findings.Twice));
    WriteWrapped(head, tokens, out);
}

// JSON written straight into the line: a map of thousands of sectors built as a
// JSON tree costs ten times what its text does. Keys in the order the rest of
// the record has them (sorted), no strings that need escaping.
class TrackJson {
public:
    explicit TrackJson(std::string& out) : out_(out) {}

    void Track(const TrackLayout& track, const TrackFindings& findings) {
        Key("{\"cylinder\":", track.Cylinder);
        Numbers(",\"duplicateSectors\":", findings.Twice);
        out_ += ",\"encoding\":";
        out_ += track.Sectors.empty() ? "null" : Quoted(findings.Recording);
        Numbers(",\"missingSectors\":", findings.Missing);
        out_ += ",\"sectors\":[";
        for (std::size_t n = 0; n < track.Sectors.size(); ++n) {
            if (n != 0) out_ += ',';
            Sector(track, n, findings);
        }
        Key("],\"side\":", track.Side);
        out_ += R"(,"state":")";
        out_ += StateName(findings.State);
        out_ += '"';
        if (track.Sectors.empty()) {
            out_ += ",\"usualSize\":null";
        } else {
            Key(",\"usualSize\":", findings.UsualSize);
        }
        out_ += '}';
    }

private:
    void Sector(const TrackLayout& track, std::size_t n, const TrackFindings& findings) {
        const SectorId& id = track.Sectors[n];
        static const SectorReading kNoRecord{true, true, false};  // a container that records nothing of its reading
        const SectorReading& reading = n < track.Readings.size() ? track.Readings[n] : kNoRecord;
        out_ += "{\"dataCrcOk\":";
        out_ += !reading.DataCrcOk ? "null" : *reading.DataCrcOk ? "true" : "false";
        out_ += reading.Deleted ? ",\"deleted\":true" : ",\"deleted\":false";
        if (id.Recording != findings.Recording) out_ += ",\"encoding\":" + Quoted(id.Recording);
        Key(",\"id\":", id.Sector);
        out_ += reading.IdCrcOk ? ",\"idCrcOk\":true" : ",\"idCrcOk\":false";
        Key(",\"idCylinder\":", id.Cylinder);
        Key(",\"idSide\":", id.Head);
        if (reading.Revolution) Key(",\"revolution\":", *reading.Revolution);
        Key(",\"size\":", id.Size);
        out_ += '}';
    }

    static std::string_view StateName(TrackState state) {
        switch (state) {
        case TrackState::Unformatted: return "unformatted";
        case TrackState::CrcError: return "crc";
        case TrackState::SectorsMissing: return "missing";
        case TrackState::Absent: return "absent";
        case TrackState::Good: break;
        }
        return "good";
    }

    static std::string Quoted(Density recording) { return '"' + std::string(EncodingName(recording)) + '"'; }

    void Key(std::string_view key, std::int64_t value) {
        out_ += key;
        std::array<char, 24> digits{};
        const auto end = std::to_chars(digits.begin(), digits.end(), value).ptr;
        out_.append(digits.begin(), end);
    }

    void Numbers(std::string_view key, const std::vector<int>& numbers) {
        out_ += key;
        out_ += '[';
        for (std::size_t n = 0; n < numbers.size(); ++n) Key(n == 0 ? "" : ",", numbers[n]);
        out_ += ']';
    }

    std::string& out_;
};

}  // namespace

void WriteTracks(const ImageResult& result, std::ostream& out) {
    const Analysis& run = result.Run;
    if (!run.Map) {
        const char* why = run.GeometryStop          ? StopMessage(*run.GeometryStop)
                          : run.Opened() != nullptr ? "the image could not be read"
                                                    : "no container structure recognised";
        out << "Tracks: unknown (" << why << ")\n";
        return;
    }
    out << "Tracks: cylinder/side, encoding, sectors, their numbers in the order they lie\n"
        << "  marks: ! ID CRC error  ? data CRC error  - no data  d deleted data\n"
        << "         @C/S ID of another track  :N size other than the track's\n";
    const TrackMap& map = *run.Map;
    for (std::size_t n = 0; n < map.Tracks.size(); ++n) WriteTrack(map.Tracks[n], map.Findings[n], out);
    for (int side = 0; side < 2; ++side) {
        std::vector<int> cylinders;
        for (const TrackPlace& place : map.Absent) {
            if (place.Side == side) cylinders.push_back(place.Cylinder);
        }
        if (cylinders.empty()) continue;
        std::vector<std::string> tokens{"absent (slot 0 declares them): side", std::to_string(side) + ", cylinders"};
        std::istringstream runs(NumberRuns(cylinders));
        for (std::string piece; runs >> piece;) tokens.push_back(piece);
        WriteWrapped("  ", tokens, out);
    }
}

void AddTracksJson(const ImageResult& result, json& object) {
    const Analysis& run = result.Run;
    if (!run.Map) {
        object["tracks"] = nullptr;
        return;
    }
    object["tracks"] = json::array();  // filled in by InsertTracksJson
    json absent = json::array();
    for (const TrackPlace& place : run.Map->Absent) {
        absent.push_back({{"cylinder", place.Cylinder}, {"side", place.Side}});
    }
    object["absentTracks"] = absent;
}

void InsertTracksJson(const ImageResult& result, std::string& line) {
    if (!result.Run.Map || result.Run.Map->Tracks.empty()) return;
    // The record's one key "tracks": quotes inside its strings are escaped, so
    // no string can hold this text.
    constexpr std::string_view kEmpty = "\"tracks\":[]";
    const std::size_t at = line.find(kEmpty);
    if (at == std::string::npos) return;
    std::string tracks;
    TrackJson writer(tracks);
    const TrackMap& map = *result.Run.Map;
    for (std::size_t n = 0; n < map.Tracks.size(); ++n) {
        if (n != 0) tracks += ',';
        writer.Track(map.Tracks[n], map.Findings[n]);
    }
    line.insert(at + kEmpty.size() - 1, tracks);
}

}  // namespace tabulon
