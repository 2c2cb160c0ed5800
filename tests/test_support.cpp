// Scaffolding shared by the test binaries.
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() : previous_(fs::current_path()) {
  static std::atomic<unsigned> counter{0};
  const auto stamp =
      std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    path_ =
        fs::temp_directory_path() / ("tarvelin-test-" + std::to_string(stamp) +
                                     "-" + std::to_string(counter++));
    if (fs::create_directory(path_)) {
      break;
    }
  }
  fs::current_path(path_);
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  if (::testing::Test::HasFailure()) {
    std::cerr << "kept test directory " << path_.string() << '\n';
    return;
  }
  fs::remove_all(path_, ignored);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios_base::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios_base::binary | std::ios_base::trunc);
  file << bytes;
}

const std::string kBanner = "\tTarvelin 1.1\n\t  Created by: Quellmarr\n\n";
const std::string kMenu =
    "\tPrimary/Secondary\n\t[1] BAR\n\t[2] M1 Carbine\n\t[3] M1 Garand\n"
    "\t[4] Thompson\n\t[5] FG-42\n\t[6] Kar 98k\n\t[7] MP-40\n\n"
    "\tPistol Only!\n\t[8] Colt .45\n\t[9] Luger\n\n\t[0] Exit Program\n\n";

std::string ScriptFor369() {
  // Written out line by line, so a moved line shows in the diff.
  // clang-format off
  static const char* const kLines[] = {
      "give_loadout()",
      "\t{if(!(isdefined(game[\"gaveweapons\"])))",
      "\t{",
      "\t\tgame[\"gaveweapons\"] = 0;",
      "\t}",
      " ",
      "\tif(!(isdefined (level.campaign)))",
      "\t{",
      "\t\tlevel.campaign = \"american\";",
      "\t}",
      " ",
      "\tif((level.script == \"burnville\") || (level.script == \"burnville_nolight\"))",
      "\t{",
      "\tsetCvar(\"cg_deadscreen_levelname\", \"levelshots/level_name_text/hud@Ste_Mere_Eglise.tga\");",
      "\t\tsetCvar(\"cg_victoryscreen_levelname\", \"levelshots/level_name_text/hud@Ste_Mere_Eglise.tga\");",
      "\t\tthread setup_american();",
      "\t\tlevel.campaign = \"american\";",
      "",
      "\t\tif(game[\"gaveweapons\"] == 1)",
      "\t\t\treturn;",
      "\t\t// weapons carry over if given",
      " ",
      "\t\t",
      "\t\tlevel.player giveWeapon(\"m1garand\");",
      "\t\tlevel.player giveWeapon(\"kar98k\");",
      "\t\tlevel.player giveWeapon(\"luger\");",
      "\t\tlevel.player giveWeapon(\"fraggrenade\");",
      "\t\tlevel.player switchToWeapon(\"m1garand\");",
      " ",
      "\t\tgame[\"gaveweapons\"] = 1;",
      "\t\treturn;",
      "\t\t}",
      " ",
      " ",
      "\tif(level.script == \"testfallback\")",
      "\t{",
      "\t\tlevel.campaign = \"american\";",
      " ",
      "\t\tlevel.player giveWeapon(\"bar\");",
      "\t\tlevel.player switchToWeapon(\"bar\");",
      " ",
      "\t\tgame[\"gaveweapons\"] = 1;",
      "\t\treturn;",
      "\t}",
      "",
      "\t//------------------------------------",
      "\t// level.script is not a single player level. give default weapons.",
      "\tprintln (\"Z:     No level listing in _loadout.gsc, giving default guns\");",
      " ",
      "\tthread setup_american();",
      "\tlevel.campaign = \"american\";",
      " ",
      "\tlevel.player giveWeapon(\"fg42\");",
      "\tlevel.player giveWeapon(\"thompson\");",
      "\tlevel.player giveWeapon(\"colt\");",
      "\tlevel.player giveWeapon(\"fraggrenade\");",
      "\tlevel.player switchToWeapon(\"fg42\");",
      "\t//------------------------------------",
      "}",
      " ",
      "refill_ammo()",
      "{",
      "\tweapons[0] = \"mp40\";",
      "\tweapons[1] = \"kar98k\";",
      "\tweapons[2] = \"bar\";",
      "\tweapons[3] = \"bren\";",
      "\tweapons[4] = \"colt\";",
      "\tweapons[5] = \"enfield\";",
      "\tweapons[6] = \"fg42\";",
      "\tweapons[7] = \"luger\";",
      "\tweapons[8] = \"m1carbine\";",
      "\tweapons[9] = \"m1garand\";",
      "\tweapons[10] = \"mosin_nagant\";",
      "\tweapons[11] = \"mp44\";",
      "\tweapons[12] = \"ppsh\";",
      "\tweapons[13] = \"springfield\";",
      "\tweapons[14] = \"sten\";",
      "\tweapons[15] = \"thompson\";",
      "\tweapons[16] = \"fraggrenade\";",
      "\tweapons[17] = \"MK1britishfrag\";",
      "\tweapons[18] = \"RGD-33russianfrag\";",
      "\tweapons[19] = \"Stielhandgranate\";",
      "\tweapons[20] = \"panzerfaust\";",
      " ",
      "\tfor (i=0;i<weapons.size;i++)",
      "\t{",
      "\t\tif (level.player hasWeapon(weapons[i]))",
      "\t\t{",
      "\t\t\tlevel.player giveMaxAmmo(weapons[i]);",
      "\t\t\tprintln (\"z:           giving the player max ammo for: \", weapons[i]);",
      "\t\t}",
      "\t}",
      "}",
      " ",
      "setup_american()",
      "{",
      "\tsetCvar(\"cg_deadscreen_backdrop\", \"levelshots/deadscreen/defeat_american.tga\");",
      "\tsetCvar(\"cg_victoryscreen_backdrop\", \"levelshots/victoryscreen/victory_american.jpg\");",
      "\tsetCvar(\"ui_campaign\", \"american\");",
      "}",
  };
  // clang-format on
  std::string bytes;
  for (const char* line : kLines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}
