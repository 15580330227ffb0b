#include "support/pipeline.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "codec/coord_codec.h"
#include "codec/section_lines.h"
#include "support/store_check.h"

namespace tovlek::testkit {
namespace {

// An in-memory output stream whose text is collected when it closes.
struct MemoryStream {
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);

  MemoryStream() = default;
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  ~MemoryStream() {
    if (file != nullptr) std::fclose(file);
    std::free(buffer);
  }

  std::string close() {
    std::fclose(file);
    file = nullptr;
    std::string text(buffer, size);
    std::free(buffer);
    buffer = nullptr;
    return text;
  }
};

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The roads of the map in reading order, consecutive repeats written once.
std::vector<std::vector<std::pair<int, int>>> roadsOf(const store::Map& map) {
  std::vector<std::vector<std::pair<int, int>>> roads;
  for (size_t p = store::roadCount(map); p-- > 0;) {
    std::vector<std::pair<int, int>>& chain = roads.emplace_back();
    store::forEachVertex(map, store::roadAt(map, p), [&](const store::Vertex& v) {
      if (chain.empty() || chain.back() != std::pair<int, int>(v.x, v.y))
        chain.emplace_back(v.x, v.y);
    });
  }
  return roads;
}

std::string lowered(std::string_view text) {
  std::string copy;
  codec::makeSearchCopy(text, copy);
  return copy;
}

bool contains(std::string_view text, std::string_view key) {
  return text.find(key) != std::string_view::npos;
}

// The input's lines that lie outside polyline sections, line ends included.
std::vector<std::string_view> passedThroughLines(std::string_view input) {
  std::vector<std::string_view> lines;
  bool inside = false;
  for (size_t start = 0; start < input.size();) {
    const size_t feed = input.find('\n', start);
    const size_t end = feed == std::string_view::npos ? input.size() : feed + 1;
    const std::string_view line = input.substr(start, end - start);
    const std::string search = lowered(line);
    if (!inside) {
      inside = contains(search, "[polyline]") || contains(search, "[rgn40]");
      if (!inside) lines.push_back(line);
    } else if (contains(search, "[end")) {
      inside = false;
    }
    start = end;
  }
  return lines;
}

// Skips the written section at `at`, if one starts there; true if it did.
bool skipSection(std::string_view map, std::string_view lineEnd, size_t& at) {
  const std::string header = "[POLYLINE]" + std::string(lineEnd);
  if (map.substr(at, header.size()) != header) return false;
  const std::string end = "[END]" + std::string(lineEnd) + std::string(lineEnd);
  const size_t found = map.find(end, at);
  at = found == std::string_view::npos ? map.size() + 1 : found + end.size();
  return true;
}

}  // namespace

TextRun runOnText(const std::string& text, const driver::Settings& settings, bool withReport) {
  // A memory stream cannot be empty; an empty map reads from /dev/null.
  std::string bytes = text;
  const std::unique_ptr<std::FILE, CloseFile> input(
      bytes.empty() ? std::fopen("/dev/null", "r") : fmemopen(bytes.data(), bytes.size(), "r"));
  MemoryStream map, console, warnings, report;
  driver::RunStreams streams;
  streams.input = input.get();
  streams.output = map.file;
  streams.report = withReport ? report.file : nullptr;
  streams.console = console.file;
  streams.warnings = warnings.file;
  streams.inputName = "in.mp";
  streams.outputName = "out.mp";
  TextRun run;
  run.outcome = driver::runPhases(settings, streams, [&](const store::Map& joined) {
    run.problems = checkStoreInvariants(joined);
    run.roads = roadsOf(joined);
  });
  run.map = map.close();
  run.console = console.close();
  run.warnings = warnings.close();
  run.report = report.close();
  return run;
}

namespace {

// Reads the map with no road pair compared (nothing changes) and shows the
// map as read to `look`; in the kept layout, its text is kept.
void lookAtMapRead(const std::string& text, bool keepLayout, const driver::AfterJoin& look) {
  std::string bytes = text;
  const std::unique_ptr<std::FILE, CloseFile> input(
      bytes.empty() ? std::fopen("/dev/null", "r") : fmemopen(bytes.data(), bytes.size(), "r"));
  MemoryStream output, console;
  driver::RunStreams streams;
  streams.input = input.get();
  streams.output = output.file;
  streams.console = console.file;
  streams.warnings = console.file;
  driver::Settings settings;
  settings.MinDistance = INT32_MIN;
  settings.keepLayout = keepLayout;
  driver::runPhases(settings, streams, look);
}

}  // namespace

std::vector<std::vector<std::pair<int, int>>> roadsReadBack(const std::string& text) {
  std::vector<std::vector<std::pair<int, int>>> roads;
  lookAtMapRead(text, false, [&](const store::Map& map) { roads = roadsOf(map); });
  return roads;
}

std::string checkSharedTexts(const std::string& text) {
  struct Written {
    uint64_t position;
    size_t road;
    std::string text;
    bool operator<(const Written& other) const { return position < other.position; }
  };
  std::vector<Written> written;
  lookAtMapRead(text, true, [&](const store::Map& map) {
    std::string buffer, search;
    std::vector<store::Coord> coords;
    std::vector<size_t> opens;
    for (size_t r = 0; r < map.roads.size; ++r) {
      const uint64_t end =
          r + 1 < map.roads.size ? map.input->sectionBegins[r + 1] : map.input->size;
      const std::string_view section = *map.input->text(map.input->sectionBegins[r], end, buffer);
      const store::Road& road = map.roads[r];
      uint32_t k = 0;
      for (size_t begin = section.find('\n');
           begin != std::string_view::npos && k < road.readVertexCount;) {
        const size_t feed = section.find('\n', ++begin);
        const std::string_view line = section.substr(begin, feed - begin);
        begin = feed;
        if (codec::holdsMarker(line, "[end")) break;
        if (codec::keyOfSectionLine(line, search) != codec::SectionLine::kCoordinates) continue;
        opens.clear();
        codec::readCoordList(line, coords, &opens);
        for (const size_t open : opens) {
          const store::Vertex* v = store::vertexAt(map, road.first + k++);
          written.push_back(
              {uint64_t{static_cast<uint32_t>(v->x)} << 32 | static_cast<uint32_t>(v->y), r,
               std::string(codec::pairText(line, open))});
        }
      }
    }
  });
  std::stable_sort(written.begin(), written.end());
  for (size_t begin = 0, end; begin < written.size(); begin = end) {
    for (end = begin + 1; end < written.size() && written[end].position == written[begin].position;
         ++end) {
      if (written[end].road != written[begin].road &&
          !codec::samePairValue(written[end].text, written[begin].text))
        return "roads share a position with texts " + written[begin].text + " and " +
               written[end].text;
    }
  }
  return "";
}

std::string checkPassThrough(const std::string& input, const TextRun& run) {
  const std::string_view map = run.map;
  const bool crlf = input.find('\n') != std::string::npos && input.find('\n') > 0 &&
                    input[input.find('\n') - 1] == '\r';
  const std::string_view lineEnd = crlf ? "\r\n" : "\n";
  size_t at = 0;
  for (std::string_view line : passedThroughLines(input)) {
    while (at < run.outcome.readPhaseBytes && skipSection(map, lineEnd, at)) {
    }
    if (map.substr(at, line.size()) != line) return "passed-through line changed or missing";
    at += line.size();
  }
  while (at < run.outcome.readPhaseBytes && skipSection(map, lineEnd, at)) {
  }
  if (at != run.outcome.readPhaseBytes) return "unexpected text before the roads";
  int32_t roads = 0;
  while (at < map.size() && skipSection(map, lineEnd, at)) ++roads;
  if (at != map.size()) return "unexpected text among the roads";
  if (roads != run.outcome.roads) return "roads written differ from roads found";
  return "";
}

}  // namespace tovlek::testkit
