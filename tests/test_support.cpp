// Scaffolding shared by the test binaries.
#include "test_support.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Resolved before any test changes directory: under Wine the Unix path of
// the source tree only names the file from the Z: drive ctest starts us on.
const fs::path kGoldenScript =
    fs::absolute(fs::path(TARVELIN_GOLDEN_DIR) / "loadout_369.gsc");

}  // namespace

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
  std::ifstream file(kGoldenScript, std::ios_base::binary);
  std::ostringstream bytes;
  // An empty result would only show as a mismatch; say what is missing.
  if (!file) {
    ADD_FAILURE() << "tarvelin: reading the golden script "
                  << kGoldenScript.string() << ": cannot open it";
  } else if (!(bytes << file.rdbuf())) {
    ADD_FAILURE() << "tarvelin: reading the golden script "
                  << kGoldenScript.string() << ": it is empty";
  }
  return bytes.str();
}

std::string Listing(const fs::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string listing;
  for (const std::string& name : names) {
    listing += (listing.empty() ? "" : " ") + name;
  }
  return listing;
}

namespace {

std::uint32_t Little(const std::string& bytes, std::size_t at,
                     std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = width; i-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
  }
  return value;
}

}  // namespace

std::string EntryOf(const std::string& archive, const std::string& name) {
  const std::size_t end = archive.rfind("PK\5\6");
  if (end == std::string::npos || end + 22 > archive.size()) {
    ADD_FAILURE() << "no end record in the archive";
    return "";
  }
  std::size_t at = Little(archive, end + 16, 4);
  const std::size_t count = Little(archive, end + 10, 2);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t name_length = Little(archive, at + 28, 2);
    const std::size_t next = at + 46 + name_length +
                             Little(archive, at + 30, 2) +
                             Little(archive, at + 32, 2);
    if (archive.substr(at + 46, name_length) != name) {
      at = next;
      continue;
    }
    const std::uint32_t method = Little(archive, at + 10, 2);
    const std::uint32_t crc = Little(archive, at + 16, 4);
    const std::size_t packed = Little(archive, at + 20, 4);
    const std::size_t size = Little(archive, at + 24, 4);
    const std::size_t local = Little(archive, at + 42, 4);
    const std::size_t data = local + 30 + Little(archive, local + 26, 2) +
                             Little(archive, local + 28, 2);
    std::string bytes = archive.substr(data, packed);
    if (method == 8) {
      std::string inflated(size, '\0');
      z_stream stream{};
      EXPECT_EQ(Z_OK, inflateInit2(&stream, -15));
      stream.next_in = reinterpret_cast<Bytef*>(&bytes[0]);
      stream.avail_in = static_cast<uInt>(bytes.size());
      stream.next_out = reinterpret_cast<Bytef*>(&inflated[0]);
      stream.avail_out = static_cast<uInt>(inflated.size());
      EXPECT_EQ(Z_STREAM_END, inflate(&stream, Z_FINISH)) << name;
      EXPECT_EQ(size, stream.total_out) << name;
      inflateEnd(&stream);
      bytes = inflated;
    } else {
      EXPECT_EQ(0u, method) << name;
    }
    EXPECT_EQ(crc, crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()),
                         static_cast<uInt>(bytes.size())))
        << name;
    return bytes;
  }
  ADD_FAILURE() << "no entry \"" << name << "\" in the archive";
  return "";
}
