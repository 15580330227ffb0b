#include "writer/map_writer.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "base/ordered_jobs.h"
#include "codec/coord_codec.h"
#include "platform/platform.h"
#include "writer/index_lines.h"

namespace tovlek::writer {
namespace {

constexpr size_t kFlushThreshold = size_t{1} << 20;

void flushIfFull(MapOutput& out) {
  if (out.pending.size() >= kFlushThreshold) flushMapOutput(out);
}

// Capital hexadecimal digits, no leading zeros; a negative value as its
// 32-bit pattern.
void appendHex(std::string& text, int32_t value) {
  char digits[8];
  char* p = digits + sizeof digits;
  uint32_t rest = static_cast<uint32_t>(value);
  do {
    *--p = "0123456789ABCDEF"[rest & 15u];
    rest >>= 4;
  } while (rest != 0);
  text.append(p, static_cast<size_t>(digits + sizeof digits - p));
}

// For each vertex read, its index in the road's chain as it is now.
std::vector<uint64_t> chainIndexOfReadVertices(const store::Map& map, const store::Road& road) {
  std::vector<uint64_t> chainIndex;
  uint64_t at = 0;
  for (store::VertexId id = road.first; id != store::kNoVertex;
       id = store::vertexAt(map, id)->next, ++at) {
    if (!store::isInsertedVertex(map, id)) chainIndex.push_back(at);
  }
  return chainIndex;
}

// The extra lines, newest first. When the join inserted vertices, the
// vertex index of a routing-node or house-number line is rewritten to name
// the same vertex in the written chain.
void appendExtraLines(std::string& text, const store::Map& map, const store::Road& road,
                      bool gainedVertices) {
  std::vector<uint64_t> chainIndex;
  const std::string_view lines(road.extraLines, road.extraLinesLength);
  // Lines end behind their line feed; the last may have none.
  size_t end = lines.size();
  while (end > 0) {
    const size_t feed = end >= 2 ? lines.rfind('\n', end - 2) : std::string_view::npos;
    const size_t begin = feed == std::string_view::npos ? 0 : feed + 1;
    const std::string_view lineText = lines.substr(begin, end - begin);
    end = begin;
    const std::optional<VertexIndex> index =
        gainedVertices ? vertexIndexOf(lineText) : std::nullopt;
    if (!index || index->value >= static_cast<uint64_t>(road.readVertexCount)) {
      text.append(lineText);
      continue;
    }
    if (chainIndex.empty()) chainIndex = chainIndexOfReadVertices(map, road);
    text.append(lineText.substr(0, index->begin));
    text += std::to_string(chainIndex[index->value]);
    text.append(lineText.substr(index->end));
  }
}

}  // namespace

namespace {
void noteWriteFailure(MapOutput& out);
}  // namespace

void writeText(MapOutput& out, std::string_view text) {
  if (text.size() < kFlushThreshold) {
    out.pending.append(text);
    flushIfFull(out);
    return;
  }
  // A large text goes to the stream as it is, not through the staging buffer.
  flushMapOutput(out);
  out.bytesFlushed += text.size();
  if (std::fwrite(text.data(), 1, text.size(), out.file) != text.size()) noteWriteFailure(out);
}

namespace {

void noteWriteFailure(MapOutput& out) {
  if (!out.failed) out.error = errno;
  out.failed = true;
}

}  // namespace

bool flushMapOutput(MapOutput& out) {
  if (!out.pending.empty()) {
    out.bytesFlushed += out.pending.size();
    if (std::fwrite(out.pending.data(), 1, out.pending.size(), out.file) != out.pending.size()) {
      noteWriteFailure(out);
    }
    out.pending.clear();
  }
  if (std::fflush(out.file) != 0) noteWriteFailure(out);
  // The flush to disk that ends the run then finds little left to do.
  if (!out.failed) platform::startWritingBack(out.file);
  return !out.failed;
}

namespace {

// Where a section is formatted: a text of its own (a helper's run of
// roads), or the stream's pending text, which is handed to the stream
// between batches of pairs so that a long road need not be held whole.
struct TextOnly {
  std::string& text;
  void batchDone() {}
};
struct StreamPending {
  MapOutput& out;
  std::string& text = out.pending;
  void batchDone() { flushIfFull(out); }
};

// Appends the road's "(x,y),(x,y)..." and returns how many vertices it has.
// The pairs are formatted into a local buffer and appended a batch at a
// time: appended one by one, the calls cost more than the digits.
template <typename Into>
int64_t appendCoordList(Into& into, const store::Map& map, const store::Road& road) {
  constexpr size_t kBatch = 128;
  char batch[kBatch * (codec::kPairRoom + 1)];
  int64_t vertexCount = 0;
  for (store::VertexId id = road.first; id != store::kNoVertex;) {
    char* at = batch;
    for (size_t k = 0; k < kBatch && id != store::kNoVertex; ++k) {
      const store::Vertex* vertex = store::vertexAt(map, id);
      if (vertexCount > 0) *at++ = ',';
      at = codec::putPair(at, vertex->x, vertex->y);
      ++vertexCount;
      id = vertex->next;
    }
    into.text.append(batch, static_cast<size_t>(at - batch));
    into.batchDone();
  }
  return vertexCount;
}

template <typename Into>
void appendSection(Into& into, std::string_view lineEnd, const store::Map& map,
                   const store::Road& road) {
  std::string& text = into.text;
  text += "[POLYLINE]";
  text += lineEnd;
  text += "Type=0x";
  appendHex(text, road.type);
  text += lineEnd;
  if (road.subtype >= 0) {
    text += "Subtype=0x";
    appendHex(text, road.subtype);
    text += lineEnd;
  }
  text += "Data0=";
  const int64_t vertexCount = appendCoordList(into, map, road);
  text += lineEnd;
  appendExtraLines(text, map, road, vertexCount > int64_t{road.readVertexCount});
  text += "[END]";
  text += lineEnd;
  text += lineEnd;
}

// Roads [begin, end) of the RoadList, formatted on a helper thread.
struct RoadRun {
  size_t begin = 0, end = 0;
  std::string text;
};

// Runs hold about this many vertices; a road with more is written on its own.
constexpr int64_t kRunVertices = 1 << 15;

// The end of the run that begins at `begin`: roads up to kRunVertices
// vertices in all, none of them longer than that.
size_t runEnd(const store::Map& map, size_t begin) {
  int64_t vertices = 0;
  size_t end = begin;
  while (end < store::roadCount(map)) {
    const int64_t count = store::roadAt(map, end).readVertexCount;
    if (count > kRunVertices || vertices + count > kRunVertices) break;
    vertices += count;
    ++end;
  }
  return end;
}

void writeRoadListInRuns(MapOutput& out, const store::Map& map, int threads) {
  const std::string_view lineEnd = out.lineEnd;
  base::OrderedJobs<RoadRun> jobs(threads, size_t(threads + 2), [&](RoadRun& run) {
    run.text.clear();
    TextOnly into{run.text};
    for (size_t p = run.begin; p < run.end; ++p)
      appendSection(into, lineEnd, map, store::roadAt(map, p));
  });
  size_t next = 0;
  for (;;) {
    while (!jobs.full() && next < store::roadCount(map)) {
      const size_t end = runEnd(map, next);
      if (end == next) break;  // a long road, written here once its turn comes
      std::unique_ptr<RoadRun> run = jobs.fresh();
      run->begin = next;
      run->end = next = end;
      jobs.give(std::move(run));
    }
    if (jobs.empty()) {
      // Nothing in work: the end, or a long road to write here.
      if (next == store::roadCount(map)) return;
      writePolylineSection(out, map, store::roadAt(map, next++));
      continue;
    }
    std::unique_ptr<RoadRun> run = jobs.take();
    out.sectionsWritten += static_cast<int64_t>(run->end - run->begin);
    writeText(out, run->text);
    jobs.handBack(std::move(run));
  }
}

}  // namespace

void writePolylineSection(MapOutput& out, const store::Map& map, const store::Road& road) {
  ++out.sectionsWritten;
  StreamPending into{out};
  appendSection(into, out.lineEnd, map, road);
  flushIfFull(out);
}

void writeRoadList(MapOutput& out, const store::Map& map, int threads) {
  if (threads <= 1) {
    for (size_t p = 0; p < store::roadCount(map); ++p)
      writePolylineSection(out, map, store::roadAt(map, p));
    return;
  }
  writeRoadListInRuns(out, map, threads);
}

}  // namespace tovlek::writer
