// The routing-node and house-number lines of a road section ("Nod1=4,..."
// and "Numbers1=0,..."), which name a vertex by its index in the road's
// coordinate list (internal to the writer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tovlek::writer {

// Where the vertex index of such a line stands and its value (saturated);
// nothing for any other line.
struct VertexIndex {
  size_t begin, end;
  uint64_t value;
};
std::optional<VertexIndex> vertexIndexOf(std::string_view line);

}  // namespace tovlek::writer
