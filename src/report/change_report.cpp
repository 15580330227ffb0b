#include "report/change_report.h"

#include <cmath>

#include "report/text.h"

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

bool endsWith(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = text[text.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    if (c != suffix[i]) return false;
  }
  return true;
}

RoadText textOf(const ChangeReport& report, const store::Road& road, int64_t position) {
  return {report.sectionBase + position + 1, labelAsUtf8(labelOf(road), report.labelDecoder)};
}

void write(ChangeReport& report, const Feature& feature) {
  std::string text;
  switch (report.format) {
    case ReportFormat::kGeoJson:
      appendGeoJsonFeature(text, feature, report.features == 0);
      break;
    case ReportFormat::kGpx:
      appendGpxWaypoint(text, feature);
      break;
    case ReportFormat::kHtml:
      appendHtmlFeature(text, report.page, feature);
      break;
  }
  ++report.features;
  writer::writeText(report.out, text);
}

}  // namespace

ReportFormat reportFormatFor(std::string_view fileName) {
  if (endsWith(fileName, ".gpx")) return ReportFormat::kGpx;
  if (endsWith(fileName, ".html") || endsWith(fileName, ".htm")) return ReportFormat::kHtml;
  return ReportFormat::kGeoJson;
}

double sphericalMetres(store::Coord fromX, store::Coord fromY, store::Coord toX, store::Coord toY) {
  const double toRadians = kPi / 180.0 / 100000.0;
  const double dLat = (static_cast<double>(toX) - fromX) * toRadians;
  const double dLon = (static_cast<double>(toY) - fromY) * toRadians;
  const double meanLat = (static_cast<double>(toX) + fromX) / 2.0 * toRadians;
  const double east = dLon * std::cos(meanLat);
  return kEarthRadiusMetres * std::sqrt(dLat * dLat + east * east);
}

ChangeReport::ChangeReport(writer::MapOutput& output, ReportFormat reportFormat, int64_t sections,
                           int32_t codePage)
    : out(output), format(reportFormat), sectionBase(sections), labelDecoder(kNoDecoder) {
  // 65001 is UTF-8, which labels without a code page are taken as anyway.
  if (codePage > 0 && codePage != 65001) {
    labelDecoder = iconv_open("UTF-8", ("CP" + std::to_string(codePage)).c_str());
  }
  page.sectionBase = sectionBase;
  std::string text;
  switch (format) {
    case ReportFormat::kGeoJson:
      beginGeoJson(text);
      break;
    case ReportFormat::kGpx:
      beginGpx(text);
      break;
    case ReportFormat::kHtml:
      beginHtml(text);
      break;
  }
  writer::writeText(out, text);
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
  // Only what changed: a weld of vertices already at one place, or an end
  // snapped by 0 with no vertex added, marks nothing to look at.
  const bool moved = change.fromX != change.toX || change.fromY != change.toY;
  if (!moved && !change.addedVertex && change.kind != junction::ChangeKind::kOpenEnd) return;
  if (!pairTextReady) {
    firstText = textOf(*this, *first, firstPosition);
    secondText = textOf(*this, *second, secondPosition);
    pairTextReady = true;
  }
  // An open end is shown where it is; a change where it went.
  const bool atFrom = change.kind == junction::ChangeKind::kOpenEnd;
  const double units = std::hypot(static_cast<double>(change.toX) - change.fromX,
                                  static_cast<double>(change.toY) - change.fromY);
  write(*this, {kindName(change.kind), atFrom ? change.fromX : change.toX,
                atFrom ? change.fromY : change.toY, true, units,
                sphericalMetres(change.fromX, change.fromY, change.toX, change.toY), &firstText,
                &secondText});
}

void ChangeReport::collapsed(const store::Road& road, int64_t position, store::Coord x,
                             store::Coord y) {
  const RoadText text = textOf(*this, road, position);
  write(*this, {"collapsed", x, y, false, 0, 0, &text, nullptr});
}

void ChangeReport::finish(const store::Map& map) {
  std::string text;
  switch (format) {
    case ReportFormat::kGeoJson:
      endGeoJson(text);
      break;
    case ReportFormat::kGpx:
      endGpx(text);
      break;
    case ReportFormat::kHtml:
      endHtml(text, page, map,
              [&](const store::Road& road) { return labelAsUtf8(labelOf(road), labelDecoder); });
      break;
  }
  writer::writeText(out, text);
}

RoadShapes recordRoadShapes(const store::Map& map) {
  RoadShapes shapes;
  for (size_t p = 0; p < store::roadCount(map); ++p) {
    int64_t count = 0;
    store::forEachVertex(map, store::roadAt(map, p), [&](const store::Vertex& v) {
      shapes.coords.push_back(v.x);
      shapes.coords.push_back(v.y);
      ++count;
    });
    shapes.vertexCounts.push_back(count);
  }
  return shapes;
}

int64_t countChangedRoads(const store::Map& map, const RoadShapes& before) {
  int64_t changed = 0;
  size_t roadIndex = 0;
  size_t coordIndex = 0;
  for (size_t p = 0; p < store::roadCount(map); ++p) {
    const size_t end = coordIndex + 2 * static_cast<size_t>(before.vertexCounts[roadIndex++]);
    bool same = true;
    size_t i = coordIndex;
    store::forEachVertex(map, store::roadAt(map, p), [&](const store::Vertex& v) {
      same = same && i < end && before.coords[i] == v.x && before.coords[i + 1] == v.y;
      i += 2;
    });
    if (!same || i != end) ++changed;
    coordIndex = end;
  }
  return changed;
}

}  // namespace tovlek::report
