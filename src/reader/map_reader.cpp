#include "reader/map_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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
void splitType(store::Road& road) {
  if (road.type > 255) {
    road.subtype = road.type % 256;
    road.type = road.type >> 8;
  }
}

// One line of a section body. Returns true when the line ends the section.
bool readSectionLine(MapInput& in, std::string_view line, store::Map& map, store::Road& road,
                     ReadSink& sink) {
  const std::string_view search = in.search;
  if (contains(search, "[end")) return true;
  if (contains(search, "subtype=")) {
    readKeyValue(search, "subtype=", road.subtype);
  } else if (contains(search, "type=")) {
    if (readKeyValue(search, "type=", road.type)) splitType(road);
  } else if (contains(search, "data0") || contains(search, "origin0")) {
    if (!codec::readCoordList(search, map, road)) sink.unreadablePair(in.lineNumber);
  } else {
    store::appendExtraLine(map, road, line);
  }
  return false;
}

// Follows the header section ([IMG ID] to its end line) for its code page.
void noteHeaderLine(MapInput& in) {
  const std::string_view search = in.search;
  if (contains(search, "[img id]")) {
    in.inHeaderSection = true;
  } else if (contains(search, "[end")) {
    in.inHeaderSection = false;
  } else if (in.inHeaderSection && contains(search, "codepage=")) {
    readDecimalValue(search, valueStart(search, "codepage="), in.codePage);
  }
}

bool isSectionHeader(std::string_view search) {
  return contains(search, "[polyline]") || contains(search, "[rgn40]");
}

bool readLineAndSearchCopy(MapInput& in, std::string_view& line) {
  if (!readLine(in, line)) return false;
  if (in.lineNumber == 1) {
    const bool crlf = line.size() >= 2 && line.substr(line.size() - 2) == "\r\n";
    in.lineEnd = crlf ? "\r\n" : "\n";
  }
  makeSearchCopy(line, in.search);
  return true;
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

bool readNextRoad(MapInput& in, store::Map& map, ReadSink& sink) {
  std::string_view line;
  for (;;) {
    // Outside a section: everything but a header passes through.
    bool found = false;
    while (!found) {
      if (!readLineAndSearchCopy(in, line)) return false;
      found = isSectionHeader(in.search);
      if (!found) {
        noteHeaderLine(in);
        sink.passThrough(line);
      }
    }

    store::Road& road = store::beginRoad(map);
    while (readLineAndSearchCopy(in, line) && !readSectionLine(in, line, map, road, sink)) {
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
