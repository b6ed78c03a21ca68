#include "tools/at/job_id.h"

#include <gtest/gtest.h>

#include "tests/at_words.h"

TEST(AtListing, NamesEachJobByItsReservationNumber) {
  struct {
    const char* command;
    const char* id;
  } cases[] = {
      {"REC Y0001 8 21:00-21:54 2008 03 29 T", "Y0001"},
      {"rec -q Y12 Y0002 8", "Y12"},  // the first such word after the program
      {"Y0001 8 21:00-21:54", "200803292059"},
      {"REC Y 8 Y-1 y0003 Y12a", "200803292059"},
      {"REC", "200803292059"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(job_identifier(words(c.command), "200803292059"), c.id) << c.command;
  }
  EXPECT_EQ(listing_line("Y0001", {2008, 3, 29}, 20, 59, "REC Y0001 8 x"),
            "Y0001  2008/03/29 20:59  REC Y0001 8 x");
}

TEST(AtInstall, KnowsItsTasksByTheirSettingsFile) {
  struct {
    const char* recorded;  // the task's source
    bool is_mine;
  } cases[] = {
      {"C:\\zoba\\zoba.ini", true},
      {"c:\\ZOBA\\Zoba.INI", true},  // Windows paths: letters in any case
      {"", true},                    // registered before AT named it: by its hash
      {"C:\\zoba\\zoba2.ini", false},
      {"C:\\zob\\zoba.ini", false},
      {"C:\\zoba\\zoba.in", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_install_settings(c.recorded, "C:\\zoba\\zoba.ini"), c.is_mine) << c.recorded;
  }
}

TEST(AtInstall, NamesAnInstallByItsSettingsPath) {
  // FNV-1a of the empty path is its offset basis; case folds only when asked.
  EXPECT_EQ(install_id("", false), "811c9dc5");
  EXPECT_EQ(install_id("C:\\zoba\\zoba.ini", true), install_id("c:\\ZOBA\\zoba.ini", true));
  EXPECT_NE(install_id("/a/zoba.ini", false), install_id("/A/zoba.ini", false));
  EXPECT_NE(install_id("/a/zoba.ini", false), install_id("/a/reserve.ini", false));
}
