// Integer helpers shared by the junction steps (internal to the junction).
#pragma once

#include <cmath>
#include <cstdint>

#include "store/road_store.h"

namespace tovlek::junction {

// Wide enough for the square of any difference of two 32-bit coordinates,
// and for the sum of two such squares.
using Wide = __int128;

inline Wide square(int64_t value) {
  return static_cast<Wide>(value) * value;
}

inline Wide minDistanceSquared() {
  return square(store::MinDistance);
}

// A double as a Coord: truncated toward zero, saturated at the 32-bit range.
inline store::Coord truncateToCoord(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<store::Coord>(value);
}

}  // namespace tovlek::junction
