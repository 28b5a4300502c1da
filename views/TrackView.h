#pragma once

#include "ImageResult.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

namespace tabulon {

// The map of the image's tracks in text, one line per track at most 80
// columns wide (longer ones go on below, indented): cylinder/side, encoding,
// the number of sectors and their numbers in the order they lie, each marked
// with what went wrong reading it; then what the track lacks or holds twice,
// and the tracks the PDRIVE table expects that the image does not hold.
void WriteTracks(const ImageResult& result, std::ostream& out);

// The same as JSON: "tracks" (null where there is no map) and "absentTracks".
// The tracks' objects are left out of object: InsertTracksJson puts them into
// the line that object is dumped to.
void AddTracksJson(const ImageResult& result, nlohmann::json& object);
void InsertTracksJson(const ImageResult& result, std::string& line);

}  // namespace tabulon
