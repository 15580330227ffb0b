#include "writer/map_writer.h"

#include <cinttypes>

#include "reader/coord_codec.h"

namespace tovlek::writer {
namespace {

constexpr size_t kFlushThreshold = size_t{1} << 20;

void flushIfFull(MapOutput& out) {
  if (out.pending.size() >= kFlushThreshold) flushMapOutput(out);
}

void appendHex(std::string& text, int32_t value) {
  char digits[16];
  const int length = std::snprintf(digits, sizeof digits, "%" PRIX32, static_cast<uint32_t>(value));
  text.append(digits, static_cast<size_t>(length));
}

}  // namespace

void writeText(MapOutput& out, std::string_view text) {
  out.pending.append(text);
  flushIfFull(out);
}

bool flushMapOutput(MapOutput& out) {
  if (!out.pending.empty()) {
    if (std::fwrite(out.pending.data(), 1, out.pending.size(), out.file) != out.pending.size()) {
      out.failed = true;
    }
    out.pending.clear();
  }
  if (std::fflush(out.file) != 0) out.failed = true;
  return !out.failed;
}

void writePolylineSection(MapOutput& out, const store::Road& road) {
  ++out.sectionsWritten;
  std::string& text = out.pending;
  text += "[POLYLINE]";
  text += out.lineEnd;
  text += "Type=0x";
  appendHex(text, road.type);
  text += out.lineEnd;
  if (road.subtype >= 0) {
    text += "Subtype=0x";
    appendHex(text, road.subtype);
    text += out.lineEnd;
  }
  text += "Data0=";
  for (const store::Vertex* vertex = road.first; vertex != nullptr; vertex = vertex->next) {
    if (vertex != road.first) text += ',';
    reader::appendPair(text, vertex->x, vertex->y);
    flushIfFull(out);
  }
  text += out.lineEnd;
  for (const store::ExtraLine* line = road.extraLines; line != nullptr; line = line->next) {
    text.append(line->text, line->length);
  }
  text += "[END]";
  text += out.lineEnd;
  text += out.lineEnd;
  flushIfFull(out);
}

void writeRoadList(MapOutput& out) {
  for (const store::Road* road = store::RoadList; road != nullptr; road = road->next) {
    writePolylineSection(out, *road);
  }
}

}  // namespace tovlek::writer
