#pragma once

#include "DiskSectors.h"

#include <optional>

namespace tabulon {

// A place in the order a directory runs through a disk, the order NEWDOS
// numbers sectors in: cylinder by cylinder, and within one the sectors of
// side 0 by the rank of their numbers, then those of side 1.
struct OrderPlace {
    int Cylinder = 0;
    int Index = 0;  // from 0, within the cylinder
    friend bool operator==(const OrderPlace&, const OrderPlace&) = default;
};

// How many sectors a cylinder holds, both sides.
int CylinderLength(DiskSectors& disk, int cylinder);

// The sector at place; nothing past its cylinder's sectors.
std::optional<SectorPosition> SectorAt(DiskSectors& disk, OrderPlace place);

// The place steps sectors on (or back, for a negative count), across
// cylinders; nothing when that runs before cylinder 0, into a cylinder that
// holds no sector, or past kMostCylinders.
std::optional<OrderPlace> Step(DiskSectors& disk, OrderPlace place, int steps);

// The sector steps on from place, read; nothing when there is none.
const ReadSector* ReadAt(DiskSectors& disk, OrderPlace place, int steps = 0);

inline constexpr int kMostCylinders = 255;

}  // namespace tabulon
