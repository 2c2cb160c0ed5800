// The weapon catalogue, its statement builders and the loadout script writer.
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "loadout.h"

namespace {

// The game's statements for codes 1 to 9, in code order.
constexpr const char* kGiveStatements[] = {
    "level.player giveWeapon(\"bar\");",
    "level.player giveWeapon(\"m1carbine\");",
    "level.player giveWeapon(\"m1garand\");",
    "level.player giveWeapon(\"thompson\");",
    "level.player giveWeapon(\"fg42\");",
    "level.player giveWeapon(\"kar98k\");",
    "level.player giveWeapon(\"mp40\");",
    "level.player giveWeapon(\"colt\");",
    "level.player giveWeapon(\"luger\");",
};

constexpr const char* kSwitchStatements[] = {
    "level.player switchToWeapon(\"bar\");",
    "level.player switchToWeapon(\"m1carbine\");",
    "level.player switchToWeapon(\"m1garand\");",
    "level.player switchToWeapon(\"thompson\");",
    "level.player switchToWeapon(\"fg42\");",
    "level.player switchToWeapon(\"kar98k\");",
    "level.player switchToWeapon(\"mp40\");",
    "level.player switchToWeapon(\"colt\");",
    "level.player switchToWeapon(\"luger\");",
};

std::string Lookup(const char* const (&statements)[9], int code) {
  if (code < kFirstLongArm || code > kLuger) {
    return std::string();
  }
  return statements[code - 1];
}

// The script around the loadout block: lines 1 to 22, then (after the six
// block lines) lines 29 to 100. The odd spots (the brace joined to the first
// `if` on line 2, one tab on line 14, lines of one space next to empty ones,
// the spacing in the println texts) are what the game has always received.
// One literal per line of the script, however long.
// clang-format off
constexpr const char* kScriptHead[] = {
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
};

constexpr char kBlockIndent[] = "\t\t";

constexpr const char* kScriptTail[] = {
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

static_assert(std::size(kScriptHead) + std::tuple_size<LoadoutBlock>::value +
                      std::size(kScriptTail) ==
                  100,
              "the script has 100 lines");

// The reason for the last failed file operation, as the C library words it.
std::string LastError() {
  const int error = errno;
  return error != 0 ? std::strerror(error) : "input/output error";
}

// Writes one line with a CR LF line end and hands it to the system at once.
// Returns false, with the reason in `why`, on the first failure.
bool WriteLine(std::ofstream& file, const char* indent, const std::string& text,
               std::string* why) {
  errno = 0;
  file << indent << text << "\r\n";
  file.flush();
  if (!file) {
    *why = LastError();
    return false;
  }
  return true;
}

}  // namespace

std::string GetOutput1(int code) { return Lookup(kGiveStatements, code); }

std::string GetOutput2(int code) { return Lookup(kSwitchStatements, code); }

bool WriteLoadoutScript(const LoadoutBlock& block, std::string* why) {
  // Binary mode: the CR LF line ends are written by us, so the script is the
  // same bytes on every platform (text mode on Windows would double the CR).
  errno = 0;
  std::ofstream file(kScriptPath, std::ios_base::out | std::ios_base::trunc |
                                      std::ios_base::binary);
  if (!file.is_open()) {
    *why = LastError();
    return false;
  }
  bool written = true;
  for (const char* line : kScriptHead) {
    written = written && WriteLine(file, "", line, why);
  }
  for (const std::string& statement : block) {
    written = written && WriteLine(file, kBlockIndent, statement, why);
  }
  for (const char* line : kScriptTail) {
    written = written && WriteLine(file, "", line, why);
  }
  errno = 0;
  file.close();
  if (written && file.fail()) {
    *why = LastError();
    return false;
  }
  return written;
}
