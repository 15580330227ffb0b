// The change report's helper thread stops before what it uses goes: a
// report dropped half-way (as when memory runs out in the join) while the
// helper is turning labels of a code page into UTF-8.
#include "report/change_report.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tovlek::report {
namespace {

store::Road& labelledRoad(store::Map& map, store::Coord x) {
  store::Road& road = store::beginRoad(map);
  road.type = 6;
  store::appendVertex(map, road, x, 0);
  store::appendVertex(map, road, x + 100, 0);
  store::appendExtraLine(map, road, "Label=\xD3\xEB\xE8\xF6\xE0 \xCB\xE5\xED\xE8\xED\xE0\n");
  store::keepRoad(map, road);
  map.sources.pushBack({1, 1});
  return road;
}

TEST(ChangeReportTest, DroppedWhileTheHelperWorks) {
  store::Map map;
  const store::Road& a = labelledRoad(map, 0);
  const store::Road& b = labelledRoad(map, 1000);
  writer::MapOutput out;
  out.file = std::fopen("/dev/null", "w");
  ASSERT_NE(out.file, nullptr);
  for (int round = 0; round < 10; ++round) {
    ChangeReport report(out, ReportFormat::kGpx, map, {}, 1251, true);
    for (int i = 0; i < 6 * 4096; ++i) {
      // Pairs that change with every feature: every one decodes its labels.
      if (i % 2 == 0) {
        report.roadPair(a, 1, b, 0);
      } else {
        report.roadPair(b, 0, a, 1);
      }
      report.changed({junction::ChangeKind::kWeld, 0, 0, i % 7, 1});
    }
  }  // dropped without finish, batches still in work
  std::fclose(out.file);
}

}  // namespace
}  // namespace tovlek::report
