#include "reader/map_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/ordered_jobs.h"
#include "codec/c_scan.h"
#include "codec/coord_codec.h"

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

// The search copy: ASCII capitals made small, every other byte unchanged.
void makeSearchCopy(std::string_view line, std::string& search) {
  search.resize(line.size());
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    search[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
  }
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

// Whether the line holds `marker`, which begins with '[' and is in small
// letters, with capitals in the line taken as small ones.
bool holdsMarker(std::string_view line, std::string_view marker) {
  for (size_t at = line.find('['); at != std::string_view::npos; at = line.find('[', at + 1)) {
    if (line.size() - at < marker.size()) return false;
    size_t k = 1;
    while (k < marker.size()) {
      const char c = line[at + k];
      if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c) != marker[k]) break;
      ++k;
    }
    if (k == marker.size()) return true;
  }
  return false;
}

bool isSectionHeader(std::string_view line) {
  return holdsMarker(line, "[polyline]") || holdsMarker(line, "[rgn40]");
}

// Follows the header section ([IMG ID] to its end line) for its code page.
void noteHeaderLine(MapInput& in, std::string_view line) {
  if (holdsMarker(line, "[img id]")) {
    in.inHeaderSection = true;
  } else if (holdsMarker(line, "[end")) {
    in.inHeaderSection = false;
  } else if (in.inHeaderSection) {
    std::string search;
    makeSearchCopy(line, search);
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
    size_t begin, end;  // in text
    bool section;
    int64_t firstLine;  // the number of the item's first line
  };
  // A section item, parsed; its parts are the ranges [begin, end) of the arrays.
  struct Section {
    int32_t type = -1;
    int32_t subtype = -1;
    size_t coordsBegin = 0, coordsEnd = 0;
    size_t extraBegin = 0, extraEnd = 0;
    size_t unreadableBegin = 0, unreadableEnd = 0;
  };
  std::string text;
  std::vector<Item> items;
  std::vector<Section> sections;
  std::vector<store::Coord> coords;  // x and y of every vertex
  std::string extraLines;            // the other lines, in reading order
  std::vector<int64_t> unreadablePairLines;
  std::string search;  // a line's search copy while parsing

  void clear() {
    text.clear();
    items.clear();
    sections.clear();
    coords.clear();
    extraLines.clear();
    unreadablePairLines.clear();
  }
};

namespace {

// Whether `text` ends with `word` (small letters), capitals taken as small.
bool endsWithWord(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  text.remove_prefix(text.size() - word.size());
  for (size_t k = 0; k < word.size(); ++k) {
    const char c = text[k];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c) != word[k]) return false;
  }
  return true;
}

// Which of the keys "subtype=" and "type=" the line holds, capitals taken as
// small: both end at an '=', so only the text before each '=' is looked at.
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

// One line of a section body. Coordinate lines, most of the map, are read
// as they stand: a search copy in small letters is made only for the others
// (the number scanner takes capitals and small letters alike).
void parseSectionLine(std::string_view line, int64_t lineNumber, InputPiece& piece,
                      InputPiece::Section& section) {
  const TypeKeys keys = findTypeKeys(line);
  std::string& search = piece.search;
  bool coordinates = !keys.type && endsWithWord(line.substr(0, 5), "data0");
  if (!coordinates) {
    makeSearchCopy(line, search);
    coordinates = !keys.type && (contains(search, "data0") || contains(search, "origin0"));
  }
  if (keys.subtype) {
    readKeyValue(search, "subtype=", section.subtype);
  } else if (keys.type) {
    if (readKeyValue(search, "type=", section.type)) splitType(section.type, section.subtype);
  } else if (coordinates) {
    if (!codec::readCoordList(line, piece.coords)) piece.unreadablePairLines.push_back(lineNumber);
  } else {
    piece.extraLines.append(line);
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
  std::unique_ptr<InputPiece> current;
  size_t item = 0, section = 0;
  base::OrderedJobs<InputPiece> jobs;
};

namespace {

// Cuts the next piece from the input: whole lines, a section never split.
std::unique_ptr<InputPiece> cutPiece(MapInput& in, ReaderState& state) {
  std::unique_ptr<InputPiece> piece = state.jobs.fresh();
  piece->clear();
  std::string& text = piece->text;
  // A section's body begins on the line after its header; a run of lines
  // passed through on the current line.
  auto open = [&](bool section) {
    piece->items.push_back({text.size(), text.size(), section, in.lineNumber + (section ? 1 : 0)});
  };
  auto close = [&] {
    if (!piece->items.empty()) piece->items.back().end = text.size();
  };
  std::string_view line;
  while (readLine(in, line)) {
    if (in.lineNumber == 1) {
      const bool crlf = line.size() >= 2 && line.substr(line.size() - 2) == "\r\n";
      in.lineEnd = crlf ? "\r\n" : "\n";
    }
    if (state.inSection) {
      if (holdsMarker(line, "[end")) {
        close();
        state.inSection = false;
        if (text.size() >= kPieceSize) return piece;
        continue;
      }
      text.append(line);
      continue;
    }
    if (isSectionHeader(line)) {
      close();
      state.inSection = true;
      open(true);
      continue;
    }
    noteHeaderLine(in, line);
    if (piece->items.empty() || piece->items.back().section) open(false);
    text.append(line);
    close();
    if (text.size() >= kPieceSize) return piece;
  }
  // The end of input ends a section as its end line would.
  close();
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

bool isRoadType(int32_t type) {
  return (type >= 0 && type <= 12) || type == 0x42 || type == 0x49;
}

MapReader::MapReader(MapInput& input, int threads)
    : in(input), state(std::make_unique<ReaderState>(threads)) {}

MapReader::~MapReader() = default;

bool readNextRoad(MapReader& reader, store::Map& map, ReadSink& sink) {
  ReaderState& state = *reader.state;
  for (;;) {
    while (state.current == nullptr || state.item == state.current->items.size()) {
      // A piece that had to hold a huge line is not kept for reuse.
      if (state.current != nullptr && state.current->text.capacity() <= 4 * kPieceSize)
        state.jobs.handBack(std::move(state.current));
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
      return true;
    }
    sink.nonRoadSection(road);
    store::dropRoad(map, road);
  }
}

}  // namespace tovlek::reader
