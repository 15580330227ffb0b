// The change report as one self-contained page: the roads the features name
// as lines, every feature as a marker coloured by its kind, drawn on a canvas
// with pan and zoom, a legend with the count of each kind, and a feature's
// details on a click. Nothing is fetched from elsewhere.
#include <cmath>
#include <iterator>

#include "report/formats.h"
#include "report/text.h"

namespace tovlek::report {
namespace {

void appendInteger(std::string& out, int64_t value) {
  out += std::to_string(value);
  out += ',';
}

const char* const kHead = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Tovlek: what the join changed</title>
<meta name="viewport" content="width=device-width,initial-scale=1">
<style>
html,body{margin:0;height:100%;font:13px sans-serif;overflow:hidden}
#map{position:absolute;inset:0;width:100%;height:100%;cursor:grab;background:#fbfbf8}
.box{position:absolute;background:#fffe;border:1px solid #bbb;border-radius:4px;padding:6px 9px}
#legend{top:8px;right:8px}#legend ul{list-style:none;margin:4px 0 0;padding:0}
#legend span{display:inline-block;width:10px;height:10px;margin-right:6px;border-radius:5px}
#legend li{cursor:pointer}#legend li.off{opacity:.35}
#details{bottom:8px;left:8px;max-width:60%;display:none}#hint{bottom:8px;right:8px;color:#666}
</style></head><body>
<canvas id="map"></canvas><div id="legend" class="box"></div><div id="details" class="box"></div>
<div id="hint" class="box">drag to move, wheel to zoom, click a marker; click a kind to hide it</div>
<script>
const F=[)";

// The page's script: reads F (kind, x, y, centimetres, first and second
// section per feature, x and y counted from O), R (section, input line,
// label, then the road's vertices as steps from O), O, and the kinds: K
// (names), C (colours) and D (the order they are drawn in).
const char* const kScript = R"JS(<script>
(function () {
  var body = document.body;
  window.onerror = function (m) { body.setAttribute("data-error", String(m)); };
  var open = K.indexOf("open-end");
  var count = K.map(function () { return 0; }), byKind = K.map(function () { return []; });
  for (var i = 0; i < F.length; i += 6) { count[F[i]]++; byKind[F[i]].push(i); }
  // Changes on top of the places to look (open ends, drawn as rings); a
  // snap over the point placed for it.
  var hidden = K.map(function () { return false; });
  var legend = "<b>" + (F.length / 6 - count[open]) + " changes, " + count[open] + " open ends</b><ul>";
  K.forEach(function (k, j) {
    legend += '<li data-kind="' + k + '" data-count="' + count[j] + '"><span style="background:' +
      C[j] + '"></span>' + k + " <b>" + count[j] + "</b></li>";
  });
  var legendBox = document.getElementById("legend");
  legendBox.innerHTML = legend + "</ul>";
  legendBox.querySelectorAll("li").forEach(function (item, j) {
    item.addEventListener("click", function () {
      hidden[j] = !hidden[j]; item.className = hidden[j] ? "off" : ""; draw();
    });
  });
  var roads = {}, minX = 1e12, maxX = -1e12, minY = 1e12, maxY = -1e12;
  function grow(x, y) {
    if (x < minX) minX = x; if (x > maxX) maxX = x; if (y < minY) minY = y; if (y > maxY) maxY = y;
  }
  R.forEach(function (r) {
    roads[r[0]] = r;
    for (var i = 3, x = 0, y = 0; i < r.length; i += 2) { x += r[i]; y += r[i + 1]; grow(x, y); }
  });
  for (i = 0; i < F.length; i += 6) grow(F[i + 1], F[i + 2]);
  if (minX > maxX) { minX = maxX = minY = maxY = 0; }
  var canvas = document.getElementById("map"), ctx = canvas.getContext("2d");
  var ratio = window.devicePixelRatio || 1, width, height;
  var east = Math.cos((O[0] + (minX + maxX) / 2) / 1e5 * Math.PI / 180);
  var view = { x: (minX + maxX) / 2, y: (minY + maxY) / 2, scale: 1 };
  function sx(y) { return (y - view.y) * east * view.scale + width / 2; }
  function sy(x) { return height / 2 - (x - view.x) * view.scale; }
  function draw() {
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    ctx.clearRect(0, 0, width, height);
    ctx.strokeStyle = "#999"; ctx.lineWidth = 1; ctx.beginPath();
    R.forEach(function (r) {
      for (var i = 3, x = 0, y = 0; i < r.length; i += 2) {
        x += r[i]; y += r[i + 1];
        if (i == 3) ctx.moveTo(sx(y), sy(x)); else ctx.lineTo(sx(y), sy(x));
      }
    });
    ctx.stroke();
    D.forEach(function (k) {
      if (hidden[k]) return;
      ctx.beginPath();
      byKind[k].forEach(function (i) {
        var x = sx(F[i + 2]), y = sy(F[i + 1]);
        if (x < -9 || y < -9 || x > width + 9 || y > height + 9) return;
        ctx.moveTo(x + 3, y); ctx.arc(x, y, 3, 0, 2 * Math.PI);
      });
      if (k == open) { ctx.strokeStyle = C[k]; ctx.lineWidth = 1.5; ctx.stroke(); }
      else { ctx.fillStyle = C[k]; ctx.fill(); }
    });
  }
  function fit() {
    width = innerWidth; height = innerHeight;
    canvas.width = width * ratio; canvas.height = height * ratio;
    var spanX = Math.max(maxX - minX, 10), spanY = Math.max((maxY - minY) * east, 10);
    view.scale = 0.9 * Math.min(height / spanX, width / spanY);
    draw();
  }
  function degrees(v) { return (v / 1e5).toFixed(5); }
  // A label as it stands in the map: markup characters escaped, entities too.
  function text(s) { return s.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;"); }
  function road(section) {
    if (!section) return "";
    var r = roads[section];
    if (!r) return "<br>section " + section;
    return "<br>section " + section + ", line " + r[1] + (r[2] ? ": " + text(r[2]) : "");
  }
  function show(i) {
    var box = document.getElementById("details");
    if (i < 0) { box.style.display = "none"; return; }
    box.innerHTML = "<b>" + K[F[i]] + "</b>" + (F[i + 3] >= 0 ? " " + (F[i + 3] / 100).toFixed(2) + " m" : "") +
      " at " + degrees(O[0] + F[i + 1]) + ", " + degrees(O[1] + F[i + 2]) + road(F[i + 4]) + road(F[i + 5]);
    box.style.display = "block";
  }
  function nearest(px, py) {
    var best = -1, bestD = 64;
    for (var i = 0; i < F.length; i += 6) {
      if (hidden[F[i]]) continue;
      var dx = sx(F[i + 2]) - px, dy = sy(F[i + 1]) - py, d = dx * dx + dy * dy;
      if (d < bestD) { bestD = d; best = i; }
    }
    return best;
  }
  var drag = null;
  canvas.addEventListener("mousedown", function (e) { drag = { x: e.clientX, y: e.clientY, moved: false }; });
  addEventListener("mousemove", function (e) {
    if (!drag) return;
    var dx = e.clientX - drag.x, dy = e.clientY - drag.y;
    if (Math.abs(dx) + Math.abs(dy) > 2) drag.moved = true;
    view.y -= dx / (view.scale * east); view.x += dy / view.scale;
    drag.x = e.clientX; drag.y = e.clientY; draw();
  });
  addEventListener("mouseup", function (e) {
    if (drag && !drag.moved) show(nearest(e.clientX, e.clientY));
    drag = null;
  });
  canvas.addEventListener("wheel", function (e) {
    e.preventDefault();
    var factor = e.deltaY < 0 ? 1.25 : 0.8;
    var y = view.y + (e.clientX - width / 2) / (view.scale * east);
    var x = view.x - (e.clientY - height / 2) / view.scale;
    view.scale *= factor;
    view.y = y - (e.clientX - width / 2) / (view.scale * east);
    view.x = x + (e.clientY - height / 2) / view.scale;
    draw();
  }, { passive: false });
  addEventListener("resize", fit);
  fit();
  // A link to one change: page.html#N shows the details of the N-th (from 0).
  var linked = parseInt(location.hash.slice(1), 10);
  if (linked >= 0 && linked < F.length / 6) {
    view.x = F[6 * linked + 1]; view.y = F[6 * linked + 2]; draw(); show(6 * linked);
  }
  body.setAttribute("data-ready", "1");
})();
</script></body></html>
)JS";

}  // namespace

void beginHtml(std::string& out) {
  out += kHead;
}

void noteHtmlFeature(HtmlPage& page, store::Coord x, store::Coord y) {
  if (page.hasOrigin) return;
  page.hasOrigin = true;
  page.originX = x;
  page.originY = y;
}

void noteHtmlRoad(HtmlPage& page, int64_t position) {
  if (page.namedRoads.size() <= static_cast<size_t>(position))
    page.namedRoads.resize(static_cast<size_t>(position) + 1);
  page.namedRoads[static_cast<size_t>(position)] = true;
}

void appendHtmlFeature(std::string& out, const HtmlPage& page, const Feature& feature) {
  appendInteger(out, static_cast<int64_t>(feature.kind));
  appendInteger(out, int64_t{feature.x} - page.originX);
  appendInteger(out, int64_t{feature.y} - page.originY);
  appendInteger(out, feature.hasDistance ? std::llround(feature.metres * 100) : -1);
  for (const RoadText* road : {feature.first, feature.second})
    appendInteger(out, road != nullptr ? road->section : 0);
  out += '\n';
}

namespace {

void appendHtmlRoad(std::string& out, const HtmlPage& page, const store::Map& map,
                    const store::Road& road, const RoadText& text) {
  out += '[';
  appendInteger(out, text.section);
  appendInteger(out, text.line);
  appendJsonString(out, text.label, true);
  int64_t x = page.originX, y = page.originY;
  store::forEachVertex(map, road, [&](const store::Vertex& v) {
    out += ',';
    out += std::to_string(int64_t{v.x} - x);
    out += ',';
    out += std::to_string(int64_t{v.y} - y);
    x = v.x;
    y = v.y;
  });
  out += "],\n";
}

}  // namespace

namespace {

// A script array of the kinds' names or colours.
void appendKindArray(std::string& out, const char* name, const char* KindStyle::*field) {
  out += "const ";
  out += name;
  out += "=[";
  for (const KindStyle& style : kKindStyles) {
    if (&style != kKindStyles) out += ',';
    out += '"';
    out += style.*field;
    out += '"';
  }
  out += "];\n";
}

// The kinds for the page's script, from the one table: K (names), C
// (colours) and D (the kinds by layer, the order they are drawn in).
void appendKinds(std::string& out) {
  appendKindArray(out, "K", &KindStyle::name);
  appendKindArray(out, "C", &KindStyle::colour);
  out += "const D=[";
  const char* comma = "";
  for (int layer = 0; layer < static_cast<int>(std::size(kKindStyles)); ++layer) {
    for (size_t k = 0; k < std::size(kKindStyles); ++k) {
      if (kKindStyles[k].layer != layer) continue;
      out += comma;
      out += std::to_string(k);
      comma = ",";
    }
  }
  out += "];\n";
}

}  // namespace

void endHtml(std::string& out, const ReportEnd& end) {
  const HtmlPage& page = end.page;
  out += "];\nconst R=[";
  for (size_t p = 0; p < store::roadCount(end.map) && p < page.namedRoads.size(); ++p) {
    if (page.namedRoads[p])
      appendHtmlRoad(out, page, end.map, store::roadAt(end.map, p),
                     end.textOf(static_cast<int64_t>(p)));
  }
  out += "];\nconst O=[";
  out += std::to_string(page.originX);
  out += ',';
  out += std::to_string(page.originY);
  out += "];\n";
  appendKinds(out);
  out += "</script>\n";
  out += kScript;
}

}  // namespace tovlek::report
