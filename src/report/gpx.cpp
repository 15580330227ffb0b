#include "codec/coord_codec.h"
#include "report/formats.h"
#include "report/text.h"

namespace tovlek::report {
namespace {

void appendRoad(std::string& out, const RoadText& road) {
  const std::string place =
      "section " + std::to_string(road.section) + ", line " + std::to_string(road.line);
  if (!road.label.empty()) {
    appendXmlText(out, road.label);
    out += " (" + place + ')';
  } else {
    out += place;
  }
}

}  // namespace

void appendNameAndDescription(std::string& out, const Feature& feature, const char* tag) {
  out += "<name>";
  out += styleOf(feature.kind).name;
  if (feature.hasDistance) {
    out += ' ';
    appendFixed(out, feature.metres, 1);
    out += " m";
  }
  out += "</name><";
  out += tag;
  out += '>';
  appendRoad(out, *feature.first);
  if (feature.second != nullptr) {
    out += "; ";
    appendRoad(out, *feature.second);
  }
  out += "</";
  out += tag;
  out += '>';
}

void beginGpx(std::string& out) {
  out +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"Tovlek\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
}

void appendGpxWaypoint(std::string& out, const HtmlPage&, const Feature& feature) {
  out += "<wpt lat=\"";
  codec::appendCoordText(out, feature.x);
  out += "\" lon=\"";
  codec::appendCoordText(out, feature.y);
  out += "\">";
  appendNameAndDescription(out, feature, "desc");
  out += "<type>";
  out += styleOf(feature.kind).name;
  out += "</type></wpt>\n";
}

void endGpx(std::string& out, const ReportEnd&) {
  out += "</gpx>\n";
}

}  // namespace tovlek::report
