#include "report/change_report.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "codec/coord_codec.h"

namespace tovlek::report {
namespace {

constexpr double kEarthRadiusMetres = 6371008.8;
constexpr double kPi = 3.14159265358979323846;
const iconv_t kNoDecoder = reinterpret_cast<iconv_t>(-1);

const char* kindName(junction::ChangeKind kind) {
  switch (kind) {
    case junction::ChangeKind::kWeld:
      return "weld";
    case junction::ChangeKind::kSnap:
      return "snap";
    case junction::ChangeKind::kCrossing:
      return "crossing";
    case junction::ChangeKind::kPlaced:
      return "placed";
    case junction::ChangeKind::kGap:
      return "gap";
    case junction::ChangeKind::kOpenEnd:
      return "open-end";
  }
  return "";
}

// The text of the road's first Label= line, line end dropped; empty if none.
std::string_view labelOf(const store::Road& road) {
  std::string_view label;
  for (const store::ExtraLine* line = road.extraLines; line != nullptr; line = line->next) {
    std::string_view text(line->text, line->length);
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos || text.size() - start < 6) continue;
    std::string key(text.substr(start, 6));
    for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (key != "label=") continue;
    text.remove_prefix(start + 6);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    label = text;  // the list runs newest first: the last match is the first line
  }
  return label;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 if there is
// none (overlong forms, surrogates and code points beyond U+10FFFF are not).
size_t utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0 || i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// A JSON string. Bytes that are not UTF-8 (labels in a legacy code page)
// are taken as Latin-1, so the file is always valid JSON.
void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const size_t length = utf8Length(text, i)) {
      out.append(text.substr(i, length));
      i += length - 1;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    }
  }
  out += '"';
}

// A label in the map's code page as UTF-8; a byte that the code page does
// not define is taken as Latin-1.
std::string decodeLabel(iconv_t decoder, std::string_view label) {
  std::string utf8;
  iconv(decoder, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(label.data());
  size_t inLeft = label.size();
  while (inLeft > 0) {
    char buffer[256];
    char* out = buffer;
    size_t outLeft = sizeof buffer;
    const size_t done = iconv(decoder, &in, &inLeft, &out, &outLeft);
    utf8.append(buffer, static_cast<size_t>(out - buffer));
    if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
    const unsigned char byte = static_cast<unsigned char>(*in++);
    --inLeft;
    utf8 += static_cast<char>(byte < 0x80 ? byte : 0xC0 | byte >> 6);
    if (byte >= 0x80) utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
  }
  return utf8;
}

void appendLabel(std::string& out, const ChangeReport& report, std::string_view label) {
  if (report.labelDecoder != kNoDecoder) {
    appendJsonString(out, decodeLabel(report.labelDecoder, label));
  } else {
    appendJsonString(out, label);
  }
}

void appendNumber(std::string& out, const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  out += text;
}

void appendRoad(std::string& out, const ChangeReport& report, const char* which,
                const store::Road* road, int64_t position) {
  out += ",\"";
  out += which;
  out += "_section\":";
  out += std::to_string(road != nullptr ? report.sectionBase + position + 1 : 0);
  const std::string_view label = road != nullptr ? labelOf(*road) : std::string_view();
  if (!label.empty()) {
    out += ",\"";
    out += which;
    out += "_label\":";
    appendLabel(out, report, label);
  }
}

// The opening of a feature at (x, y), up to the properties' first member.
void beginFeature(ChangeReport& report, std::string& feature, store::Coord x, store::Coord y,
                  const char* kind) {
  feature += report.features++ == 0 ? "\n" : ",\n";
  // GeoJSON positions are longitude first; the map's pairs are latitude first.
  feature += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[";
  codec::appendCoordText(feature, y);
  feature += ',';
  codec::appendCoordText(feature, x);
  feature += "]},\"properties\":{\"kind\":\"";
  feature += kind;
  feature += '"';
}

}  // namespace

double sphericalMetres(store::Coord fromX, store::Coord fromY, store::Coord toX, store::Coord toY) {
  const double toRadians = kPi / 180.0 / 100000.0;
  const double dLat = (static_cast<double>(toX) - fromX) * toRadians;
  const double dLon = (static_cast<double>(toY) - fromY) * toRadians;
  const double meanLat = (static_cast<double>(toX) + fromX) / 2.0 * toRadians;
  const double east = dLon * std::cos(meanLat);
  return kEarthRadiusMetres * std::sqrt(dLat * dLat + east * east);
}

ChangeReport::ChangeReport(writer::MapOutput& output, int64_t sections, int32_t codePage)
    : out(output), sectionBase(sections), labelDecoder(kNoDecoder) {
  // 65001 is UTF-8, which labels without a code page are taken as anyway.
  if (codePage > 0 && codePage != 65001) {
    labelDecoder = iconv_open("UTF-8", ("CP" + std::to_string(codePage)).c_str());
  }
  writer::writeText(out, "{\"type\":\"FeatureCollection\",\"features\":[");
}

ChangeReport::~ChangeReport() {
  if (labelDecoder != kNoDecoder) iconv_close(labelDecoder);
}

void ChangeReport::roadPair(const store::Road& firstRoad, int64_t firstAt,
                            const store::Road& secondRoad, int64_t secondAt) {
  first = &firstRoad;
  second = &secondRoad;
  firstPosition = firstAt;
  secondPosition = secondAt;
  pairTextReady = false;
}

void ChangeReport::changed(const junction::Change& change) {
  std::string feature;
  // An open end is shown where it is; a change where it went.
  const bool atFrom = change.kind == junction::ChangeKind::kOpenEnd;
  beginFeature(*this, feature, atFrom ? change.fromX : change.toX,
               atFrom ? change.fromY : change.toY, kindName(change.kind));
  feature += ",\"moved\":";
  const double units = std::hypot(static_cast<double>(change.toX) - change.fromX,
                                  static_cast<double>(change.toY) - change.fromY);
  appendNumber(feature, "%.6f", units / 100000.0);
  feature += ",\"moved_m\":";
  appendNumber(feature, "%.2f",
               sphericalMetres(change.fromX, change.fromY, change.toX, change.toY));
  if (!pairTextReady) {
    pairText.clear();
    appendRoad(pairText, *this, "first", first, firstPosition);
    appendRoad(pairText, *this, "second", second, secondPosition);
    pairTextReady = true;
  }
  feature += pairText;
  feature += "}}";
  writer::writeText(out, feature);
}

void ChangeReport::collapsed(const store::Road& road, int64_t position, store::Coord x,
                             store::Coord y) {
  std::string feature;
  beginFeature(*this, feature, x, y, "collapsed");
  appendRoad(feature, *this, "first", &road, position);
  feature += "}}";
  writer::writeText(out, feature);
}

void ChangeReport::finish() {
  writer::writeText(out, "\n]}\n");
}

RoadShapes recordRoadShapes(const store::Map& map) {
  RoadShapes shapes;
  for (const store::Road* road = map.RoadList; road != nullptr; road = road->next) {
    int64_t count = 0;
    for (const store::Vertex* v = road->first; v != nullptr; v = v->next, ++count) {
      shapes.coords.push_back(v->x);
      shapes.coords.push_back(v->y);
    }
    shapes.vertexCounts.push_back(count);
  }
  return shapes;
}

int64_t countChangedRoads(const store::Map& map, const RoadShapes& before) {
  int64_t changed = 0;
  size_t roadIndex = 0;
  size_t coordIndex = 0;
  for (const store::Road* road = map.RoadList; road != nullptr; road = road->next) {
    const size_t end = coordIndex + 2 * static_cast<size_t>(before.vertexCounts[roadIndex++]);
    bool same = true;
    size_t i = coordIndex;
    for (const store::Vertex* v = road->first; v != nullptr && same; v = v->next, i += 2) {
      same = i < end && before.coords[i] == v->x && before.coords[i + 1] == v->y;
    }
    if (!same || i != end) ++changed;
    coordIndex = end;
  }
  return changed;
}

}  // namespace tovlek::report
