// The change report as KML 2.2: a style per kind, coloured as on the map
// page, and a placemark per feature named and described as in GPX.

#include "codec/coord_codec.h"
#include "report/formats.h"
#include "report/text.h"

namespace tovlek::report {
namespace {

// KML writes a colour as alpha, blue, green, red: "#rrggbb" becomes "ffbbggrr".
void appendKmlColour(std::string& out, const char* colour) {
  out += "ff";
  for (int channel = 2; channel >= 0; --channel) out.append(colour + 1 + 2 * channel, 2);
}

}  // namespace

void beginKml(std::string& out) {
  out +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
      "<Document><name>Tovlek: what the join changed</name>\n";
  for (const KindStyle& style : kKindStyles) {
    out += "<Style id=\"";
    out += style.name;
    out += "\"><IconStyle><color>";
    appendKmlColour(out, style.colour);
    out += "</color></IconStyle></Style>\n";
  }
}

void appendKmlPlacemark(std::string& out, const HtmlPage&, const Feature& feature) {
  out += "<Placemark>";
  appendNameAndDescription(out, feature, "description");
  out += "<styleUrl>#";
  out += styleOf(feature.kind).name;
  out += "</styleUrl><ExtendedData><Data name=\"kind\"><value>";
  out += styleOf(feature.kind).name;
  // KML positions are longitude first; the map's pairs are latitude first.
  out += "</value></Data></ExtendedData><Point><coordinates>";
  codec::appendCoordText(out, feature.y);
  out += ',';
  codec::appendCoordText(out, feature.x);
  out += "</coordinates></Point></Placemark>\n";
}

void endKml(std::string& out, const ReportEnd&) {
  out += "</Document>\n</kml>\n";
}

}  // namespace tovlek::report
