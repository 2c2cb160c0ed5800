// Tests of the weapon catalogue and the script writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "loadout.h"
#include "test_support.h"

namespace fs = std::filesystem;

TEST(GetOutput, GivesAndSelectsEachWeaponByItsGameName) {
  const char* const game_names[] = {"bar",      "m1carbine", "m1garand",
                                    "thompson", "fg42",      "kar98k",
                                    "mp40",     "colt",      "luger"};
  for (int code = 1; code <= 9; ++code) {
    const std::string name = game_names[code - 1];
    SCOPED_TRACE("code " + std::to_string(code));
    EXPECT_EQ("level.player giveWeapon(\"" + name + "\");", GetOutput1(code));
    EXPECT_EQ("level.player switchToWeapon(\"" + name + "\");",
              GetOutput2(code));
  }
}

TEST(GetOutput, IsEmptyForCodesOutsideTheCatalogue) {
  for (int code : {0, 10, -1, 2147483647, -2147483647 - 1}) {
    SCOPED_TRACE("code " + std::to_string(code));
    EXPECT_EQ("", GetOutput1(code));
    EXPECT_EQ("", GetOutput2(code));
  }
}

namespace {

LoadoutBlock BlockFor369() {
  return {"",
          "level.player giveWeapon(\"m1garand\");",
          "level.player giveWeapon(\"kar98k\");",
          "level.player giveWeapon(\"luger\");",
          "level.player giveWeapon(\"fraggrenade\");",
          "level.player switchToWeapon(\"m1garand\");"};
}

}  // namespace

TEST(WriteLoadoutScript, WritesTheWholeScriptWithCrLf) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  std::string why;
  ASSERT_TRUE(WriteLoadoutScript(BlockFor369(), &why)) << why;
  const std::string script = ReadFile("maps/_loadout.gsc");
  EXPECT_EQ(ScriptFor369(), script);
  EXPECT_EQ(2577u, script.size());
  EXPECT_EQ(100, std::count(script.begin(), script.end(), '\n'));
  EXPECT_EQ(100, std::count(script.begin(), script.end(), '\r'));
  EXPECT_EQ(std::string::npos, script.find("\r\r"));
  EXPECT_EQ("\r\n", script.substr(script.size() - 2));
}

TEST(WriteLoadoutScript, ReplacesAnExistingLongerScript) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", std::string(10000, 'x'));
  std::string why;
  ASSERT_TRUE(WriteLoadoutScript(BlockFor369(), &why)) << why;
  EXPECT_EQ(ScriptFor369(), ReadFile("maps/_loadout.gsc"));
}

TEST(WriteLoadoutScript, FailsWithAReasonWhereNoFileCanBeMade) {
  ScratchDirectory scratch;
  std::string why;
  EXPECT_FALSE(WriteLoadoutScript(BlockFor369(), &why));  // no maps at all
  EXPECT_NE("", why);
  EXPECT_TRUE(fs::is_empty(scratch.path()));

  WriteFile("maps", "a file, not a directory");
  why.clear();
  EXPECT_FALSE(WriteLoadoutScript(BlockFor369(), &why));
  EXPECT_NE("", why);
  EXPECT_EQ("a file, not a directory", ReadFile("maps"));
}

#ifndef _WIN32
TEST(WriteLoadoutScript, ReportsAFullDisk) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  fs::create_symlink("/dev/full", "maps/_loadout.gsc");
  std::string why;
  EXPECT_FALSE(WriteLoadoutScript(BlockFor369(), &why));
  EXPECT_EQ("No space left on device", why);
  EXPECT_TRUE(fs::is_symlink("maps/_loadout.gsc"));
}
#endif
