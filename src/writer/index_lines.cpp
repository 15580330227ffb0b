#include "writer/index_lines.h"

#include "codec/section_lines.h"

namespace tovlek::writer {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether the line begins with `prefix`, letter case ignored (prefix in lower case).
bool beginsWith(std::string_view line, std::string_view prefix) {
  if (line.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (codec::asciiLower(line[i]) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<VertexIndex> vertexIndexOf(std::string_view line) {
  size_t at = beginsWith(line, "numbers") ? 7 : beginsWith(line, "nod") ? 3 : 0;
  if (at == 0 || at >= line.size() || !isDigit(line[at])) return std::nullopt;
  while (at < line.size() && isDigit(line[at])) ++at;
  if (at >= line.size() || line[at] != '=') return std::nullopt;
  VertexIndex index{at + 1, at + 1, 0};
  while (index.end < line.size() && isDigit(line[index.end])) {
    const uint64_t digit = static_cast<uint64_t>(line[index.end] - '0');
    index.value = index.value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : index.value * 10 + digit;
    ++index.end;
  }
  if (index.end == index.begin || index.end >= line.size() || line[index.end] != ',')
    return std::nullopt;
  return index;
}

}  // namespace tovlek::writer
