// Tests of the zip container: archives made from nothing, archives updated
// (made by the packer itself and by Info-ZIP zip) and archives refused. The
// records are decoded here on their own, field by field, and the data is
// inflated with zlib, so nothing is taken from the packer's own reading.
#include "zip_archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

// Little-endian fields, read and written by the test itself.

unsigned Byte(const std::string& bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes.at(at));
}

std::uint16_t Get16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(Byte(bytes, at) | Byte(bytes, at + 1) << 8);
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  return Get16(bytes, at) | static_cast<std::uint32_t>(Get16(bytes, at + 2))
                                << 16;
}

void Put16(std::string* bytes, std::size_t at, std::uint32_t value) {
  bytes->at(at) = static_cast<char>(value & 0xFF);
  bytes->at(at + 1) = static_cast<char>(value >> 8 & 0xFF);
}

void Put32(std::string* bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, value & 0xFFFF);
  Put16(bytes, at + 2, value >> 16);
}

void Append16(std::string* bytes, std::uint32_t value) {
  bytes->push_back(static_cast<char>(value & 0xFF));
  bytes->push_back(static_cast<char>(value >> 8 & 0xFF));
}

void Append32(std::string* bytes, std::uint32_t value) {
  Append16(bytes, value & 0xFFFF);
  Append16(bytes, value >> 16);
}

void Append64(std::string* bytes, std::uint64_t value) {
  Append32(bytes, static_cast<std::uint32_t>(value & 0xFFFFFFFF));
  Append32(bytes, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t Size32(const std::string& bytes) {
  return static_cast<std::uint32_t>(bytes.size());
}

// zlib, as the zip format uses it.

std::uint32_t Crc32(const std::string& bytes) {
  uLong crc = crc32(0L, nullptr, 0);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()),
              static_cast<uInt>(bytes.size()));
  return static_cast<std::uint32_t>(crc);
}

// Inflates raw deflate data (no zlib header or trailer). False when the data
// is not one complete deflate stream or gives more than `limit` bytes.
bool RawInflate(const std::string& compressed, std::size_t limit,
                std::string* plain) {
  std::vector<Bytef> in(compressed.begin(), compressed.end());
  std::vector<Bytef> out(limit + 1);  // a spare byte shows too long an output
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) {
    return false;
  }
  stream.next_in = in.data();
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_FINISH);
  const bool whole = status == Z_STREAM_END && stream.avail_in == 0 &&
                     stream.total_out <= limit;
  plain->assign(out.begin(),
                out.begin() + static_cast<std::ptrdiff_t>(stream.total_out));
  inflateEnd(&stream);
  return whole;
}

// The records, decoded by hand.

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kDescriptorSignature = 0x08074b50;
constexpr std::uint16_t kDescriptorFlag = 1 << 3;
constexpr std::uint16_t kUtf8Flag = 1 << 11;

struct LocalRecord {
  std::size_t offset = 0;
  std::uint16_t version_needed = 0, flags = 0, method = 0, time = 0, date = 0;
  std::uint32_t crc = 0, compressed_size = 0, uncompressed_size = 0;
  std::string name, extra;
  std::size_t data_offset = 0;
};

struct CentralRecord {
  std::size_t offset = 0, size = 0;
  std::uint16_t version_made_by = 0, version_needed = 0, flags = 0, method = 0,
                time = 0, date = 0;
  std::uint32_t crc = 0, compressed_size = 0, uncompressed_size = 0;
  std::uint16_t disk_start = 0, internal_attributes = 0;
  std::uint32_t external_attributes = 0, local_header_offset = 0;
  std::string name, extra, comment;
};

struct EndRecord {
  std::size_t offset = 0;
  std::uint16_t disk = 0, directory_disk = 0, entries_on_disk = 0,
                entries_total = 0;
  std::uint32_t directory_size = 0, directory_offset = 0;
  std::string comment;
};

struct Decoded {
  EndRecord end;
  std::vector<CentralRecord> central;
  std::vector<LocalRecord> local;  // one per central record, same order
};

// Decodes the end record (the one whose comment reaches exactly to the end of
// the file), the central directory it points at and each local header.
::testing::AssertionResult DecodeByHand(const std::string& zip, Decoded* out) {
  *out = Decoded();
  if (zip.size() < 22) {
    return ::testing::AssertionFailure() << "shorter than an end record";
  }
  bool found = false;
  for (std::size_t at = zip.size() - 22;; --at) {
    if (Get32(zip, at) == kEndSignature &&
        at + 22 + Get16(zip, at + 20) == zip.size()) {
      out->end.offset = at;
      found = true;
      break;
    }
    if (at == 0) {
      break;
    }
  }
  if (!found) {
    return ::testing::AssertionFailure() << "no end record";
  }
  EndRecord& end = out->end;
  end.disk = Get16(zip, end.offset + 4);
  end.directory_disk = Get16(zip, end.offset + 6);
  end.entries_on_disk = Get16(zip, end.offset + 8);
  end.entries_total = Get16(zip, end.offset + 10);
  end.directory_size = Get32(zip, end.offset + 12);
  end.directory_offset = Get32(zip, end.offset + 16);
  end.comment = zip.substr(end.offset + 22);

  std::size_t at = end.directory_offset;
  for (unsigned i = 0; i < end.entries_total; ++i) {
    if (at + 46 > zip.size() || Get32(zip, at) != kCentralSignature) {
      return ::testing::AssertionFailure()
             << "no central header " << i << " at " << at;
    }
    CentralRecord c;
    c.offset = at;
    c.version_made_by = Get16(zip, at + 4);
    c.version_needed = Get16(zip, at + 6);
    c.flags = Get16(zip, at + 8);
    c.method = Get16(zip, at + 10);
    c.time = Get16(zip, at + 12);
    c.date = Get16(zip, at + 14);
    c.crc = Get32(zip, at + 16);
    c.compressed_size = Get32(zip, at + 20);
    c.uncompressed_size = Get32(zip, at + 24);
    const std::size_t n = Get16(zip, at + 28);
    const std::size_t m = Get16(zip, at + 30);
    const std::size_t k = Get16(zip, at + 32);
    c.disk_start = Get16(zip, at + 34);
    c.internal_attributes = Get16(zip, at + 36);
    c.external_attributes = Get32(zip, at + 38);
    c.local_header_offset = Get32(zip, at + 42);
    if (at + 46 + n + m + k > zip.size()) {
      return ::testing::AssertionFailure()
             << "central header " << i << " runs past the end";
    }
    c.name = zip.substr(at + 46, n);
    c.extra = zip.substr(at + 46 + n, m);
    c.comment = zip.substr(at + 46 + n + m, k);
    c.size = 46 + n + m + k;
    at += c.size;

    LocalRecord l;
    l.offset = c.local_header_offset;
    if (l.offset + 30 > zip.size() || Get32(zip, l.offset) != kLocalSignature) {
      return ::testing::AssertionFailure()
             << "no local header for \"" << c.name << "\" at " << l.offset;
    }
    l.version_needed = Get16(zip, l.offset + 4);
    l.flags = Get16(zip, l.offset + 6);
    l.method = Get16(zip, l.offset + 8);
    l.time = Get16(zip, l.offset + 10);
    l.date = Get16(zip, l.offset + 12);
    l.crc = Get32(zip, l.offset + 14);
    l.compressed_size = Get32(zip, l.offset + 18);
    l.uncompressed_size = Get32(zip, l.offset + 22);
    const std::size_t local_n = Get16(zip, l.offset + 26);
    const std::size_t local_m = Get16(zip, l.offset + 28);
    l.data_offset = l.offset + 30 + local_n + local_m;
    if (l.data_offset + c.compressed_size > zip.size()) {
      return ::testing::AssertionFailure()
             << "data of \"" << c.name << "\" runs past the end";
    }
    l.name = zip.substr(l.offset + 30, local_n);
    l.extra = zip.substr(l.offset + 30 + local_n, local_m);
    out->central.push_back(c);
    out->local.push_back(l);
  }
  if (at != std::size_t{end.directory_offset} + end.directory_size) {
    return ::testing::AssertionFailure()
           << "the central directory's size is " << end.directory_size
           << " but its entries take " << at - end.directory_offset;
  }
  return ::testing::AssertionSuccess();
}

// The ids of the blocks of an extra field; an id 0xFFFF stands for a block
// that runs past the field.
std::vector<std::uint16_t> ExtraIds(const std::string& extra) {
  std::vector<std::uint16_t> ids;
  std::size_t at = 0;
  while (at + 4 <= extra.size()) {
    ids.push_back(Get16(extra, at));
    at += 4 + std::size_t{Get16(extra, at + 2)};
  }
  if (at != extra.size()) {
    ids.push_back(0xFFFF);
  }
  return ids;
}

// An entry's bytes as ReadZipArchive places them, inflated where deflated.
std::string Contents(const std::string& zip, const ZipEntryInfo& entry) {
  std::string stored = zip.substr(entry.data_offset, entry.compressed_size);
  if (entry.method == 0) {
    return stored;
  }
  std::string plain;
  if (entry.method != 8 ||
      !RawInflate(stored, entry.uncompressed_size, &plain)) {
    return "<cannot inflate \"" + entry.name + "\">";
  }
  return plain;
}

// The entry's local bytes: header, name, extra field, data and descriptor.
std::string LocalBytes(const std::string& zip, const ZipEntryInfo& entry) {
  return zip.substr(entry.local_header_offset,
                    entry.end_offset - entry.local_header_offset);
}

std::vector<std::string> Names(const ZipArchiveInfo& info) {
  std::vector<std::string> names;
  for (const ZipEntryInfo& entry : info.entries) {
    names.push_back(entry.name);
  }
  return names;
}

const ZipEntryInfo* Find(const ZipArchiveInfo& info, const std::string& name) {
  for (const ZipEntryInfo& entry : info.entries) {
    if (entry.name == name) {
      return &entry;
    }
  }
  return nullptr;
}

// Inputs.

std::uint16_t DosDate(int year, int month, int day) {
  return static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day);
}

std::uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<std::uint16_t>(hour << 11 | minute << 5 | second / 2);
}

ZipInput File(const std::string& name, const std::string& data) {
  ZipInput input;
  input.name = name;
  input.data = data;
  input.version_made_by = 0x031E;          // Unix, 3.0
  input.external_attributes = 0x81A40000;  // -rw-r--r--
  input.dos_date = DosDate(2024, 3, 15);
  input.dos_time = DosTime(13, 45, 30);
  return input;
}

ZipInput Directory(const std::string& name) {
  ZipInput input = File(name, "");
  input.external_attributes = 0x41ED0010;  // drwxr-xr-x, and the DOS bit
  return input;
}

// Text that deflate makes much smaller, with CR LF line ends as the script.
std::string CompressibleText(const std::string& tag) {
  std::string text;
  for (int line = 1; line <= 60; ++line) {
    text += "\tlevel.player giveWeapon(\"" + tag + "\"); // line " +
            std::to_string(line) + "\r\n";
  }
  return text;
}

// Bytes deflate cannot make smaller: the same on every platform.
std::string RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 engine(seed);
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) {
    bytes.push_back(static_cast<char>(engine() & 0xFF));
  }
  return bytes;
}

// A directory, a text, a random blob and an empty file, each with its own
// date, time and attributes so that a mix-up shows.
std::vector<ZipInput> SampleInputs() {
  std::vector<ZipInput> inputs;
  inputs.push_back(Directory("maps/"));
  inputs.push_back(File("maps/_loadout.gsc", CompressibleText("m1garand")));
  inputs.back().dos_date = DosDate(2001, 12, 31);
  inputs.back().dos_time = DosTime(23, 59, 58);
  inputs.push_back(File("maps/noise.bin", RandomBytes(1500, 20240315)));
  inputs.back().version_made_by = 0x0014;    // MS-DOS, 2.0
  inputs.back().external_attributes = 0x20;  // archive bit
  inputs.back().dos_date = DosDate(1980, 1, 1);
  inputs.back().dos_time = 0;
  inputs.push_back(File("maps/empty.txt", ""));
  inputs.back().version_made_by = 0x0A3F;    // NTFS, 6.3
  inputs.back().external_attributes = 0x21;  // read-only, archive
  inputs.back().dos_date = DosDate(2107, 12, 31);
  inputs.back().dos_time = DosTime(0, 0, 2);
  return inputs;
}

// A small archive of the packer's own: "maps/" and "maps/_loadout.gsc".
std::string SmallArchive() {
  std::string zip;
  std::string why;
  const std::vector<ZipInput> inputs = {
      Directory("maps/"), File("maps/_loadout.gsc", CompressibleText("bar"))};
  EXPECT_TRUE(UpdateZipArchive(nullptr, inputs, &zip, &why)) << why;
  return zip;
}

// Archives written by hand, stored entries only.

struct HandEntry {
  std::string name;
  std::string data;
  bool descriptor = false;  // flag bit 3: CRC and sizes after the data
  bool descriptor_signature = true;
};

std::string HandLocal(const HandEntry& entry) {
  const std::uint32_t crc = Crc32(entry.data);
  const std::uint32_t size = Size32(entry.data);
  std::string bytes;
  Append32(&bytes, kLocalSignature);
  Append16(&bytes, 10);
  Append16(&bytes, entry.descriptor ? kDescriptorFlag : 0);
  Append16(&bytes, 0);  // stored
  Append16(&bytes, DosTime(12, 0, 0));
  Append16(&bytes, DosDate(2020, 6, 1));
  Append32(&bytes, entry.descriptor ? 0 : crc);
  Append32(&bytes, entry.descriptor ? 0 : size);
  Append32(&bytes, entry.descriptor ? 0 : size);
  Append16(&bytes, Size32(entry.name));
  Append16(&bytes, 0);
  bytes += entry.name + entry.data;
  if (entry.descriptor) {
    if (entry.descriptor_signature) {
      Append32(&bytes, kDescriptorSignature);
    }
    Append32(&bytes, crc);
    Append32(&bytes, size);
    Append32(&bytes, size);
  }
  return bytes;
}

std::string HandCentral(const HandEntry& entry, std::size_t local_offset) {
  std::string bytes;
  Append32(&bytes, kCentralSignature);
  Append16(&bytes, 0x031E);
  Append16(&bytes, 10);
  Append16(&bytes, entry.descriptor ? kDescriptorFlag : 0);
  Append16(&bytes, 0);
  Append16(&bytes, DosTime(12, 0, 0));
  Append16(&bytes, DosDate(2020, 6, 1));
  Append32(&bytes, Crc32(entry.data));
  Append32(&bytes, Size32(entry.data));
  Append32(&bytes, Size32(entry.data));
  Append16(&bytes, Size32(entry.name));
  Append16(&bytes, 0);  // extra field
  Append16(&bytes, 0);  // comment
  Append16(&bytes, 0);  // disk
  Append16(&bytes, 0);  // internal attributes
  Append32(&bytes, 0x81A40000);
  Append32(&bytes, static_cast<std::uint32_t>(local_offset));
  bytes += entry.name;
  return bytes;
}

std::string HandEnd(std::size_t entries, std::size_t directory_size,
                    std::size_t directory_offset,
                    const std::string& comment = "") {
  std::string bytes;
  Append32(&bytes, kEndSignature);
  Append16(&bytes, 0);
  Append16(&bytes, 0);
  Append16(&bytes, static_cast<std::uint32_t>(entries));
  Append16(&bytes, static_cast<std::uint32_t>(entries));
  Append32(&bytes, static_cast<std::uint32_t>(directory_size));
  Append32(&bytes, static_cast<std::uint32_t>(directory_offset));
  Append16(&bytes, Size32(comment));
  return bytes + comment;
}

// The entries' local records back to back, their central directory and the
// end record.
std::string HandArchive(const std::vector<HandEntry>& entries,
                        const std::string& comment = "") {
  std::string locals;
  std::string directory;
  for (const HandEntry& entry : entries) {
    directory += HandCentral(entry, locals.size());
    locals += HandLocal(entry);
  }
  return locals + directory +
         HandEnd(entries.size(), directory.size(), locals.size(), comment);
}

// What ReadZipArchive and UpdateZipArchive make of `zip` as an existing
// archive.
struct Verdict {
  bool read = false;
  bool updated = false;
  std::string read_why, update_why, out;
};

constexpr char kUntouched[] = "left as it was";

Verdict Judge(const std::string& zip) {
  Verdict verdict;
  ZipArchiveInfo info;
  verdict.read = ReadZipArchive(zip, &info, &verdict.read_why);
  verdict.out = kUntouched;
  const std::vector<ZipInput> inputs = {Directory("maps/")};
  verdict.updated =
      UpdateZipArchive(&zip, inputs, &verdict.out, &verdict.update_why);
  return verdict;
}

void ExpectRefused(const std::string& zip) {
  const Verdict verdict = Judge(zip);
  EXPECT_FALSE(verdict.read);
  EXPECT_NE("", verdict.read_why);
  EXPECT_FALSE(verdict.updated);
  EXPECT_NE("", verdict.update_why);
  EXPECT_EQ(kUntouched, verdict.out);
}

#ifndef _WIN32
// Info-ZIP zip, unzip and Python, where present.

bool HaveCommand(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The exit status of a shell command line, or -1 if it did not exit.
int RunShell(const std::string& line) {
  const int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The files zip is given in MakeWithZip, as they are on disk.
const std::string kOtherText = CompressibleText("other");
const std::string kStaleScript = "stale script\r\n";

// Runs `commands` in the current directory after writing other.txt and
// maps/_loadout.gsc; returns what they leave in arch.zip.
std::string MakeWithZip(const std::string& commands) {
  WriteFile("other.txt", kOtherText);
  std::filesystem::create_directory("maps");
  WriteFile("maps/_loadout.gsc", kStaleScript);
  EXPECT_EQ(0, RunShell(commands)) << commands;
  return ReadFile("arch.zip");
}
#endif

}  // namespace

// MS-DOS date and time.

TEST(ToDosDateTime, PacksLocalTimeAndClampsToTheDosRange) {
  struct Row {
    const char* what;
    int year, month, day, hour, minute, second;
    std::uint16_t date, time;
  };
  const Row rows[] = {
      {"an ordinary time", 2024, 3, 15, 13, 45, 30, 0x586F, 0x6DAF},
      {"odd seconds round down", 2024, 3, 15, 13, 45, 31, 0x586F, 0x6DAF},
      {"the last second of a minute", 2024, 3, 15, 13, 45, 59, 0x586F, 0x6DBD},
      {"the first DOS time", 1980, 1, 1, 0, 0, 0, 0x0021, 0x0000},
      {"1979 gives the first DOS time", 1979, 12, 31, 23, 59, 59, 0x0021,
       0x0000},
      {"1970 gives the first DOS time", 1970, 1, 1, 0, 0, 0, 0x0021, 0x0000},
      {"the last DOS time", 2107, 12, 31, 23, 59, 59, 0xFF9F, 0xBF7D},
      {"2108 gives the last DOS time", 2108, 1, 1, 0, 0, 0, 0xFF9F, 0xBF7D},
      {"2200 gives the last DOS time", 2200, 6, 15, 12, 0, 0, 0xFF9F, 0xBF7D},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::tm local{};
    local.tm_year = row.year - 1900;
    local.tm_mon = row.month - 1;
    local.tm_mday = row.day;
    local.tm_hour = row.hour;
    local.tm_min = row.minute;
    local.tm_sec = row.second;
    std::uint16_t date = 0x1234;
    std::uint16_t time = 0x1234;
    ToDosDateTime(local, &date, &time);
    EXPECT_EQ(row.date, date);
    EXPECT_EQ(row.time, time);
  }
}

// A fresh archive.

TEST(UpdateZipArchive, FreshArchiveReadsBackAsGiven) {
  const std::vector<ZipInput> inputs = SampleInputs();
  const std::uint16_t methods[] = {0, 8, 0, 0};  // dir, text, random, empty
  std::string zip = kUntouched;
  std::string why;
  ASSERT_TRUE(UpdateZipArchive(nullptr, inputs, &zip, &why)) << why;

  ZipArchiveInfo info;
  ASSERT_TRUE(ReadZipArchive(zip, &info, &why)) << why;
  Decoded decoded;
  ASSERT_TRUE(DecodeByHand(zip, &decoded));
  ASSERT_EQ(inputs.size(), info.entries.size());
  EXPECT_EQ("", info.comment);
  EXPECT_EQ(decoded.end.directory_offset, info.central_directory_offset);
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const ZipInput& input = inputs[i];
    const ZipEntryInfo& entry = info.entries[i];
    SCOPED_TRACE(input.name);
    EXPECT_EQ(input.name, entry.name);
    EXPECT_EQ(methods[i], entry.method);
    EXPECT_EQ(0, entry.flags & kDescriptorFlag);
    EXPECT_EQ(Crc32(input.data), entry.crc32);
    EXPECT_EQ(input.data.size(), entry.uncompressed_size);
    EXPECT_EQ(decoded.local[i].offset, entry.local_header_offset);
    EXPECT_EQ(decoded.local[i].data_offset, entry.data_offset);
    EXPECT_EQ(entry.data_offset + entry.compressed_size, entry.end_offset);
    EXPECT_EQ(decoded.central[i].offset, entry.central_header_offset);
    EXPECT_EQ(decoded.central[i].size, entry.central_header_size);
    EXPECT_EQ(input.data, Contents(zip, entry));
  }
}

TEST(UpdateZipArchive, FreshArchiveHasTheRecordsZipWrites) {
  const std::vector<ZipInput> inputs = SampleInputs();
  const std::uint16_t methods[] = {0, 8, 0, 0};  // dir, text, random, empty
  std::string zip;
  std::string why;
  ASSERT_TRUE(UpdateZipArchive(nullptr, inputs, &zip, &why)) << why;
  Decoded d;
  ASSERT_TRUE(DecodeByHand(zip, &d));

  // The end record: the last 22 bytes, one disk, every entry, no comment;
  // the central directory right before it, no zip64 locator in between.
  EXPECT_EQ(zip.size() - 22, d.end.offset);
  EXPECT_EQ(0, d.end.disk);
  EXPECT_EQ(0, d.end.directory_disk);
  EXPECT_EQ(inputs.size(), d.end.entries_on_disk);
  EXPECT_EQ(inputs.size(), d.end.entries_total);
  EXPECT_EQ(d.end.offset, d.end.directory_offset + d.end.directory_size);
  EXPECT_EQ("", d.end.comment);
  ASSERT_EQ(inputs.size(), d.central.size());

  std::size_t next_local = 0;  // the entries follow each other from byte 0
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const ZipInput& input = inputs[i];
    const CentralRecord& c = d.central[i];
    const LocalRecord& l = d.local[i];
    SCOPED_TRACE(input.name);
    // Central directory header: as given, pointing at its local header.
    EXPECT_EQ(input.name, c.name);
    EXPECT_EQ(input.version_made_by, c.version_made_by);
    EXPECT_EQ(input.external_attributes, c.external_attributes);
    EXPECT_EQ(input.dos_date, c.date);
    EXPECT_EQ(input.dos_time, c.time);
    EXPECT_EQ(methods[i], c.method);
    EXPECT_EQ(Crc32(input.data), c.crc);
    EXPECT_EQ(input.data.size(), c.uncompressed_size);
    EXPECT_EQ(0, c.disk_start);
    EXPECT_EQ(next_local, c.local_header_offset);
    EXPECT_EQ("", c.comment);
    // Flags: not encrypted, no data descriptor, ASCII names.
    EXPECT_EQ(0, c.flags & (1 | kDescriptorFlag | kUtf8Flag));
    // Version needed: 1.0 or 2.0, and 2.0 for deflate; never zip64's 4.5.
    EXPECT_TRUE(c.version_needed == 10 || c.version_needed == 20)
        << c.version_needed;
    if (c.method == 8) {
      EXPECT_EQ(20, c.version_needed);
    }

    // Local header: the same fields, CRC and sizes included.
    EXPECT_EQ(c.name, l.name);
    EXPECT_EQ(c.version_needed, l.version_needed);
    EXPECT_EQ(c.flags, l.flags);
    EXPECT_EQ(c.method, l.method);
    EXPECT_EQ(c.date, l.date);
    EXPECT_EQ(c.time, l.time);
    EXPECT_EQ(c.crc, l.crc);
    EXPECT_EQ(c.compressed_size, l.compressed_size);
    EXPECT_EQ(c.uncompressed_size, l.uncompressed_size);
    for (const std::string* extra : {&c.extra, &l.extra}) {
      for (const std::uint16_t id : ExtraIds(*extra)) {
        EXPECT_NE(0x0001, id) << "zip64 extra block";
        EXPECT_NE(0xFFFF, id) << "extra block past the field";
      }
    }

    // The data: stored as is, or raw deflate that is smaller.
    const std::string stored = zip.substr(l.data_offset, c.compressed_size);
    if (c.method == 0) {
      EXPECT_EQ(input.data, stored);
    } else {
      EXPECT_LT(c.compressed_size, c.uncompressed_size);
      std::string plain;
      EXPECT_TRUE(RawInflate(stored, input.data.size(), &plain));
      EXPECT_EQ(input.data, plain);
    }
    next_local = l.data_offset + c.compressed_size;
  }
  EXPECT_EQ(next_local, d.end.directory_offset);
}

TEST(UpdateZipArchive, MarksOnlyNonAsciiNamesAsUtf8) {
  const std::vector<ZipInput> inputs = {File("maps/caf\xC3\xA9.gsc", "x"),
                                        File("maps/plain.gsc", "y")};
  std::string zip;
  std::string why;
  ASSERT_TRUE(UpdateZipArchive(nullptr, inputs, &zip, &why)) << why;
  Decoded d;
  ASSERT_TRUE(DecodeByHand(zip, &d));
  ASSERT_EQ(2u, d.central.size());
  EXPECT_EQ(inputs[0].name, d.central[0].name);
  EXPECT_EQ(kUtf8Flag, d.central[0].flags & kUtf8Flag);
  EXPECT_EQ(kUtf8Flag, d.local[0].flags & kUtf8Flag);
  EXPECT_EQ(0, d.central[1].flags & kUtf8Flag);
  EXPECT_EQ(0, d.local[1].flags & kUtf8Flag);
}

// Updating an archive.

TEST(UpdateZipArchive, ReplacesItsOwnEntriesOnEveryUpdate) {
  std::string why;
  std::string first;
  ASSERT_TRUE(UpdateZipArchive(
      nullptr,
      {Directory("maps/"), File("maps/_loadout.gsc", CompressibleText("v1")),
       File("maps/other.gsc", "mine")},
      &first, &why))
      << why;
  ZipArchiveInfo first_info;
  ASSERT_TRUE(ReadZipArchive(first, &first_info, &why)) << why;
  const std::string other_bytes =
      LocalBytes(first, *Find(first_info, "maps/other.gsc"));

  std::string previous = first;
  for (const char* version : {"v2", "v3"}) {
    SCOPED_TRACE(version);
    const std::string script = CompressibleText(version);
    std::string next;
    ASSERT_TRUE(UpdateZipArchive(
        &previous, {Directory("maps/"), File("maps/_loadout.gsc", script)},
        &next, &why))
        << why;
    ZipArchiveInfo info;
    ASSERT_TRUE(ReadZipArchive(next, &info, &why)) << why;
    EXPECT_EQ((std::vector<std::string>{"maps/", "maps/_loadout.gsc",
                                        "maps/other.gsc"}),
              Names(info));
    ASSERT_EQ(3u, info.entries.size());
    EXPECT_EQ(script, Contents(next, info.entries[1]));
    EXPECT_EQ(other_bytes, LocalBytes(next, info.entries[2]));
    EXPECT_EQ("mine", Contents(next, info.entries[2]));
    previous = next;
  }
}

TEST(UpdateZipArchive, KeepsEntriesAndCommentsOfArchivesItAccepts) {
  struct Row {
    const char* what;
    std::string zip;
    std::vector<std::string> names;  // after the update with "maps/"
    std::string comment;
  };
  const std::string descriptor_archive = HandArchive(
      {{"a.txt", "first", true, true}, {"b.txt", "second", true, false}});
  const Row rows[] = {
      {"the packer's own", SmallArchive(), {"maps/", "maps/_loadout.gsc"}, ""},
      {"an end record alone", HandEnd(0, 0, 0), {"maps/"}, ""},
      {"a comment",
       HandArchive({{"a.txt", "first"}}, "made by hand"),
       {"a.txt", "maps/"},
       "made by hand"},
      {"an end record's signature inside the comment",
       HandArchive({{"a.txt", "first"}}, "PK\x05\x06 not a record"),
       {"a.txt", "maps/"},
       "PK\x05\x06 not a record"},
      {"data descriptors with and without their signature",
       descriptor_archive,
       {"a.txt", "b.txt", "maps/"},
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ZipArchiveInfo before;
    std::string why;
    ASSERT_TRUE(ReadZipArchive(row.zip, &before, &why)) << why;
    std::string out;
    ASSERT_TRUE(UpdateZipArchive(&row.zip, {Directory("maps/")}, &out, &why))
        << why;
    ZipArchiveInfo after;
    ASSERT_TRUE(ReadZipArchive(out, &after, &why)) << why;
    EXPECT_EQ(row.names, Names(after));
    EXPECT_EQ(row.comment, after.comment);
    for (const ZipEntryInfo& old_entry : before.entries) {
      if (old_entry.name == "maps/") {
        continue;
      }
      SCOPED_TRACE(old_entry.name);
      const ZipEntryInfo* kept = Find(after, old_entry.name);
      ASSERT_NE(nullptr, kept);
      EXPECT_EQ(LocalBytes(row.zip, old_entry), LocalBytes(out, *kept));
    }
  }
}

TEST(ReadZipArchive, PlacesDataDescriptorsInTheEntry) {
  // a.txt: 30 + 5 name + 5 data + 16 descriptor; b.txt: 30 + 5 + 6 + 12.
  const std::string zip = HandArchive(
      {{"a.txt", "first", true, true}, {"b.txt", "second", true, false}});
  ZipArchiveInfo info;
  std::string why;
  ASSERT_TRUE(ReadZipArchive(zip, &info, &why)) << why;
  ASSERT_EQ(2u, info.entries.size());
  EXPECT_EQ(0u, info.entries[0].local_header_offset);
  EXPECT_EQ(35u, info.entries[0].data_offset);
  EXPECT_EQ(56u, info.entries[0].end_offset);
  EXPECT_EQ(56u, info.entries[1].local_header_offset);
  EXPECT_EQ(91u, info.entries[1].data_offset);
  EXPECT_EQ(109u, info.entries[1].end_offset);
  EXPECT_EQ(109u, info.central_directory_offset);
  EXPECT_EQ(Crc32("second"), info.entries[1].crc32);
  EXPECT_EQ(6u, info.entries[1].compressed_size);
  EXPECT_EQ("second", Contents(zip, info.entries[1]));
}

// Refusals.

TEST(UpdateZipArchive, RefusesBrokenArchivesAndLeavesOutAlone) {
  const std::string base = SmallArchive();
  Decoded d;
  ASSERT_TRUE(DecodeByHand(base, &d));
  ASSERT_EQ(2u, d.central.size());
  ASSERT_EQ(base.size() - 22, d.end.offset);
  // Where the fields are: end record, the second entry's central and local
  // headers, and the central directory.
  const std::size_t end = d.end.offset;
  const std::size_t central = d.central[1].offset;
  const std::size_t local = d.local[1].offset;
  const std::uint32_t directory = d.end.directory_offset;
  const std::uint32_t directory_size = d.end.directory_size;
  const std::uint32_t size = Size32(base);
  const std::uint32_t compressed = d.central[1].compressed_size;

  // A zip64 end record (56 bytes) and its locator (20 bytes), placed where
  // the end record is now.
  std::string zip64_record;
  Append32(&zip64_record, 0x06064b50);
  Append64(&zip64_record, 44);
  Append16(&zip64_record, 45);
  Append16(&zip64_record, 45);
  Append32(&zip64_record, 0);
  Append32(&zip64_record, 0);
  Append64(&zip64_record, 2);
  Append64(&zip64_record, 2);
  Append64(&zip64_record, directory_size);
  Append64(&zip64_record, directory);
  std::string zip64_locator;
  Append32(&zip64_locator, 0x07064b50);
  Append32(&zip64_locator, 0);
  Append64(&zip64_locator, end);
  Append32(&zip64_locator, 1);

  using Corrupt = std::function<void(std::string*)>;
  struct Row {
    const char* what;
    Corrupt corrupt;
  };
  const Row rows[] = {
      {"an empty file", [](std::string* z) { z->clear(); }},
      {"not a zip", [](std::string* z) { *z = "hello"; }},
      {"an end record's signature alone",
       [](std::string* z) { *z = "PK\x05\x06"; }},
      {"the end record cut short",
       [](std::string* z) { z->resize(z->size() - 1); }},
      {"the end record cut in half",
       [](std::string* z) { z->resize(z->size() - 11); }},
      {"a comment length past the end",
       [=](std::string* z) { Put16(z, end + 20, 5); }},
      {"bytes after the end record", [](std::string* z) { *z += "xyz"; }},
      {"the central directory starts past the end",
       [=](std::string* z) { Put32(z, end + 16, size + 10); }},
      {"the central directory ends past the end",
       [=](std::string* z) { Put32(z, end + 12, directory_size + 100); }},
      {"the central directory runs into the end record",
       [=](std::string* z) { Put32(z, end + 12, directory_size + 1); }},
      {"the central directory takes in the end record",
       [=](std::string* z) {
         Put16(z, central + 32, 22);  // the last entry's comment
         Put32(z, end + 12, directory_size + 22);
       }},
      {"the central directory's offset and size overflow 32 bits",
       [=](std::string* z) {
         Put32(z, end + 16, 0xFFFFFF00);
         Put32(z, end + 12, 0x200);
       }},
      {"the central directory's offset misses its first header",
       [=](std::string* z) {
         Put32(z, end + 16, directory + 1);
         Put32(z, end + 12, directory_size - 1);
       }},
      {"a wrong central header signature",
       [=](std::string* z) { Put32(z, central, 0x02014b51); }},
      {"an entry's comment runs past the central directory",
       [=](std::string* z) { Put16(z, central + 32, 40); }},
      {"a local header past the end",
       [=](std::string* z) { Put32(z, central + 42, size + 10); }},
      {"a local header in the central directory",
       [=](std::string* z) { Put32(z, central + 42, directory); }},
      {"a local header that is not one",
       [=](std::string* z) { Put32(z, local, 0x04034b51); }},
      {"a local extra field running into the central directory",
       [=](std::string* z) { Put16(z, local + 28, 0x100); }},
      {"data running into the central directory",
       [=](std::string* z) {
         Put32(z, central + 20, compressed + 1);
         Put32(z, local + 18, compressed + 1);
       }},
      {"data past the end",
       [=](std::string* z) {
         Put32(z, central + 20, 0x7FFFFFF0);
         Put32(z, local + 18, 0x7FFFFFF0);
       }},
      {"a zip64 locator",
       [=](std::string* z) { z->insert(end, zip64_locator); }},
      {"a zip64 end record and locator",
       [=](std::string* z) { z->insert(end, zip64_record + zip64_locator); }},
      {"0xFFFF entries",
       [=](std::string* z) {
         Put16(z, end + 8, 0xFFFF);
         Put16(z, end + 10, 0xFFFF);
       }},
      {"0xFFFF entries, every one of them there",
       [](std::string* z) {
         *z = HandArchive(std::vector<HandEntry>(65535, HandEntry{"d/", ""}));
       }},
      {"a central directory size of 0xFFFFFFFF",
       [=](std::string* z) { Put32(z, end + 12, 0xFFFFFFFF); }},
      {"a central directory offset of 0xFFFFFFFF",
       [=](std::string* z) { Put32(z, end + 16, 0xFFFFFFFF); }},
      {"a compressed size of 0xFFFFFFFF",
       [=](std::string* z) {
         Put32(z, central + 20, 0xFFFFFFFF);
         Put32(z, local + 18, 0xFFFFFFFF);
       }},
      {"an uncompressed size of 0xFFFFFFFF",
       [=](std::string* z) {
         Put32(z, central + 24, 0xFFFFFFFF);
         Put32(z, local + 22, 0xFFFFFFFF);
       }},
      {"a local header offset of 0xFFFFFFFF",
       [=](std::string* z) { Put32(z, central + 42, 0xFFFFFFFF); }},
      {"a second disk", [=](std::string* z) { Put16(z, end + 4, 1); }},
      {"the central directory on another disk",
       [=](std::string* z) { Put16(z, end + 6, 1); }},
      {"an entry on another disk",
       [=](std::string* z) { Put16(z, central + 34, 1); }},
      {"entries on this disk differ from the total",
       [=](std::string* z) { Put16(z, end + 8, 1); }},
      {"fewer entries counted than listed",
       [=](std::string* z) {
         Put16(z, end + 8, 1);
         Put16(z, end + 10, 1);
       }},
      {"more entries counted than listed",
       [=](std::string* z) {
         Put16(z, end + 8, 3);
         Put16(z, end + 10, 3);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string zip = base;
    row.corrupt(&zip);
    ExpectRefused(zip);
  }
}

TEST(UpdateZipArchive, RefusesOverlappingEntries) {
  const HandEntry a{"a.txt", "first entry"};
  const HandEntry b{"b.txt", "second entry"};
  const std::string local_a = HandLocal(a);
  const std::string local_b = HandLocal(b);
  // The hand-made archive is fine as it is; each row breaks one thing.
  ASSERT_TRUE(Judge(HandArchive({a, b})).updated);

  struct Row {
    const char* what;
    std::string zip;
  };
  std::vector<Row> rows;
  {
    // Both central headers point at a's local header.
    const std::string directory = HandCentral(a, 0) + HandCentral(a, 0);
    rows.push_back(
        {"two entries at one local header",
         local_a + directory + HandEnd(2, directory.size(), local_a.size())});
  }
  {
    // a's data is b's whole local record, and b's central header points
    // into it.
    const HandEntry outer{"a.txt", local_b};
    const std::string local_outer = HandLocal(outer);
    const std::string directory =
        HandCentral(outer, 0) + HandCentral(b, 30 + outer.name.size());
    rows.push_back({"an entry inside another's data",
                    local_outer + directory +
                        HandEnd(2, directory.size(), local_outer.size())});
  }
  {
    // a's sizes claim one byte more, which is b's first.
    std::string zip = HandArchive({a, b});
    const std::uint32_t longer = Size32(a.data) + 1;
    Put32(&zip, 18, longer);
    Put32(&zip, 22, longer);
    const std::size_t central_a = local_a.size() + local_b.size();
    Put32(&zip, central_a + 20, longer);
    Put32(&zip, central_a + 24, longer);
    rows.push_back({"data running into the next local header", zip});
  }
  {
    // b's data descriptor is missing: the 12 bytes taken for it are the
    // central directory's.
    const HandEntry described{"b.txt", "second entry", true, false};
    std::string local_described = HandLocal(described);
    local_described.resize(local_described.size() - 12);
    const std::string directory =
        HandCentral(a, 0) + HandCentral(described, local_a.size());
    const std::size_t locals = local_a.size() + local_described.size();
    rows.push_back({"a data descriptor in the central directory",
                    local_a + local_described + directory +
                        HandEnd(2, directory.size(), locals)});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ExpectRefused(row.zip);
  }
}

TEST(ReadZipArchive, ReadsNothingPastTheGivenBytes) {
  // The bytes after the view complete a valid archive, so a reader that
  // looks past the view would accept.
  const std::string zip = SmallArchive();
  for (std::size_t cut = 1; cut <= 22; ++cut) {
    SCOPED_TRACE("the last " + std::to_string(cut) + " bytes left out");
    ZipArchiveInfo info;
    std::string why;
    EXPECT_FALSE(ReadZipArchive(std::string_view(zip.data(), zip.size() - cut),
                                &info, &why));
    EXPECT_NE("", why);
  }
}

TEST(UpdateZipArchive, RefusesInputsItCannotStore) {
  std::vector<ZipInput> too_many;
  too_many.reserve(65535);
  for (int i = 0; i < 65535; ++i) {
    too_many.push_back(Directory("d" + std::to_string(i) + "/"));
  }
  std::string one_entry;
  std::string why;
  ASSERT_TRUE(
      UpdateZipArchive(nullptr, {File("kept.txt", "kept")}, &one_entry, &why))
      << why;
  const std::vector<ZipInput> one_short(too_many.begin(), too_many.end() - 1);

  struct Row {
    const char* what;
    const std::string* existing;
    std::vector<ZipInput> inputs;
  };
  const Row rows[] = {
      {"two files of one name",
       nullptr,
       {File("maps/a.gsc", "1"), File("maps/a.gsc", "2")}},
      {"two directories of one name",
       nullptr,
       {Directory("maps/"), File("maps/a.gsc", "1"), Directory("maps/")}},
      {"a name of 65,536 bytes",
       nullptr,
       {File(std::string(65536, 'n'), "data")}},
      {"65,535 entries", nullptr, too_many},
      {"65,535 entries with the existing one", &one_entry, one_short},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string out = kUntouched;
    why.clear();
    EXPECT_FALSE(UpdateZipArchive(row.existing, row.inputs, &out, &why));
    EXPECT_NE("", why);
    EXPECT_EQ(kUntouched, out);
  }
}

TEST(UpdateZipArchive, StoresWhatJustFits) {
  std::vector<ZipInput> most;
  most.reserve(65534);
  for (int i = 0; i < 65534; ++i) {
    most.push_back(Directory("d" + std::to_string(i) + "/"));
  }
  struct Row {
    const char* what;
    std::vector<ZipInput> inputs;
  };
  const Row rows[] = {
      {"a name of 65,535 bytes", {File(std::string(65535, 'n'), "data")}},
      {"65,534 entries", most},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string zip;
    std::string why;
    ASSERT_TRUE(UpdateZipArchive(nullptr, row.inputs, &zip, &why)) << why;
    ZipArchiveInfo info;
    ASSERT_TRUE(ReadZipArchive(zip, &info, &why)) << why;
    ASSERT_EQ(row.inputs.size(), info.entries.size());
    EXPECT_EQ(row.inputs.back().name, info.entries.back().name);
  }
}

// With Info-ZIP zip and the readers.

#ifndef _WIN32
TEST(UpdateZipArchive, KeepsTheEntriesOfAnArchiveZipMade) {
  if (!HaveCommand("zip")) {
    GTEST_SKIP() << "no zip on PATH";
  }
  struct Row {
    const char* what;
    std::string commands;     // leave arch.zip
    std::string add_comment;  // appended to the end record by hand
    std::vector<std::string> names_before;
    bool descriptors;
    std::string comment;
  };
  const Row rows[] = {
      {"streamed to a pipe, so every entry has a data descriptor",
       "echo hi | zip -q -fz- - other.txt maps/_loadout.gsc - | cat "
       ">arch.zip",
       "added by hand",
       {"other.txt", "maps/_loadout.gsc", "-"},
       true,
       "added by hand"},
      {"written to a file, with a comment by zip -z",
       "zip -q arch.zip other.txt maps/_loadout.gsc && "
       "echo 'kept comment' | zip -q -z arch.zip",
       "",
       {"other.txt", "maps/_loadout.gsc"},
       false,
       "kept comment"},
  };
  const std::string script = CompressibleText("new script");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDirectory scratch;
    std::string existing = MakeWithZip(row.commands);
    if (!row.add_comment.empty()) {
      Put16(&existing, existing.size() - 2, Size32(row.add_comment));
      existing += row.add_comment;
    }
    Decoded d;
    ASSERT_TRUE(DecodeByHand(existing, &d));
    ASSERT_EQ(row.names_before.size(), d.central.size());
    for (const CentralRecord& c : d.central) {
      EXPECT_EQ(row.descriptors, (c.flags & kDescriptorFlag) != 0) << c.name;
    }
    ZipArchiveInfo before;
    std::string why;
    ASSERT_TRUE(ReadZipArchive(existing, &before, &why)) << why;
    EXPECT_EQ(row.names_before, Names(before));

    std::string out;
    ASSERT_TRUE(UpdateZipArchive(
        &existing, {Directory("maps/"), File("maps/_loadout.gsc", script)},
        &out, &why))
        << why;
    ZipArchiveInfo after;
    ASSERT_TRUE(ReadZipArchive(out, &after, &why)) << why;
    // The script is replaced where it was; "maps/" was not there, so it
    // comes last.
    std::vector<std::string> names = row.names_before;
    names.push_back("maps/");
    EXPECT_EQ(names, Names(after));
    EXPECT_EQ(row.comment, after.comment);
    for (const ZipEntryInfo& old_entry : before.entries) {
      SCOPED_TRACE(old_entry.name);
      const ZipEntryInfo* entry = Find(after, old_entry.name);
      ASSERT_NE(nullptr, entry);
      if (old_entry.name == "maps/_loadout.gsc") {
        EXPECT_EQ(0, entry->flags & kDescriptorFlag);
        EXPECT_EQ(script, Contents(out, *entry));
      } else {
        EXPECT_EQ(LocalBytes(existing, old_entry), LocalBytes(out, *entry));
      }
    }
    EXPECT_EQ(kOtherText, Contents(out, *Find(after, "other.txt")));
  }
}

TEST(UpdateZipArchive, RefusesTheZip64ArchiveZipStreamsIntoAFile) {
  if (!HaveCommand("zip")) {
    GTEST_SKIP() << "no zip on PATH";
  }
  ScratchDirectory scratch;
  // Without -fz- zip marks the entry's sizes for zip64 and adds a zip64 end
  // record, as it cannot know the size of what comes from standard input.
  const std::string zip = MakeWithZip("echo hi | zip -q arch.zip -");
  ASSERT_NE(std::string::npos, zip.find("PK\x06\x06"));
  ExpectRefused(zip);
}

TEST(UpdateZipArchive, KeepsWholeOrRefusesAZip64DataDescriptor) {
  if (!HaveCommand("zip")) {
    GTEST_SKIP() << "no zip on PATH";
  }
  ScratchDirectory scratch;
  // Streamed to a pipe without -fz-, the entry's local header has zip64
  // sizes and its data descriptor is 24 bytes, while the central directory
  // and the end record stay 32-bit.
  const std::string zip = MakeWithZip("echo hi | zip -q - - | cat >arch.zip");
  Decoded d;
  ASSERT_TRUE(DecodeByHand(zip, &d));
  ASSERT_EQ(1u, d.central.size());
  ASSERT_EQ(kDescriptorFlag, d.central[0].flags & kDescriptorFlag);
  ASSERT_EQ(0xFFFFFFFF, d.local[0].compressed_size);
  const std::size_t descriptor_end =
      d.local[0].data_offset + d.central[0].compressed_size + 24;
  ASSERT_EQ(descriptor_end, d.end.directory_offset);

  // Refusing it as zip64 is as right as keeping it whole; keeping only the
  // first 16 bytes of its descriptor is not.
  const Verdict verdict = Judge(zip);
  EXPECT_EQ(verdict.read, verdict.updated);
  if (!verdict.updated) {
    EXPECT_NE("", verdict.update_why);
    EXPECT_EQ(kUntouched, verdict.out);
    return;
  }
  ZipArchiveInfo info;
  std::string why;
  ASSERT_TRUE(ReadZipArchive(zip, &info, &why)) << why;
  ASSERT_EQ(1u, info.entries.size());
  EXPECT_EQ(descriptor_end, info.entries[0].end_offset);
  EXPECT_EQ(0u, verdict.out.find(zip.substr(0, descriptor_end)));
}

TEST(UpdateZipArchive, MakesArchivesTheReadersAccept) {
  const bool have_zip = HaveCommand("zip");
  const bool have_unzip = HaveCommand("unzip");
  const bool have_python = HaveCommand("python3");
  if (!have_zip && !have_unzip && !have_python) {
    GTEST_SKIP() << "none of zip, unzip and python3 on PATH";
  }
  struct Row {
    std::string what;
    std::function<std::string()> make;  // runs in a scratch directory
    std::vector<ZipInput> files;        // what unzip -p must give back
  };
  const ZipInput script = File("maps/_loadout.gsc", CompressibleText("new"));
  std::vector<Row> rows;
  rows.push_back(
      {"fresh",
       [] {
         std::string zip;
         std::string why;
         EXPECT_TRUE(UpdateZipArchive(nullptr, SampleInputs(), &zip, &why))
             << why;
         return zip;
       },
       SampleInputs()});
  rows.push_back({"its own archive updated",
                  [script] {
                    const std::string first = SmallArchive();
                    std::string zip;
                    std::string why;
                    EXPECT_TRUE(UpdateZipArchive(
                        &first, {Directory("maps/"), script}, &zip, &why))
                        << why;
                    return zip;
                  },
                  {script}});
  if (have_zip) {
    for (const char* commands :
         {"echo hi | zip -q -fz- - other.txt maps/_loadout.gsc - | cat "
          ">arch.zip",
          "zip -q arch.zip other.txt maps/_loadout.gsc && "
          "echo 'a comment' | zip -q -z arch.zip"}) {
      rows.push_back(
          {std::string("zip's archive updated: ") + commands,
           [script, commands] {
             const std::string existing = MakeWithZip(commands);
             std::string zip;
             std::string why;
             EXPECT_TRUE(UpdateZipArchive(
                 &existing, {Directory("maps/"), script}, &zip, &why))
                 << why;
             return zip;
           },
           {script, File("other.txt", kOtherText)}});
    }
  }

  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScratchDirectory scratch;
    WriteFile("packed.zip", row.make());
    if (have_unzip) {
      EXPECT_EQ(0, RunShell("unzip -tqq packed.zip"));
      for (const ZipInput& file : row.files) {
        if (file.name.back() == '/') {
          continue;
        }
        SCOPED_TRACE(file.name);
        ASSERT_EQ(0,
                  RunShell("unzip -p packed.zip '" + file.name + "' >got.bin"));
        EXPECT_EQ(file.data, ReadFile("got.bin"));
      }
    }
    if (have_zip) {
      EXPECT_EQ(0, RunShell("zip -T -q packed.zip >/dev/null"));
    }
    if (have_python) {
      EXPECT_EQ(0,
                RunShell("python3 -c \"import zipfile,sys; "
                         "sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is "
                         "not None)\" packed.zip"));
    }
  }
}
#endif
