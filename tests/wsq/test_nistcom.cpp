// NISTCOM attribute lists: text form both ways, the encoder's merge rules,
// and hostile texts.
#include <gtest/gtest.h>

#include <clocale>

#include "nistcom.h"
#include "wsq_test_util.h"

using namespace wsq;
using wsqtest::StderrCapture;

namespace {

std::string Text(const Fet &fet) {
  std::string s;
  EXPECT_EQ(fet2string(&s, fet), 0);
  return s;
}

FetPtr Parse(const std::string &text) {
  FetPtr fet;
  EXPECT_EQ(string2fet(&fet, text), 0) << text;
  return fet;
}

std::string CommentOf(const char *comment, int ppi = 500, std::string *second = nullptr) {
  uint8_t buf[4096];
  OutBuffer out{buf, sizeof buf, 0};
  EXPECT_EQ(putc_nistcom_wsq(comment, 256, 360, 8, ppi, 1, 0.75f, out), 0);
  EXPECT_GE(out.fill, 4u);
  const size_t len = size_t((buf[2] << 8) | buf[3]) - 2;
  if (second) {
    second->clear();
    if (out.fill > 4 + len) second->assign(reinterpret_cast<char *>(buf + 8 + len), out.fill - 8 - len);
  }
  return std::string(reinterpret_cast<char *>(buf + 4), len);
}

}  // namespace

TEST(Fet, GrowsByATenthOrTen) {
  for (auto [cap, grown] : {std::pair{6, 16}, {100, 110}, {200, 220}}) {
    FetPtr fet;
    ASSERT_EQ(allocfet_ret(&fet, cap), 0);
    for (int i = 0; i < cap; ++i) ASSERT_EQ(updatefet_ret("N" + std::to_string(i), "v", *fet), 0);
    EXPECT_EQ(fet->capacity, cap);
    ASSERT_EQ(updatefet_ret("extra", "v", *fet), 0);
    EXPECT_EQ(fet->capacity, grown);
    // Replacing keeps the place and does not grow.
    ASSERT_EQ(updatefet_ret("N0", "w", *fet), 0);
    EXPECT_EQ(fet->names[0], "N0");
    EXPECT_EQ(*fet->values[0], "w");
    EXPECT_EQ(fet->Count(), cap + 1);
  }
}

TEST(Fet, LookupAndExtract) {
  FetPtr fet = Parse("NIST_COM 2\nPPI 500");
  FetValue v;
  EXPECT_EQ(lookupfet(&v, "PPI", *fet), 1);
  EXPECT_EQ(*v, "500");
  EXPECT_EQ(lookupfet(&v, "ppi", *fet), 0);  // exact, case-sensitive
  StderrCapture err;
  EXPECT_EQ(extractfet_ret(&v, "SD_ID", *fet), -2);
  EXPECT_EQ(err.Take(), "ERROR : extractfet_ret : feature SD_ID not found\n");
}

TEST(Fet, TextFormBothWays) {
  FetPtr fet;
  ASSERT_EQ(allocfet_ret(&fet, 6), 0);
  ASSERT_EQ(updatefet_ret("NIST_COM", "2", *fet), 0);
  ASSERT_EQ(updatefet_ret("PPI", "500", *fet), 0);
  EXPECT_EQ(Text(*fet), "NIST_COM 2\nPPI 500");

  FetPtr empty;
  ASSERT_EQ(allocfet_ret(&empty, 6), 0);
  EXPECT_EQ(Text(*empty), "");

  // Tabs, repeated blanks and blank lines parse like single blanks.
  const std::string plain = "NIST_COM 3\nPPI 500\nSD_ID a b  ";
  EXPECT_EQ(Text(*Parse("NIST_COM\t3\n\n\nPPI  \t 500\n\t\nSD_ID a b  ")), plain);
  // Trailing blanks stay in a value; a repeated name replaces the earlier value.
  EXPECT_EQ(Text(*Parse("A 1\nB 2\nA 3")), "A 3\nB 2");
  // Parse, print and parse again: a fixed point.
  const std::string once = Text(*Parse("X  y z\n\nW\t\t7\n"));
  EXPECT_EQ(Text(*Parse(once)), once);
}

TEST(Fet, EntriesWithoutValueRoundTrip) {
  FetPtr fet;
  ASSERT_EQ(allocfet_ret(&fet, 6), 0);
  ASSERT_EQ(updatefet_ret("NOTE", nullptr, *fet), 0);
  ASSERT_EQ(updatefet_ret("PPI", "500", *fet), 0);
  ASSERT_EQ(updatefet_ret("LAST", nullptr, *fet), 0);
  const std::string text = Text(*fet);
  EXPECT_EQ(text, "NOTE\nPPI 500\nLAST");
  FetPtr back = Parse(text);
  ASSERT_EQ(back->Count(), 3);
  EXPECT_FALSE(back->values[0]);
  EXPECT_EQ(*back->values[1], "500");
  EXPECT_FALSE(back->values[2]);
  // Replacing a value by none leaves the entry without one.
  ASSERT_EQ(updatefet_ret("PPI", nullptr, *back), 0);
  EXPECT_FALSE(back->values[1]);
}

TEST(Fet, HostileTextsAreRefused) {
  StderrCapture err;
  FetPtr fet;
  EXPECT_EQ(string2fet(&fet, " PPI 500"), -2);
  EXPECT_EQ(string2fet(&fet, "\tPPI 500"), -2);
  EXPECT_FALSE(fet);
  EXPECT_EQ(string2fet(&fet, std::string(512, 'N') + " 1"), -3);
  EXPECT_EQ(string2fet(&fet, "N " + std::string(512, 'v')), -3);
  const std::string log = err.Take();
  EXPECT_NE(log.find("ERROR : string2fet : empty name string found\n"), std::string::npos);
  EXPECT_EQ(string2fet(&fet, std::string(511, 'N') + " " + std::string(511, 'v')), 0);
  // The text ends at an embedded NUL, as a C string would.
  EXPECT_EQ(string2fet(&fet, std::string("A 1\0B 2", 7)), 0);
  EXPECT_EQ(Text(*fet), "A 1");
}

TEST(Nistcom, CommentForANewList) {
  std::string second;
  const std::string text = CommentOf("Morvek", 500, &second);
  EXPECT_EQ(text,
            "NIST_COM 9\nPIX_WIDTH 256\nPIX_HEIGHT 360\nPIX_DEPTH 8\nPPI 500\nLOSSY 1\n"
            "COLORSPACE GRAY\nCOMPRESSION WSQ\nWSQ_BITRATE 0.750000");
  EXPECT_EQ(text.size(), 120u);
  EXPECT_EQ(second, "Morvek");
  EXPECT_EQ(CommentOf(nullptr, 500, &second), text);
  EXPECT_EQ(second, "");
}

TEST(Nistcom, CallerNistcomIsMergedIntoOneComment) {
  std::string second;
  const std::string text = CommentOf("NIST_COM 3\nPPI 1000\nSD_ID 4", 500, &second);
  EXPECT_EQ(text,
            "NIST_COM 10\nPPI 500\nSD_ID 4\nPIX_WIDTH 256\nPIX_HEIGHT 360\nPIX_DEPTH 8\nLOSSY 1\n"
            "COLORSPACE GRAY\nCOMPRESSION WSQ\nWSQ_BITRATE 0.750000");
  EXPECT_EQ(second, "");
  // A caller NISTCOM that does not parse fails the write.
  uint8_t buf[512];
  OutBuffer out{buf, sizeof buf, 0};
  StderrCapture err;
  const std::string bad = "NIST_COM 2\nX " + std::string(600, 'v');
  EXPECT_EQ(putc_nistcom_wsq(bad.c_str(), 1, 1, 8, 500, 1, 1.0f, out), -3);
}

TEST(Nistcom, LossyCannotBeUnset) {
  for (auto [old, flag, expect, warns] :
       {std::tuple{"1", 0, "1", true}, {"0", 0, "0", false}, {"0", 1, "1", false}}) {
    FetPtr fet = Parse(std::string("NIST_COM 2\nLOSSY ") + old);
    StderrCapture err;
    ASSERT_EQ(combine_nistcom(&fet, 1, 1, 8, 500, flag), 0);
    FetValue v;
    ASSERT_EQ(lookupfet(&v, "LOSSY", *fet), 1);
    EXPECT_EQ(*v, expect);
    EXPECT_EQ(err.Take() == "WARNING : combine_nistcom : request to unset lossy flag ignored\n", warns);
  }
  // LOSSY without a value counts as absent.
  FetPtr fet = Parse("NIST_COM 2\nLOSSY");
  ASSERT_EQ(combine_nistcom(&fet, 1, 1, 8, 500, 0), 0);
  FetValue v;
  ASSERT_EQ(lookupfet(&v, "LOSSY", *fet), 1);
  EXPECT_EQ(*v, "0");
  ASSERT_EQ(lookupfet(&v, "NIST_COM", *fet), 1);
  EXPECT_EQ(*v, "6");
}

TEST(Nistcom, BitRateIgnoresTheHostLocale) {
  const char *found = nullptr;
  for (const char *name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE.utf8", "ru_RU.UTF-8"})
    if (std::setlocale(LC_ALL, name)) {
      found = name;
      break;
    }
  if (!found) GTEST_SKIP() << "no decimal-comma locale installed";
  const std::string text = CommentOf(nullptr);
  std::setlocale(LC_ALL, "C");
  EXPECT_NE(text.find("WSQ_BITRATE 0.750000"), std::string::npos) << found;
}
