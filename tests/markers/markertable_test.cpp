#include "markers/markertable.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/e2e.h"

namespace {

const std::string kHeader = "index\tchromosome\tposition\tid\talleles\tcM\tmorgans\tcontrol_frequencies\n";

MarkerTable threeMarkers() {
  MarkerTable table;
  table.markers = {{"7", 1000, "rs1", {"A", "G"}, 50.125, 0, {0.75, 0.25}},
                   {"7", 3000, ".", {"C", "T", "CT"}, 50.135, 0.0001, {0.5, 0.25, 0.25}},
                   {"7", 4000, "rs3", {"G", "A"}, 50.145, 0.0002, {1, 0}}};
  return table;
}

MarkerTableRead readText(const std::string& text) {
  std::istringstream in(text);
  return readMarkerTable(in, "p.txt.markers.tsv");
}

TEST(MarkerTable, WrittenTableReadsBackAndMapsMorgansToBasePairs) {
  const std::string text = formatMarkerTable(threeMarkers());
  EXPECT_EQ(text, kHeader +
                      "1\t7\t1000\trs1\tA,G\t50.125\t0\t0.75,0.25\n"
                      "2\t7\t3000\t.\tC,T,CT\t50.135\t0.0001\t0.5,0.25,0.25\n"
                      "3\t7\t4000\trs3\tG,A\t50.145\t0.0002\t1,0\n");
  const MarkerTableRead read = readText(text);
  ASSERT_TRUE(read.table) << read.warning;
  const MarkerTable& table = *read.table;
  EXPECT_EQ(table.markers[1].alleles, (std::vector<std::string>{"C", "T", "CT"}));
  EXPECT_EQ(checkAgainstMap(table, {0, 0.0001, 0.0002}, "t"), "");
  EXPECT_NE(checkAgainstMap(table, {0, 0.0001}, "t").find("t does not list the markers"), std::string::npos);

  EXPECT_DOUBLE_EQ(basePairsAt(table, 0), 1000);
  EXPECT_DOUBLE_EQ(basePairsAt(table, 0.00005), 2000);   // between markers 1 and 2
  EXPECT_DOUBLE_EQ(basePairsAt(table, 0.00015), 3500);   // between markers 2 and 3
  EXPECT_DOUBLE_EQ(basePairsAt(table, 0.0002), 4000);
  EXPECT_DOUBLE_EQ(basePairsAt(table, -0.00005), 0);     // the first pair extended
  EXPECT_DOUBLE_EQ(basePairsAt(table, 0.00025), 4500);   // the last pair extended
}

TEST(MarkerTable, MapValuesAreFixedDecimalsThatReadBackExactly) {
  EXPECT_EQ(formatMapValue(0), "0");
  EXPECT_EQ(formatMapValue(1234 / 1e10), "0.0000001234");
  EXPECT_EQ(formatMapValue(123.5), "123.5");
  for (long long n : {1LL, 7LL, 123456789LL, 999999999999LL})
    EXPECT_EQ(std::stod(formatMapValue(n / 1e10)), n / 1e10) << n;
}

TEST(MarkerTable, MalformedTablesGiveAWarningNamingTheFileAndLine) {
  const std::string row1 = "1\t7\t1000\trs1\tA,G\t50\t0\t0.5,0.5\n";
  const std::string row2 = "2\t7\t2000\trs2\tA,G\t51\t0.01\t0.5,0.5\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "the file is empty"},
      {"index\tposition\n" + row1 + row2, "line 1 is not the header"},
      {kHeader + row1, "fewer than two markers"},
      {kHeader + row1 + "2\t7\t2000\trs2\tA,G\t51\t0.01\n", "line 3: 8 tab-separated columns expected"},
      {kHeader + row1 + "3\t7\t2000\trs2\tA,G\t51\t0.01\t0.5,0.5\n", "line 3: the index should be 2"},
      {kHeader + "1\t7\t1000\trs1\tA,G\t50\t0.1\t0.5,0.5\n" + row2, "line 2: the first marker should be at 0"},
      {kHeader + row1 + "2\t7\t2000\trs2\tA,G\t51\t0\t0.5,0.5\n", "line 3: the Morgans should increase"},
      {kHeader + row1 + "2\t7\t900\trs2\tA,G\t51\t0.01\t0.5,0.5\n", "line 3: the positions should increase"},
      {kHeader + row1 + "2\t8\t2000\trs2\tA,G\t51\t0.01\t0.5,0.5\n", "line 3: a second chromosome"},
      {kHeader + row1 + "2\t7\t2kb\trs2\tA,G\t51\t0.01\t0.5,0.5\n", "line 3: the position is not a base pair"},
      {kHeader + row1 + "2\t7\t2000\trs2\tA,G\t51\tnan\t0.5,0.5\n", "line 3: the morgans column is not a number"},
      {kHeader + row1 + "2\t7\t2000\trs2\tA,G\t51\t0.01\t0.5\n", "line 3: the control frequencies do not match"},
  };
  for (const auto& [text, problem] : cases) {
    const MarkerTableRead read = readText(text);
    EXPECT_FALSE(read.table) << problem;
    EXPECT_EQ(read.warning.rfind("warning: p.txt.markers.tsv is malformed (" + problem, 0), 0u) << read.warning;
  }
}

TEST(MarkerTable, FoundBesideTheParameterFileOnlyWhenThere) {
  ScratchDir dir;
  MarkerTableRead none = findMarkerTable(dir.file("p.txt"));
  EXPECT_FALSE(none.table);
  EXPECT_EQ(none.warning, "");
  dir.write("p.txt.markers.tsv", formatMarkerTable(threeMarkers()));
  EXPECT_TRUE(findMarkerTable(dir.file("p.txt")).table);
  dir.write("p.txt.markers.tsv", "garbage\n");
  EXPECT_NE(findMarkerTable(dir.file("p.txt")).warning.find(dir.file("p.txt.markers.tsv")), std::string::npos);
}

}  // namespace
