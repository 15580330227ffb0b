#include "report/change_report.h"

#include <cmath>
#include <iterator>

#include "base/ordered_jobs.h"
#include "codec/section_lines.h"
#include "report/formats.h"
#include "report/text.h"

namespace tovlek::report {
namespace {

constexpr double kEarthRadiusMetres = 6371008.8;
constexpr double kPi = 3.14159265358979323846;

// Metres between two positions of the map (latitude, longitude), on a sphere
// of the earth's mean radius.
double sphericalMetres(store::Coord fromX, store::Coord fromY, store::Coord toX, store::Coord toY) {
  const double toRadians = kPi / 180.0 / 100000.0;
  const double dLat = (static_cast<double>(toX) - fromX) * toRadians;
  const double dLon = (static_cast<double>(toY) - fromY) * toRadians;
  const double meanLat = (static_cast<double>(toX) + fromX) / 2.0 * toRadians;
  const double east = dLon * std::cos(meanLat);
  return kEarthRadiusMetres * std::sqrt(dLat * dLat + east * east);
}

// Indexed by ReportFormat.
const FormatWriter kFormats[] = {
    {{".gpx", nullptr}, false, beginGpx, appendGpxWaypoint, endGpx},
    {{".kml", nullptr}, false, beginKml, appendKmlPlacemark, endKml},
    {{".html", ".htm"}, true, beginHtml, appendHtmlFeature, endHtml},
    {{".geojson", ".json"}, false, beginGeoJson, appendGeoJsonFeature, endGeoJson},
};

const FormatWriter& writerOf(ReportFormat format) {
  return kFormats[static_cast<size_t>(format)];
}

// The join's change kinds are the first feature kinds, in the same order.
FeatureKind featureKindOf(junction::ChangeKind kind) {
  static_assert(static_cast<int>(junction::ChangeKind::kOpenEnd) ==
                static_cast<int>(FeatureKind::kOpenEnd));
  return static_cast<FeatureKind>(kind);
}

bool endsWith(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (codec::asciiLower(text[text.size() - suffix.size() + i]) != suffix[i]) return false;
  }
  return true;
}

}  // namespace

// A feature as noted during the join; its text is made later.
struct NotedFeature {
  FeatureKind kind;
  store::Coord x, y;  // where it is shown
  bool hasDistance;
  store::Coord fromX, fromY, toX, toY;  // the move, for its distance
  const store::Road* first;
  int64_t firstPosition;
  const store::Road* second;  // null for a feature of one road
  int64_t secondPosition;
};

// Features noted one after the other, and their text once formatted.
struct FeatureBatch {
  int64_t firstIndex = 0;  // of the first feature in the whole report
  std::vector<NotedFeature> features;
  std::string text;
};

struct ChangeReportWork {
  writer::MapOutput& out;  // the helper's while it runs
  ReportFormat format;
  const store::Map& map;
  SectionNumbers numbers;
  LabelDecoder labels;  // the helper's while it runs
  // The road pair being processed.
  const store::Road* first = nullptr;
  const store::Road* second = nullptr;
  int64_t firstPosition = 0;
  int64_t secondPosition = 0;
  int64_t features = 0;  // noted so far
  HtmlPage page;
  std::unique_ptr<FeatureBatch> batch;  // being filled
  // Last: the helper stops before the rest goes.
  base::OrderedJobs<FeatureBatch> jobs;

  ChangeReportWork(writer::MapOutput& output, ReportFormat reportFormat, const store::Map& joined,
                   SectionNumbers sectionNumbers, int32_t codePage, bool helper);
};

namespace {

int64_t sectionOf(const ChangeReportWork& report, int64_t position) {
  if (report.numbers.asInput)
    return store::sourceAt(report.map, static_cast<size_t>(position)).sectionNumber;
  return report.numbers.sectionBase + position + 1;
}

RoadText textOf(ChangeReportWork& report, const store::Road& road, int64_t position) {
  return {sectionOf(report, position),
          store::sourceAt(report.map, static_cast<size_t>(position)).headerLine,
          report.labels.toUtf8(labelOf(road))};
}

// The text of a road, made once for the features of one pair that follow
// each other.
struct RoadTextCache {
  const store::Road* road = nullptr;
  int64_t position = -1;
  RoadText text;

  const RoadText* of(ChangeReportWork& report, const store::Road* wanted, int64_t at) {
    if (wanted == nullptr) return nullptr;
    if (wanted != road || at != position) {
      road = wanted;
      position = at;
      text = textOf(report, *wanted, at);
    }
    return &text;
  }
};

// Formats a batch and writes it out; batches come here one at a time and in
// order (on the helper thread, or on the caller's without one).
void formatAndWrite(ChangeReportWork& report, FeatureBatch& batch) {
  RoadTextCache firstCache, secondCache;
  std::string& text = batch.text;
  text.clear();
  int64_t index = batch.firstIndex;
  for (const NotedFeature& noted : batch.features) {
    const double units = std::hypot(static_cast<double>(noted.toX) - noted.fromX,
                                    static_cast<double>(noted.toY) - noted.fromY);
    const Feature feature{
        noted.kind,
        index,
        noted.x,
        noted.y,
        noted.hasDistance,
        noted.hasDistance ? units : 0,
        noted.hasDistance ? sphericalMetres(noted.fromX, noted.fromY, noted.toX, noted.toY) : 0,
        firstCache.of(report, noted.first, noted.firstPosition),
        secondCache.of(report, noted.second, noted.secondPosition)};
    writerOf(report.format).append(text, report.page, feature);
    ++index;
  }
  writer::writeText(report.out, text);
}

constexpr size_t kFeaturesPerBatch = 4096;

void giveBatch(ChangeReportWork& report) {
  if (report.batch == nullptr || report.batch->features.empty()) return;
  if (report.jobs.full()) report.jobs.handBack(report.jobs.take());
  report.jobs.give(std::move(report.batch));
}

void note(ChangeReportWork& report, const NotedFeature& feature) {
  if (report.batch == nullptr) {
    report.batch = report.jobs.fresh();
    report.batch->features.clear();
    report.batch->firstIndex = report.features;
  }
  if (writerOf(report.format).drawsRoads) noteHtmlFeature(report.page, feature.x, feature.y);
  report.batch->features.push_back(feature);
  ++report.features;
  if (report.batch->features.size() == kFeaturesPerBatch) giveBatch(report);
}

}  // namespace

std::optional<ReportFormat> reportFormatFor(std::string_view fileName) {
  for (size_t f = 0; f < std::size(kFormats); ++f) {
    for (const char* ending : kFormats[f].endings) {
      if (ending != nullptr && endsWith(fileName, ending)) return static_cast<ReportFormat>(f);
    }
  }
  const std::string_view base = fileName.substr(fileName.find_last_of('/') + 1);
  const size_t dot = base.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return ReportFormat::kGeoJson;
  return std::nullopt;
}

std::string reportEndings() {
  std::vector<const char*> endings;
  for (const FormatWriter& format : kFormats) {
    for (const char* ending : format.endings) {
      if (ending != nullptr) endings.push_back(ending);
    }
  }
  std::string list;
  for (size_t i = 0; i < endings.size(); ++i) {
    if (i > 0) list += i + 1 == endings.size() ? " or " : ", ";
    list += endings[i];
  }
  return list;
}

ChangeReportWork::ChangeReportWork(writer::MapOutput& output, ReportFormat reportFormat,
                                   const store::Map& joined, SectionNumbers sectionNumbers,
                                   int32_t codePage, bool helper)
    : out(output),
      format(reportFormat),
      map(joined),
      numbers(sectionNumbers),
      labels(codePage),
      jobs(helper ? 1 : 0, helper ? 4 : 1,
           [this](FeatureBatch& done) { formatAndWrite(*this, done); }) {}

ChangeReport::ChangeReport(writer::MapOutput& out, ReportFormat format, const store::Map& map,
                           SectionNumbers numbers, int32_t codePage, bool helper)
    : work(std::make_unique<ChangeReportWork>(out, format, map, numbers, codePage, helper)) {
  std::string text;
  writerOf(format).begin(text);
  writer::writeText(out, text);
}

ChangeReport::~ChangeReport() = default;

void ChangeReport::roadPair(const store::Road& firstRoad, int64_t firstAt,
                            const store::Road& secondRoad, int64_t secondAt) {
  work->first = &firstRoad;
  work->second = &secondRoad;
  work->firstPosition = firstAt;
  work->secondPosition = secondAt;
}

void ChangeReport::changed(const junction::Change& change) {
  // Only what changed: a weld of vertices already at one place, or an end
  // snapped by 0 with no vertex added, marks nothing to look at.
  const bool moved = change.fromX != change.toX || change.fromY != change.toY;
  if (!moved && !change.addedVertex && change.kind != junction::ChangeKind::kOpenEnd) return;
  // An open end is shown where it is; a change where it went.
  const bool atFrom = change.kind == junction::ChangeKind::kOpenEnd;
  ChangeReportWork& w = *work;
  if (writerOf(w.format).drawsRoads) {
    if (w.first != nullptr) noteHtmlRoad(w.page, w.firstPosition);
    if (w.second != nullptr) noteHtmlRoad(w.page, w.secondPosition);
  }
  note(w, {featureKindOf(change.kind), atFrom ? change.fromX : change.toX,
           atFrom ? change.fromY : change.toY, true, change.fromX, change.fromY, change.toX,
           change.toY, w.first, w.firstPosition, w.second, w.secondPosition});
}

void ChangeReport::collapsed(const store::Road& road, int64_t position, store::Coord x,
                             store::Coord y) {
  if (writerOf(work->format).drawsRoads) noteHtmlRoad(work->page, position);
  note(*work, {FeatureKind::kCollapsed, x, y, false, x, y, x, y, &road, position, nullptr, 0});
}

void ChangeReport::finish() {
  ChangeReportWork& w = *work;
  // Every batch written before the closing.
  giveBatch(w);
  while (!w.jobs.empty()) w.jobs.take();
  const RoadTextOf roadText = [&](int64_t position) {
    return textOf(w, store::roadAt(w.map, static_cast<size_t>(position)), position);
  };
  std::string text;
  writerOf(w.format).end(text, {w.page, w.map, roadText});
  writer::writeText(w.out, text);
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
