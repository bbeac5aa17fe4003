// Places written as the location text that the user types: "2n 1w" for
// z = 2000 and x = 1000, "1.5s 0.25e 0.5a 90" with an altitude and a facing.
// The map's grid, its tooltips and the console's list of avatars name places
// this way, so that a place read off them can be typed in as a location.
#pragma once

#include <string>

#include "location.h"

// One coordinate in thousands of world units, to the unit ("1.234", "2"),
// with one digit more where the parser would otherwise read it a unit short
// ("2097.1515" for 2097151), followed by the letter of its direction: positive for values above 0,
// negative for those below, and zero_letter for 0 itself ("0n", "0e").
std::string CoordinateText(long long value, char positive, char negative, char zero_letter);

// North-south, as the location text writes z: "2n", "0.5s", "0n".
std::string NorthSouthText(long long z);
// East-west, as the location text writes x (x grows to the west): "1w", "0e".
std::string EastWestText(long long x);

// The whole location: north-south, east-west, then the altitude ("0.5a") and
// the facing in degrees ("90", "12.5") when they are not 0. ParseLocation
// reads it back as the same place.
std::string LocationText(const Location& location);
