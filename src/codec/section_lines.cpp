#include "codec/section_lines.h"

namespace tovlek::codec {
namespace {

bool contains(std::string_view text, std::string_view key) {
  return text.find(key) != std::string_view::npos;
}

// Whether `text` ends with `word` (small letters), capitals taken as small.
bool endsWithWord(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  text.remove_prefix(text.size() - word.size());
  for (size_t k = 0; k < word.size(); ++k) {
    if (asciiLower(text[k]) != word[k]) return false;
  }
  return true;
}

// Which of the keys "subtype=" and "type=" the line holds: both end at an
// '=', so only the text before each '=' is looked at.
struct TypeKeys {
  bool subtype = false, type = false;
};

TypeKeys findTypeKeys(std::string_view line) {
  TypeKeys keys;
  for (size_t at = line.find('='); at != std::string_view::npos; at = line.find('=', at + 1)) {
    const std::string_view before = line.substr(0, at);
    if (endsWithWord(before, "type")) {
      keys.type = true;
      if (endsWithWord(before, "subtype")) keys.subtype = true;
    }
  }
  return keys;
}

}  // namespace

void makeSearchCopy(std::string_view line, std::string& search) {
  search.resize(line.size());
  for (size_t i = 0; i < line.size(); ++i) search[i] = asciiLower(line[i]);
}

bool holdsMarker(std::string_view line, std::string_view marker) {
  for (size_t at = line.find('['); at != std::string_view::npos; at = line.find('[', at + 1)) {
    if (line.size() - at < marker.size()) return false;
    size_t k = 1;
    while (k < marker.size() && asciiLower(line[at + k]) == marker[k]) ++k;
    if (k == marker.size()) return true;
  }
  return false;
}

SectionLine keyOfSectionLine(std::string_view line, std::string& search) {
  const TypeKeys keys = findTypeKeys(line);
  if (keys.subtype) {
    makeSearchCopy(line, search);
    return SectionLine::kSubtype;
  }
  if (keys.type) {
    makeSearchCopy(line, search);
    return SectionLine::kType;
  }
  // Coordinate lines, most of the map, are recognised as they stand; a
  // search copy is made only for the others.
  if (endsWithWord(line.substr(0, 5), "data0")) return SectionLine::kCoordinates;
  makeSearchCopy(line, search);
  return contains(search, "data0") || contains(search, "origin0") ? SectionLine::kCoordinates
                                                                  : SectionLine::kOther;
}

}  // namespace tovlek::codec
