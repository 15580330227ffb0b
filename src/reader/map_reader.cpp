#include "reader/map_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/ordered_jobs.h"
#include "codec/c_scan.h"
#include "codec/coord_codec.h"
#include "codec/section_lines.h"

namespace tovlek::reader {
namespace {

constexpr size_t kFirstBlock = size_t{1} << 16;
constexpr size_t kBlockSize = size_t{1} << 20;

bool refill(MapInput& in) {
  if (in.endOfFile) return false;
  // Blocks grow to their full size over the first reads: a small map is read
  // with a small buffer.
  if (in.block.size() < kBlockSize) in.block.resize(std::max(kFirstBlock, in.block.size() * 2));
  const size_t got = std::fread(in.block.data(), 1, in.block.size(), in.file);
  in.blockBegin = 0;
  in.blockEnd = got;
  if (got < in.block.size()) {
    in.endOfFile = true;
    if (std::ferror(in.file)) {
      in.failed = true;
      in.error = errno;
    }
  }
  return got > 0;
}

bool contains(std::string_view text, std::string_view key) {
  return text.find(key) != std::string_view::npos;
}

// The position behind `key` and the blanks and tabs that follow it.
size_t valueStart(std::string_view search, std::string_view key) {
  size_t at = search.find(key) + key.size();
  while (at < search.size() && (search[at] == ' ' || search[at] == '\t')) ++at;
  return at;
}

// A decimal number at `at` that ends the value: the line end, a blank, a tab
// or a comment follows it.
bool readDecimalValue(std::string_view search, size_t at, int32_t& field) {
  const codec::ScannedInteger value = codec::scanDecimal(search, at);
  if (!value.ok) return false;
  const char next = value.end < search.size() ? search[value.end] : '\n';
  if (next != '\n' && next != '\r' && next != ' ' && next != '\t' && next != ';') return false;
  field = static_cast<int32_t>(value.value);
  return true;
}

// Reads the value behind `key` ("type=" or "subtype=") into the field: behind
// blanks and tabs, either "0x" and a hexadecimal number, or a decimal number
// that ends the value. The field keeps its value when there is none (nothing
// is read beyond the line). True when a value was read.
bool readKeyValue(std::string_view search, std::string_view key, int32_t& field) {
  size_t at = valueStart(search, key);
  if (search.substr(at, 2) != "0x") return readDecimalValue(search, at, field);
  at += 2;
  if (at >= search.size()) return false;
  const codec::ScannedHex value = codec::scanHex(search, at);
  if (value.ok) field = value.value;
  return value.ok;
}

// A type above 255 carries the subtype in its low byte (split once).
void splitType(int32_t& type, int32_t& subtype) {
  if (type > 255) {
    subtype = type % 256;
    type = type >> 8;
  }
}

bool isSectionHeader(std::string_view line) {
  return codec::holdsMarker(line, "[polyline]") || codec::holdsMarker(line, "[rgn40]");
}

// Follows the header section ([IMG ID] to its end line) for its code page.
void noteHeaderLine(MapInput& in, std::string_view line) {
  if (codec::holdsMarker(line, "[img id]")) {
    in.inHeaderSection = true;
    in.sawSection = true;
  } else if (codec::holdsMarker(line, "[end")) {
    in.inHeaderSection = false;
    in.sawSection = true;
  } else if (in.inHeaderSection) {
    std::string search;
    codec::makeSearchCopy(line, search);
    if (contains(search, "codepage=")) {
      readDecimalValue(search, valueStart(search, "codepage="), in.codePage);
    }
  }
}

}  // namespace

// A piece of the input, cut at section boundaries: runs of lines passed
// through, and section bodies (without their header and end lines). Once
// parsed, the sections' vertices, other lines and unreadable coordinate
// lines are in three arrays shared by all sections of the piece, so that a
// piece used again allocates nothing.
struct InputPiece {
  struct Item {
    size_t begin, end;   // in text: the lines passed through, or a section's body
    size_t headerBegin;  // a section's header line
    bool section;
    int64_t firstLine;  // the number of the item's first line (a section's: of its body)
  };
  // A section item, parsed; its parts are the ranges [begin, end) of the arrays.
  struct Section {
    int32_t type = -1;
    int32_t subtype = -1;
    size_t coordsBegin = 0, coordsEnd = 0;
    size_t extraBegin = 0, extraEnd = 0;
    size_t unreadableBegin = 0, unreadableEnd = 0;
  };
  std::string text;  // every line of the piece, as read
  std::vector<Item> items;
  std::vector<Section> sections;
  std::vector<store::Coord> coords;  // x and y of every vertex
  std::string extraLines;            // the other lines, in reading order
  std::vector<int64_t> unreadablePairLines;
  // Whether each vertex's pair is written as the tool writes it, when asked.
  bool wantPlainPairs = false;
  std::vector<bool> plainPairs;
  std::vector<size_t> lineOpens;  // scratch: the pairs of one line
  std::string search;             // a line's search copy while parsing

  void clear() {
    text.clear();
    items.clear();
    sections.clear();
    coords.clear();
    extraLines.clear();
    unreadablePairLines.clear();
    plainPairs.clear();
  }
};

namespace {

// Whether each pair of a coordinate line is written as the tool writes it.
void notePlainPairs(std::string_view line, InputPiece& piece) {
  for (const size_t open : piece.lineOpens)
    piece.plainPairs.push_back(codec::isPlainPair(line, open));
}

// One line of a section body.
void parseSectionLine(std::string_view line, int64_t lineNumber, InputPiece& piece,
                      InputPiece::Section& section) {
  const std::string& search = piece.search;
  switch (codec::keyOfSectionLine(line, piece.search)) {
    case codec::SectionLine::kSubtype:
      readKeyValue(search, "subtype=", section.subtype);
      break;
    case codec::SectionLine::kType:
      if (readKeyValue(search, "type=", section.type)) splitType(section.type, section.subtype);
      break;
    case codec::SectionLine::kCoordinates: {
      std::vector<size_t>* opens = piece.wantPlainPairs ? &piece.lineOpens : nullptr;
      if (opens != nullptr) opens->clear();
      if (!codec::readCoordList(line, piece.coords, opens))
        piece.unreadablePairLines.push_back(lineNumber);
      if (opens != nullptr) notePlainPairs(line, piece);
      break;
    }
    case codec::SectionLine::kOther:
      piece.extraLines.append(line);
      break;
  }
}

void parsePiece(InputPiece& piece) {
  for (const InputPiece::Item& item : piece.items) {
    if (!item.section) continue;
    InputPiece::Section& section = piece.sections.emplace_back();
    section.coordsBegin = piece.coords.size();
    section.extraBegin = piece.extraLines.size();
    section.unreadableBegin = piece.unreadablePairLines.size();
    const std::string_view body(piece.text.data() + item.begin, item.end - item.begin);
    int64_t lineNumber = item.firstLine;
    for (size_t begin = 0; begin < body.size(); ++lineNumber) {
      const size_t feed = body.find('\n', begin);
      const size_t end = feed == std::string_view::npos ? body.size() : feed + 1;
      parseSectionLine(body.substr(begin, end - begin), lineNumber, piece, section);
      begin = end;
    }
    section.coordsEnd = piece.coords.size();
    section.extraEnd = piece.extraLines.size();
    section.unreadableEnd = piece.unreadablePairLines.size();
  }
}

// A piece is cut once it holds this much, at the next item boundary.
constexpr size_t kPieceSize = size_t{1} << 20;

}  // namespace

// The splitter's place in the input, the pieces in work, and the piece
// being handed on.
struct ReaderState {
  explicit ReaderState(int threads)
      : jobs(threads > 1 ? threads : 0, threads > 1 ? size_t(threads + 2) : 1, parsePiece) {}

  bool inSection = false;
  bool inputDone = false;
  bool wantPlainPairs = false;
  std::unique_ptr<InputPiece> current;
  size_t item = 0, section = 0;
  uint64_t pieceStart = 0;       // the current piece's offset in the input
  int64_t polylineSections = 0;  // handed on so far
  base::OrderedJobs<InputPiece> jobs;
};

namespace {

// Reads the next line into `line` (valid until the next call). False at the
// end of input or on a read error (then `failed` is set).
bool readLine(MapInput& in, std::string_view& line) {
  in.carried.clear();
  bool carrying = false;
  for (;;) {
    if (in.blockBegin == in.blockEnd && !refill(in)) {
      if (!carrying) return false;
      break;  // the last line, without a line feed
    }
    const char* begin = in.block.data() + in.blockBegin;
    const size_t available = in.blockEnd - in.blockBegin;
    const void* feed = std::memchr(begin, '\n', available);
    if (feed == nullptr) {
      in.carried.append(begin, available);
      in.blockBegin = in.blockEnd;
      carrying = true;
      continue;
    }
    const size_t length = static_cast<size_t>(static_cast<const char*>(feed) - begin) + 1;
    in.blockBegin += length;
    if (!carrying) {
      line = std::string_view(begin, length);
      ++in.lineNumber;
      return true;
    }
    in.carried.append(begin, length);
    break;
  }
  line = in.carried;
  ++in.lineNumber;
  return true;
}

// True for a polyline type that makes a road: 0 to 12, 0x42 and 0x49.
bool isRoadType(int32_t type) {
  return (type >= 0 && type <= 12) || type == 0x42 || type == 0x49;
}

// Cuts the next piece from the input: whole lines, a section never split.
std::unique_ptr<InputPiece> cutPiece(MapInput& in, ReaderState& state) {
  std::unique_ptr<InputPiece> piece = state.jobs.fresh();
  piece->clear();
  piece->wantPlainPairs = state.wantPlainPairs;
  std::string& text = piece->text;
  // A section's body begins on the line after its header; a run of lines
  // passed through on the current line.
  auto open = [&](bool section) {
    const size_t at = text.size();
    piece->items.push_back({at, at, at, section, in.lineNumber + (section ? 1 : 0)});
  };
  auto close = [&] { piece->items.back().end = text.size(); };
  std::string_view line;
  while (readLine(in, line)) {
    if (in.lineNumber == 1) {
      const bool crlf = line.size() >= 2 && line.substr(line.size() - 2) == "\r\n";
      in.lineEnd = crlf ? "\r\n" : "\n";
    }
    if (state.inSection) {
      if (codec::holdsMarker(line, "[end")) {
        close();
        text.append(line);
        state.inSection = false;
        if (text.size() >= kPieceSize) return piece;
        continue;
      }
      text.append(line);
      continue;
    }
    if (isSectionHeader(line)) {
      state.inSection = true;
      in.sawSection = true;
      open(true);
      text.append(line);
      piece->items.back().begin = piece->items.back().end = text.size();
      continue;
    }
    noteHeaderLine(in, line);
    if (piece->items.empty() || piece->items.back().section) open(false);
    text.append(line);
    close();
    if (text.size() >= kPieceSize) return piece;
  }
  // The end of input ends a section as its end line would.
  if (state.inSection) close();
  state.inSection = false;
  state.inputDone = true;
  return piece;
}

// The next piece to hand on, once parsed; null at the end of input.
std::unique_ptr<InputPiece> nextPiece(MapReader& reader) {
  ReaderState& state = *reader.state;
  while (!state.inputDone && !state.jobs.full()) state.jobs.give(cutPiece(reader.in, state));
  return state.jobs.take();
}

// Asks for the text of an item a little ahead when it is passed through.
// The piece was cut long before (its sections were parsed on a helper), so
// that text has left the cache, and this thread reads nothing else of it:
// without this, the blank line after every section costs a wait on memory.
void fetchPassedTextAhead(const InputPiece& piece, size_t item) {
  constexpr size_t kAhead = 8;
  if (item + kAhead >= piece.items.size()) return;
  const InputPiece::Item& ahead = piece.items[item + kAhead];
  if (!ahead.section) __builtin_prefetch(piece.text.data() + ahead.begin);
}

}  // namespace

MapReader::MapReader(MapInput& input, int threads)
    : in(input), state(std::make_unique<ReaderState>(threads)) {}

MapReader::~MapReader() = default;

namespace {

// Done with the current piece: its text goes to the map when the input is
// kept, and the piece is used again unless it had to hold a huge line.
void finishPiece(ReaderState& state, store::Map& map) {
  InputPiece& piece = *state.current;
  const uint64_t size = piece.text.size();
  if (map.input != nullptr && !map.input->readAgain) {
    map.input->pieceStarts.push_back(state.pieceStart);
    map.input->pieces.push_back(std::move(piece.text));
    piece.text = std::string();
  }
  state.pieceStart += size;
  if (map.input != nullptr) map.input->size = state.pieceStart;
  if (piece.text.capacity() <= 4 * kPieceSize) state.jobs.handBack(std::move(state.current));
  state.current = nullptr;
}

// Notes where a kept road stands in the input, as the map asks.
void noteSource(ReaderState& state, store::Map& map, const store::Road& road,
                const InputPiece::Item& item, const InputPiece::Section& parsed) {
  if (map.keepSources) map.sources.pushBack({item.firstLine - 1, state.polylineSections});
  if (map.input == nullptr) return;
  store::InputText& input = *map.input;
  input.sectionBegins.pushBack(state.pieceStart + item.headerBegin);
  input.plainBits.resize((road.first + road.readVertexCount) / 64 + 1, 0);
  const std::vector<bool>& plain = state.current->plainPairs;
  for (uint32_t k = 0; k < road.readVertexCount; ++k) {
    const store::VertexId id = road.first + k;
    if (plain[parsed.coordsBegin / 2 + k]) input.plainBits[id >> 6] |= uint64_t{1} << (id & 63);
  }
}

}  // namespace

bool readNextRoad(MapReader& reader, store::Map& map, ReadSink& sink) {
  ReaderState& state = *reader.state;
  state.wantPlainPairs = map.input != nullptr;
  for (;;) {
    while (state.current == nullptr || state.item == state.current->items.size()) {
      if (state.current != nullptr) finishPiece(state, map);
      state.current = nextPiece(reader);
      if (state.current == nullptr) return false;
      state.item = state.section = 0;
    }
    const InputPiece& piece = *state.current;
    fetchPassedTextAhead(piece, state.item);
    const InputPiece::Item& item = piece.items[state.item++];
    if (!item.section) {
      sink.passThrough(std::string_view(piece.text).substr(item.begin, item.end - item.begin));
      continue;
    }
    const InputPiece::Section& parsed = piece.sections[state.section++];
    ++state.polylineSections;
    for (size_t k = parsed.unreadableBegin; k < parsed.unreadableEnd; ++k)
      sink.unreadablePair(piece.unreadablePairLines[k]);
    store::Road& road = store::beginRoad(map);
    road.type = parsed.type;
    road.subtype = parsed.subtype;
    for (size_t k = parsed.coordsBegin; k < parsed.coordsEnd; k += 2)
      store::appendVertex(map, road, piece.coords[k], piece.coords[k + 1]);
    if (parsed.extraEnd > parsed.extraBegin) {
      store::appendExtraLine(map, road,
                             std::string_view(piece.extraLines)
                                 .substr(parsed.extraBegin, parsed.extraEnd - parsed.extraBegin));
    }
    if (isRoadType(road.type) && road.first != store::kNoVertex) {
      store::keepRoad(map, road);
      noteSource(state, map, road, item, parsed);
      return true;
    }
    sink.nonRoadSection(road);
    store::dropRoad(map, road);
  }
}

}  // namespace tovlek::reader
