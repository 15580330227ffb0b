// The kept layout: the input written back as it was read, with only what
// the join changed rewritten, so that a map kept under version control
// shows the joins and nothing else in a diff.
#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/ordered_jobs.h"
#include "codec/coord_codec.h"
#include "codec/section_lines.h"
#include "writer/index_lines.h"
#include "writer/map_writer.h"

namespace tovlek::writer {
namespace {

using store::Map;
using store::Vertex;
using store::VertexId;

// The lines of a road's section as read, from its header line to its end
// line (or to the end of the text it begins, where none came), each with
// the key it holds (kOther for the header and end lines, which are no body).
struct SectionLines {
  struct Line {
    std::string_view text;
    codec::SectionLine key;
    bool body;
  };
  std::string_view text;
  std::vector<Line> lines;
  std::string search;  // scratch
};

void readSectionLines(std::string_view rest, SectionLines& section) {
  section.lines.clear();
  size_t begin = 0;
  while (begin < rest.size()) {
    const size_t feed = rest.find('\n', begin);
    const size_t end = feed == std::string_view::npos ? rest.size() : feed + 1;
    const std::string_view line = rest.substr(begin, end - begin);
    const bool header = begin == 0;
    begin = end;
    if (!header && codec::holdsMarker(line, "[end")) {
      section.lines.push_back({line, codec::SectionLine::kOther, false});
      break;
    }
    const codec::SectionLine key =
        header ? codec::SectionLine::kOther : codec::keyOfSectionLine(line, section.search);
    section.lines.push_back({line, key, !header});
  }
  section.text = rest.substr(0, begin);
}

// The input from the beginning of the section of the road read r-th to the
// next road's (or the end of input), read into `buffer` where need be.
std::optional<std::string_view> fromSectionOf(const Map& map, size_t r, std::string& buffer) {
  const store::InputText& input = *map.input;
  const uint64_t end = r + 1 < map.roads.size ? input.sectionBegins[r + 1] : input.size;
  return input.text(input.sectionBegins[r], end, buffer);
}

// The texts of a road's vertices read, in order, as its coordinate lines
// hold them.
void readTextsOf(const SectionLines& section, std::vector<std::string_view>& texts) {
  texts.clear();
  std::vector<store::Coord> coords;
  std::vector<size_t> opens;
  for (const SectionLines::Line& line : section.lines) {
    if (line.key != codec::SectionLine::kCoordinates) continue;
    opens.clear();
    codec::readCoordList(line.text, coords, &opens);
    for (const size_t open : opens) texts.push_back(codec::pairText(line.text, open));
  }
}

// The texts of the vertices read with these ids (ascending), each road's
// coordinate lines read once. They lie in `buffers`, one per road.
std::optional<std::vector<std::string_view>> readTextsOfIds(const Map& map,
                                                            const std::vector<VertexId>& ids,
                                                            std::deque<std::string>& buffers) {
  std::vector<std::string_view> texts, roadTexts;
  SectionLines section;
  size_t road = SIZE_MAX;
  for (const VertexId id : ids) {
    const size_t r = store::roadOfReadVertex(map, id);
    if (r != road) {
      road = r;
      const auto rest = fromSectionOf(map, r, buffers.emplace_back());
      if (!rest) return std::nullopt;
      readSectionLines(*rest, section);
      readTextsOf(section, roadTexts);
    }
    texts.push_back(roadTexts[id - map.roads[r].first]);
  }
  return texts;
}

// The texts of the vertices at one position, where the map has a text of
// its own there that is not the tool's format (more decimals, another form)
// and the join acted there (moved or inserted a vertex, or welded two).
// Vertices the join did not move keep the text they were read with, and the
// others take the text of the earliest of them, so that the roads share the
// point exactly as they do in the tool's own layout; where those unmoved
// vertices were read with texts of different value, all take the earliest
// one's. Everywhere else the tool's format of a position is every text of
// it.
struct PositionText {
  uint64_t position;
  VertexId earliest;  // the earliest vertex read that the join did not move; none: all moved
  std::string_view earliestText;  // empty where it is the tool's format
  bool valuesDiffer;
};

uint64_t positionKey(const Vertex* v) {
  return uint64_t{static_cast<uint32_t>(v->x)} << 32 | static_cast<uint32_t>(v->y);
}

// Whether a vertex read that the join did not move holds a text of its own.
bool anyOwnTextLeft(const Map& map) {
  const std::vector<uint64_t>& plain = map.input->plainBits;
  for (size_t word = 0; word < plain.size() && word < map.movedBits.size(); ++word) {
    uint64_t own = ~plain[word] & ~map.movedBits[word];
    if ((word + 1) * 64 > map.readVertexEnd) own &= (uint64_t{1} << (map.readVertexEnd % 64)) - 1;
    if (own != 0) return true;
  }
  return false;
}

// The positions that need a text, ascending; none for a map written in the
// tool's format, which costs one look at a bit of every vertex read. The
// texts lie in `buffers`. Empty on a failure to read the input.
std::optional<std::vector<PositionText>> positionTexts(const Map& map,
                                                       std::deque<std::string>& buffers) {
  if (!anyOwnTextLeft(map)) return std::vector<PositionText>{};
  std::vector<std::pair<uint64_t, VertexId>> all;
  all.reserve(map.vertices.size);
  for (VertexId id = 0; id < map.vertices.size; ++id)
    all.emplace_back(positionKey(store::vertexAt(map, id)), id);
  std::sort(all.begin(), all.end());
  // The groups where the join acted on a position that holds a text of its
  // own, and the unmoved vertices whose texts are to be compared there.
  std::vector<std::pair<size_t, size_t>> groups;
  std::vector<VertexId> compared;
  for (size_t begin = 0, end; begin < all.size(); begin = end) {
    bool ownText = false, acted = false;
    for (end = begin; end < all.size() && all[end].first == all[begin].first; ++end) {
      const VertexId id = all[end].second;
      const bool moved = store::wasMoved(map, id);
      acted = acted || moved || store::vertexAt(map, id)->ring != id;
      ownText = ownText || (!moved && !map.input->isPlain(id));
    }
    if (!ownText || !acted) continue;
    groups.emplace_back(begin, end);
    for (size_t k = begin; k < end; ++k) {
      if (!store::wasMoved(map, all[k].second)) compared.push_back(all[k].second);
    }
  }
  std::sort(compared.begin(), compared.end());
  const auto comparedTexts = readTextsOfIds(map, compared, buffers);
  if (!comparedTexts) return std::nullopt;
  const auto textOf = [&](VertexId id) {
    return (*comparedTexts)[static_cast<size_t>(
        std::lower_bound(compared.begin(), compared.end(), id) - compared.begin())];
  };
  std::vector<PositionText> texts;
  for (const auto& [begin, end] : groups) {
    PositionText text{all[begin].first, store::kNoVertex, {}, false};
    for (size_t k = begin; k < end; ++k) {
      const VertexId id = all[k].second;
      if (store::wasMoved(map, id)) continue;
      if (text.earliest == store::kNoVertex) {
        text.earliest = id;
        if (!map.input->isPlain(id)) text.earliestText = textOf(id);
        continue;
      }
      const std::string_view earliest =
          text.earliestText.empty() ? textOf(text.earliest) : text.earliestText;
      text.valuesDiffer = text.valuesDiffer || !codec::samePairValue(textOf(id), earliest);
    }
    texts.push_back(text);
  }
  return texts;
}

// What one vertex of a road is written as: its own text as read, another
// vertex's text, or its position in the tool's format.
struct WrittenVertex {
  VertexId id;
  const Vertex* vertex;
  enum class Text { kOwn, kOther, kTool } text;
  std::string_view otherText;  // for kOther
};

// The text this vertex is written with.
WrittenVertex writtenVertex(const Map& map, VertexId id, const Vertex* v,
                            const std::vector<PositionText>& texts) {
  using Text = WrittenVertex::Text;
  const bool moved = store::wasMoved(map, id);
  WrittenVertex written{id, v, moved ? Text::kTool : Text::kOwn, {}};
  if (texts.empty()) return written;
  const uint64_t key = positionKey(v);
  const auto found = std::lower_bound(
      texts.begin(), texts.end(), key,
      [](const PositionText& text, uint64_t position) { return text.position < position; });
  if (found == texts.end() || found->position != key || found->earliest == store::kNoVertex)
    return written;
  if (!moved && (!found->valuesDiffer || found->earliest == id)) return written;
  // A plain text is the tool's own text of the position.
  if (found->earliestText.empty()) return {id, v, Text::kTool, {}};
  return {id, v, Text::kOther, found->earliestText};
}

// Memory that one road's writing uses and the next one's uses again.
struct SectionScratch {
  SectionLines read;  // the section as read
  std::vector<WrittenVertex> chain, kept;
  std::vector<bool> named;
  std::vector<uint64_t> writtenIndex;
  std::vector<std::string_view> ownTexts;  // of its vertices read, once needed
};

// One road section being written.
struct RoadSection {
  const Map& map;
  const store::Road& road;
  const std::vector<PositionText>& texts;
  SectionScratch& scratch;
  SectionLines& read = scratch.read;
  std::vector<WrittenVertex>& chain = scratch.chain;
  bool ownTextsRead = false;
};

// The road's chain with the text each vertex is written with; whether it is
// written exactly as read (no vertex inserted, every text its own).
bool takeChain(RoadSection& section) {
  const Map& map = section.map;
  section.chain.clear();
  bool asRead = true;
  VertexId id = section.road.first;
  for (const Vertex* v = store::vertexAt(map, id);;) {
    section.chain.push_back(writtenVertex(map, id, v, section.texts));
    asRead = asRead && section.chain.back().text == WrittenVertex::Text::kOwn;
    if (v->next == store::kNoVertex) break;
    const VertexId next = v->next;
    v = store::successorAt(map, v, id, next);
    id = next;
  }
  return asRead && section.chain.size() == section.road.readVertexCount;
}

bool samePosition(const WrittenVertex& a, const WrittenVertex& b) {
  return a.vertex->x == b.vertex->x && a.vertex->y == b.vertex->y;
}

// Notes the read indexes of the vertices that the section's index lines name.
void findNamedVertices(RoadSection& section) {
  std::vector<bool>& named = section.scratch.named;
  named.assign(section.road.readVertexCount, false);
  for (const SectionLines::Line& line : section.read.lines) {
    if (!line.body || line.key != codec::SectionLine::kOther) continue;
    const auto index = vertexIndexOf(line.text);
    if (index && index->value < named.size()) named[index->value] = true;
  }
}

// Leaves out the repeats that the join made: of a run of consecutive
// vertices at one position of which the join moved or inserted one, only
// the first and those that index lines name are written. Runs the map had
// are kept, and so is a road that came out as a single point.
void leaveOutRepeats(RoadSection& section) {
  const std::vector<bool>& named = section.scratch.named;
  std::vector<WrittenVertex>& chain = section.chain;
  bool repeats = false;
  for (size_t k = 1; k < chain.size() && !repeats; ++k)
    repeats = samePosition(chain[k - 1], chain[k]);
  if (!repeats) return;
  const bool onePoint = std::all_of(chain.begin(), chain.end(), [&](const WrittenVertex& w) {
    return samePosition(w, chain.front());
  });
  if (onePoint) return;
  const Map& map = section.map;
  const auto isNamed = [&](const WrittenVertex& w) {
    return !store::isInsertedVertex(map, w.id) && named[w.id - section.road.first];
  };
  std::vector<WrittenVertex>& kept = section.scratch.kept;
  kept.clear();
  for (size_t begin = 0, end; begin < chain.size(); begin = end) {
    end = begin + 1;
    bool joinMade = store::wasMoved(map, chain[begin].id);
    while (end < chain.size() && samePosition(chain[end], chain[begin])) {
      joinMade = joinMade || store::wasMoved(map, chain[end].id);
      ++end;
    }
    for (size_t k = begin; k < end; ++k) {
      if (k == begin || !joinMade || isNamed(chain[k])) kept.push_back(chain[k]);
    }
  }
  chain.swap(kept);
}

// The text of a vertex written with a text read (its own or another's at
// its position); empty where the tool's format is its text.
std::string_view readTextFor(RoadSection& section, const WrittenVertex& w) {
  if (w.text == WrittenVertex::Text::kOther) return w.otherText;
  if (w.text == WrittenVertex::Text::kTool || section.map.input->isPlain(w.id)) return {};
  if (!section.ownTextsRead) readTextsOf(section.read, section.scratch.ownTexts);
  section.ownTextsRead = true;
  return section.scratch.ownTexts[w.id - section.road.first];
}

// The line of the whole chain, with the first coordinate line's key (what
// stands before its first pair) and line end. Where that key alone would
// not make the line a coordinate line (the line was one by what followed
// its pairs), the key is "Data0=". Pairs in the tool's format are made a
// batch at a time, as in the tool's own layout.
void appendCoordinateLine(std::string& out, RoadSection& section, std::string_view first) {
  size_t bodyEnd = first.size();
  while (bodyEnd > 0 && (first[bodyEnd - 1] == '\n' || first[bodyEnd - 1] == '\r')) --bodyEnd;
  const size_t lineBegin = out.size();
  const size_t open = first.find('(', 1);
  out.append(first.substr(0, std::min(open, bodyEnd)));
  out += "(0,0)";  // a pair, as the chain's will stand there
  const bool keyHolds =
      codec::keyOfSectionLine(std::string_view(out).substr(lineBegin), section.read.search) ==
      codec::SectionLine::kCoordinates;
  out.resize(keyHolds ? out.size() - 5 : lineBegin);
  if (!keyHolds) out += "Data0=";
  constexpr size_t kBatch = 128;
  char batch[kBatch * (codec::kPairRoom + 1)];
  char* at = batch;
  for (size_t k = 0; k < section.chain.size(); ++k) {
    const WrittenVertex& w = section.chain[k];
    if (k > 0) *at++ = ',';
    const std::string_view text = readTextFor(section, w);
    if (text.empty()) {
      at = codec::putPair(at, w.vertex->x, w.vertex->y);
    } else {
      out.append(batch, static_cast<size_t>(at - batch));
      at = batch;
      out.append(text);
      if (text.back() != ')') out += ')';
    }
    if (at - batch > static_cast<ptrdiff_t>((kBatch - 1) * (codec::kPairRoom + 1))) {
      out.append(batch, static_cast<size_t>(at - batch));
      at = batch;
    }
  }
  out.append(batch, static_cast<size_t>(at - batch));
  out.append(first.substr(bodyEnd));
}

// A routing-node or house-number line with its index naming the same vertex
// in the written chain; as read where that index is the same.
void appendIndexLine(std::string& out, std::string_view line, const VertexIndex& index,
                     const std::vector<uint64_t>& writtenIndex) {
  const uint64_t now = writtenIndex[index.value];
  if (now == index.value) {
    out.append(line);
    return;
  }
  out.append(line.substr(0, index.begin));
  out += std::to_string(now);
  out.append(line.substr(index.end));
}

// Writes a changed road: every line as read, in its order, but its
// coordinate lines (one line of the written chain, in place of the first)
// and its index lines.
void appendChangedSection(std::string& out, RoadSection& section) {
  findNamedVertices(section);
  leaveOutRepeats(section);
  const store::Road& road = section.road;
  std::vector<uint64_t>& writtenIndex = section.scratch.writtenIndex;
  writtenIndex.assign(road.readVertexCount, 0);
  for (size_t k = 0; k < section.chain.size(); ++k) {
    const VertexId id = section.chain[k].id;
    if (!store::isInsertedVertex(section.map, id)) writtenIndex[id - road.first] = k;
  }
  bool coordinatesWritten = false;
  for (const SectionLines::Line& line : section.read.lines) {
    if (line.key == codec::SectionLine::kCoordinates) {
      if (!coordinatesWritten) appendCoordinateLine(out, section, line.text);
      coordinatesWritten = true;
      continue;
    }
    const auto index = line.body && line.key == codec::SectionLine::kOther
                           ? vertexIndexOf(line.text)
                           : std::nullopt;
    if (index && index->value < road.readVertexCount) {
      appendIndexLine(out, line.text, *index, writtenIndex);
    } else {
      out.append(line.text);
    }
  }
}

// A run of the input: the roads [firstRoad, endRoad) in reading order and
// the text around them, [begin, end) of the input (up to the next road's
// section).
struct KeptRun {
  size_t firstRoad = 0, endRoad = 0;
  uint64_t begin = 0, end = 0;
  std::string input;  // the run's input, where it had to be read
  std::string text;   // its output, where a road changed
  std::string_view output;
  SectionScratch scratch;
  int64_t changedRoads = 0;
  bool readFailed = false;
  int error = 0;
};

void formatRun(const Map& map, const std::vector<PositionText>& texts, KeptRun& run) {
  run.text.clear();
  run.changedRoads = 0;
  const std::optional<std::string_view> read = map.input->text(run.begin, run.end, run.input);
  run.readFailed = !read;
  run.error = run.readFailed ? errno : 0;
  if (run.readFailed) return;
  const std::string_view input = *read;
  size_t copied = 0;  // input up to here is in the text
  for (size_t r = run.firstRoad; r < run.endRoad; ++r) {
    RoadSection section{map, map.roads[r], texts, run.scratch};
    if (takeChain(section)) continue;
    const size_t begin = map.input->sectionBegins[r] - run.begin;
    readSectionLines(input.substr(begin), section.read);
    const size_t textBegin = run.text.size();
    run.text.append(input.substr(copied, begin - copied));
    const size_t sectionBegin = run.text.size();
    appendChangedSection(run.text, section);
    // A road rewritten to the very bytes it was read with is unchanged.
    if (std::string_view(run.text).substr(sectionBegin) == section.read.text) {
      run.text.resize(textBegin);
    } else {
      copied = begin + section.read.text.size();
      ++run.changedRoads;
    }
  }
  if (run.changedRoads == 0) {
    run.output = input;
    return;
  }
  run.text.append(input.substr(copied));
  run.output = run.text;
}

// Runs of roads with about this much input each.
constexpr uint64_t kRunBytes = uint64_t{1} << 20;

}  // namespace

KeptLayout writeKeptLayout(MapOutput* out, const store::Map& map, int threads) {
  KeptLayout result;
  std::deque<std::string> textBuffers;  // texts point into them: never moved
  const std::optional<std::vector<PositionText>> texts = positionTexts(map, textBuffers);
  if (!texts) {
    result.readFailed = true;
    result.error = errno;
    return result;
  }
  base::OrderedJobs<KeptRun> jobs(threads > 1 ? threads : 0, size_t(threads + 2),
                                  [&](KeptRun& run) { formatRun(map, *texts, run); });
  const store::InputText& input = *map.input;
  const size_t roads = map.roads.size;
  size_t nextRoad = 0;
  uint64_t nextByte = 0;
  while (nextByte < input.size || !jobs.empty()) {
    while (!jobs.full() && nextByte < input.size) {
      // The roads that begin in about the next kRunBytes of input (at least
      // one), and the input up to the next road's section.
      std::unique_ptr<KeptRun> run = jobs.fresh();
      run->firstRoad = run->endRoad = nextRoad;
      run->begin = nextByte;
      while (run->endRoad < roads && (run->endRoad == run->firstRoad ||
                                      input.sectionBegins[run->endRoad] - nextByte < kRunBytes))
        ++run->endRoad;
      run->end = run->endRoad == roads ? input.size : input.sectionBegins[run->endRoad];
      nextRoad = run->endRoad;
      nextByte = run->end;
      jobs.give(std::move(run));
    }
    std::unique_ptr<KeptRun> run = jobs.take();
    if (run->readFailed && !result.readFailed) {
      result.readFailed = true;
      result.error = run->error;
    }
    result.changedRoads += run->changedRoads;
    if (out != nullptr && !result.readFailed) writeText(*out, run->output);
    // A run that had to hold a huge stretch of input is not kept for reuse.
    if (run->input.capacity() <= 4 * kRunBytes && run->text.capacity() <= 4 * kRunBytes)
      jobs.handBack(std::move(run));
  }
  return result;
}

}  // namespace tovlek::writer
