// Tests of the staging directory, the archive step and the command runner.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_interpreter.h"
#include "loadout.h"
#include "test_support.h"

namespace fs = std::filesystem;

TEST(PrepareStagingDirectory, CreatesMaps) {
  ScratchDirectory scratch;
  FakeInterpreter interpreter;
  PrepareStagingDirectory(interpreter.Runner());
  EXPECT_TRUE(fs::is_directory("maps"));
}

TEST(PrepareStagingDirectory, KeepsAnExistingMapsAndItsFiles) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/other.gsc", "mine");
  FakeInterpreter interpreter;
  PrepareStagingDirectory(interpreter.Runner());
  EXPECT_EQ("mine", ReadFile("maps/other.gsc"));
}

TEST(PackageLoadout, RunsZipThenRemovesScriptAndDirectory) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "script");
  FakeInterpreter interpreter;
  std::string why;
  EXPECT_TRUE(PackageLoadout(&why, interpreter.Runner()));
  EXPECT_EQ("script", interpreter.script_at_zip);
  EXPECT_EQ(ExpectedPackagingLines(), interpreter.lines);
  EXPECT_FALSE(fs::exists("maps"));
}

TEST(PackageLoadout, LeavesOtherFilesAndTheirDirectory) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "script");
  WriteFile("maps/other.gsc", "mine");
  FakeInterpreter interpreter;
  std::string why;
  EXPECT_TRUE(PackageLoadout(&why, interpreter.Runner()));
  EXPECT_FALSE(fs::exists("maps/_loadout.gsc"));
  EXPECT_EQ("mine", ReadFile("maps/other.gsc"));
}

#ifndef _WIN32
TEST(PackageLoadout, KeepsAMapsThatIsALinkToADirectory) {
  ScratchDirectory scratch;
  fs::create_directory("elsewhere");
  fs::create_directory_symlink("elsewhere", "maps");
  WriteFile("maps/_loadout.gsc", "script");
  FakeInterpreter interpreter;
  std::string why;
  EXPECT_TRUE(PackageLoadout(&why, interpreter.Runner()));
  EXPECT_TRUE(fs::is_symlink("maps"));
  EXPECT_FALSE(fs::exists("elsewhere/_loadout.gsc"));
}
#endif

TEST(PackageLoadout, KeepsEverythingWhenZipFails) {
  ScratchDirectory scratch;
  fs::create_directory("maps");
  WriteFile("maps/_loadout.gsc", "script");
  FakeInterpreter interpreter;
  interpreter.zip_status = 3;
  std::string why;
  EXPECT_FALSE(PackageLoadout(&why, interpreter.Runner()));
  EXPECT_EQ("zip exited with status 3", why);
  EXPECT_EQ(std::vector<std::string>{"zip -r ./sc_loadout.pk3 ./maps"},
            interpreter.lines);
  EXPECT_EQ("script", ReadFile("maps/_loadout.gsc"));
}

TEST(RunCommand, ReturnsTheExitStatus) {
  EXPECT_EQ(0, RunCommand("exit 0"));
  EXPECT_EQ(3, RunCommand("exit 3"));
  EXPECT_EQ(kCommandNotFoundStatus,
            RunCommand("tarvelin-no-such-program-anywhere"));
}
