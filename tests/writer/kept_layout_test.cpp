// The kept layout: the map as read, with only the coordinate and index
// lines of the roads the join changed rewritten.
#include <gtest/gtest.h>

#include "support/pipeline.h"

namespace tovlek::writer {
namespace {

driver::Settings keptLayout(int32_t minDistance = 10) {
  driver::Settings settings;
  settings.MinDistance = minDistance;
  settings.keepLayout = true;
  return settings;
}

TEST(KeptLayoutTest, WritesTheInputWithOnlyTheJoinsChanged) {
  const struct {
    const char* name;
    std::string input;
    std::string output;  // empty: the input, byte for byte
  } cases[] = {
      {"nothing to join: every byte as read (a BOM, mixed line ends, comments, a code page, "
       "6 decimals, sections of both spellings, no last line end)",
       "\xEF\xBB\xBF; first\r\n[IMG ID]\r\nCodePage=1251\r\n[END-IMG ID]\n\n; between\n"
       "[POLYLINE]\nType=0x1f\nData0=(1.123456,2.123456),(1.223456,2.223456)\n[END]\r\n"
       "[POLYLINE]\r\nType=0x6\r\nLabel=\xD3\xEB\r\nData0=(1.000004,2.000004),(1.001,2.0)\r\n"
       "[END]\r\n; after\n[rgn40]\nType=6\nData0=( 3.5, 4.5),(3.6,4.6)\nLabel=open at the end",
       ""},
      {"a vertex welded onto one that did not move takes its text",
       "[POLYLINE]\nType=0x6\nData0=(1.000004,2.000004),(1.001000,2.000000)\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(0.99900,2.00003),(1.00003,2.00002),(1.00100,2.00100)\n[END]\n",
       "[POLYLINE]\nType=0x6\nData0=(1.000004,2.000004),(1.001000,2.000000)\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(0.99900,2.00003),(1.000004,2.000004),(1.00100,2.00100)\n"
       "[END]\n"},
      {"texts of different value at one position: the earliest section's wins",
       "[POLYLINE]\nType=0x6\nData0=(1.000004,2.000004),(1.001000,2.000000)\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(1.000001,2.000001),(0.999000,2.000000)\n[END]\n",
       "[POLYLINE]\nType=0x6\nData0=(1.000004,2.000004),(1.001000,2.000000)\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(1.000004,2.000004),(0.999000,2.000000)\n[END]\n"},
      {"repeats the join made are written once, but for vertices that index lines name; "
       "repeats the map had stay",
       "[POLYLINE]\nType=0x6\nData0=(1.00000,2.00000),(1.00100,2.00000)\n[END]\n"
       "[POLYLINE]\nType=0x6\nNod1=0,100,0\n"
       "Data0=(0.99900,2.00100),(1.00002,2.00003),(1.00003,2.00002),(1.00100,2.00200)\n"
       "Nod2=3,101,0\n[END]\n"
       "[POLYLINE]\nType=0x6\n"
       "Data0=(0.99900,2.01100),(1.00002,2.01003),(1.00003,2.01002),(1.00100,2.01200)\n"
       "Nod1=1,200,0\nNumbers2=2,E,2,8,O,3,9\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(1.00000,2.01000),(1.00100,2.01000)\n[END]\n"
       "[POLYLINE]\nType=0x6\n"
       "Data0=(2.00000,3.00000),(2.00000,3.00000),(2.00100,3.00000),(2.00200,3.00003)\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(2.00200,3.00000),(2.00300,3.00000)\n[END]\n",
       "[POLYLINE]\nType=0x6\nData0=(1.00005,2.00000),(1.00100,2.00000)\n[END]\n"
       "[POLYLINE]\nType=0x6\nNod1=0,100,0\n"
       "Data0=(0.99900,2.00100),(1.00005,2.00000),(1.00100,2.00200)\nNod2=2,101,0\n[END]\n"
       "[POLYLINE]\nType=0x6\n"
       "Data0=(0.99900,2.01100),(1.00005,2.01000),(1.00005,2.01000),(1.00100,2.01200)\n"
       "Nod1=1,200,0\nNumbers2=2,E,2,8,O,3,9\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(1.00005,2.01000),(1.00100,2.01000)\n[END]\n"
       "[POLYLINE]\nType=0x6\n"
       "Data0=(2.00000,3.00000),(2.00000,3.00000),(2.00100,3.00000),(2.00200,3.00001)\n[END]\n"
       "[POLYLINE]\nType=0x6\nData0=(2.00200,3.00001),(2.00300,3.00000)\n[END]\n"},
      {"coordinates on two lines become one line in place of the first; index lines follow "
       "inserted vertices",
       "[POLYLINE]\nType=0x6\nNod1=0,1,0\nData0=(5.00000,5.00000),(5.00100,5.00000)\n"
       "Nod2=1,2,0\n[END]\n"
       "[POLYLINE]\r\nType=0x6\r\nLabel=Cross\r\nOrigin0=(5.00050,4.99950) ; start\r\n"
       "DATA0=(5.00050,5.00050)\r\nNod1=1,3,0\r\n[END]\r\n",
       "[POLYLINE]\nType=0x6\nNod1=0,1,0\nData0=(5.00000,5.00000),(5.00050,5.00000),"
       "(5.00100,5.00000)\nNod2=2,2,0\n[END]\n"
       "[POLYLINE]\r\nType=0x6\r\nLabel=Cross\r\nOrigin0=(5.00050,4.99950),(5.00050,5.00000),"
       "(5.00050,5.00050)\r\nNod1=2,3,0\r\n[END]\r\n"},
  };
  for (const auto& c : cases) {
    for (const int threads : {1, 3}) {
      driver::Settings settings = keptLayout();
      settings.threads = threads;
      const testkit::TextRun run = testkit::runOnText(c.input, settings);
      EXPECT_EQ(run.map, c.output.empty() ? c.input : c.output) << c.name;
      EXPECT_EQ(run.problems, "") << c.name;
    }
  }
}

// Section numbers count the sections of the output, which here are the
// input's; both layouts name the line of a road's header in the input.
TEST(KeptLayoutTest, ReportNamesRoadsWhereTheyStand) {
  const std::string map =
      "; two roads\n[POLYLINE]\nType=0x6\nData0=(5.00000,5.00000),(5.00100,5.00000)\n[END]\n"
      "[POLYLINE]\nType=0x1f\nData0=(6,6),(7,7)\n[END]\n"
      "[POLYLINE]\nType=0x6\nLabel=Cross\nData0=(5.00050,4.99950),(5.00050,5.00050)\n[END]\n";
  const std::string kept = testkit::runOnText(map, keptLayout()).report;
  EXPECT_NE(kept.find("\"kind\":\"crossing\",\"moved\":0.000000,\"moved_m\":0.00,"
                      "\"first_section\":3,\"first_line\":10,\"first_label\":\"Cross\","
                      "\"second_section\":1,\"second_line\":2}"),
            std::string::npos)
      << kept;
  driver::Settings plain;
  const std::string usual = testkit::runOnText(map, plain).report;
  EXPECT_NE(usual.find("\"first_section\":2,\"first_line\":10,\"first_label\":\"Cross\","
                       "\"second_section\":3,\"second_line\":2}"),
            std::string::npos)
      << usual;
}

}  // namespace
}  // namespace tovlek::writer
