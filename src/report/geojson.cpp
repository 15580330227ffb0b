#include "codec/coord_codec.h"
#include "report/formats.h"
#include "report/text.h"

namespace tovlek::report {
namespace {

void appendRoad(std::string& out, const char* which, const RoadText& road) {
  out += ",\"";
  out += which;
  out += "_section\":";
  out += std::to_string(road.section);
  out += ",\"";
  out += which;
  out += "_line\":";
  out += std::to_string(road.line);
  if (road.label.empty()) return;
  out += ",\"";
  out += which;
  out += "_label\":";
  appendJsonString(out, road.label);
}

}  // namespace

void beginGeoJson(std::string& out) {
  out += "{\"type\":\"FeatureCollection\",\"features\":[";
}

void appendGeoJsonFeature(std::string& out, const HtmlPage&, const Feature& feature) {
  out += feature.index == 0 ? "\n" : ",\n";
  // GeoJSON positions are longitude first; the map's pairs are latitude first.
  out += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[";
  codec::appendCoordText(out, feature.y);
  out += ',';
  codec::appendCoordText(out, feature.x);
  out += "]},\"properties\":{\"kind\":\"";
  out += styleOf(feature.kind).name;
  out += '"';
  if (feature.hasDistance) {
    out += ",\"moved\":";
    appendFixed(out, feature.units / 100000.0, 6);
    out += ",\"moved_m\":";
    appendFixed(out, feature.metres, 2);
  }
  appendRoad(out, "first", *feature.first);
  if (feature.second != nullptr) appendRoad(out, "second", *feature.second);
  out += "}}";
}

void endGeoJson(std::string& out, const ReportEnd&) {
  out += "\n]}\n";
}

}  // namespace tovlek::report
