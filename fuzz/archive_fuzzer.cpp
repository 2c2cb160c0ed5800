// libFuzzer target of the zip container: any bytes as the existing archive,
// updated with the two entries the program packs.
//
// Beyond what the sanitizers catch, every input is checked for:
// - ReadZipArchive, when it accepts: every offset and size it reports lies
//   inside the input, in the order the format has (local header, data,
//   descriptor; then the central directory), the signatures are where it
//   says, and no two entries overlap;
// - UpdateZipArchive: it accepts exactly when ReadZipArchive does; when it
//   refuses it gives a reason and leaves `out` as it was; when it accepts,
//   ReadZipArchive accepts its output, which holds each input name once,
//   with the input's bytes, keeps every other entry in order with its local
//   bytes unchanged, and keeps the comment.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "zip_archive.h"

namespace {

constexpr char kUntouched[] = "out as it was before the update";

const std::vector<ZipInput>& Inputs() {
  static const std::vector<ZipInput> inputs = [] {
    ZipInput directory;
    directory.name = "maps/";
    directory.version_made_by = 0x031E;
    directory.external_attributes = 0x41ED0010;
    ZipInput script;
    script.name = "maps/_loadout.gsc";
    for (int line = 0; line < 20; ++line) {
      script.data += "\tlevel.player giveWeapon(\"m1garand\");\r\n";
    }
    script.version_made_by = 0x031E;
    script.external_attributes = 0x81A40000;
    return std::vector<ZipInput>{directory, script};
  }();
  return inputs;
}

bool IsInputName(const std::string& name) {
  for (const ZipInput& input : Inputs()) {
    if (input.name == name) {
      return true;
    }
  }
  return false;
}

[[noreturn]] void Fail(const char* what, const std::string& detail,
                       std::string_view archive) {
  std::fprintf(stderr, "archive_fuzzer: %s%s%s\n  input: %zu bytes\n", what,
               detail.empty() ? "" : ": ", detail.c_str(), archive.size());
  std::abort();
}

// The little-endian field of `width` bytes at `at`, or 0 where the bytes run
// out (no signature is 0, and the other fields read lie inside the end
// record).
std::uint32_t Get(std::string_view bytes, std::size_t at, std::size_t width) {
  if (at > bytes.size() || bytes.size() - at < width) {
    return 0;
  }
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[at + i]);
    value |= static_cast<std::uint32_t>(byte) << (8 * i);
  }
  return value;
}

bool HasSignature(std::string_view bytes, std::size_t at,
                  std::uint32_t signature) {
  return Get(bytes, at, 4) == signature;
}

// The offsets and sizes ReadZipArchive reported, checked against the bytes.
void CheckInfo(std::string_view archive, const ZipArchiveInfo& info,
               const char* which) {
  const std::string where = which;
  const std::size_t size = archive.size();
  if (info.central_directory_offset > size) {
    Fail("the central directory starts past the end", where, archive);
  }
  std::size_t next_central = info.central_directory_offset;
  for (const ZipEntryInfo& e : info.entries) {
    const std::string entry = where + ", entry \"" + e.name + "\"";
    if (e.local_header_offset + 30 > e.data_offset ||
        e.data_offset + e.compressed_size > e.end_offset ||
        e.end_offset > info.central_directory_offset) {
      Fail("local header, data and end out of order", entry, archive);
    }
    const std::size_t after_data = e.data_offset + e.compressed_size;
    const std::size_t descriptor = e.end_offset - after_data;
    const bool described = (e.flags & (1u << 3)) != 0;
    if (described ? descriptor != 12 && descriptor != 16 : descriptor != 0) {
      Fail("the data descriptor's size does not match flag bit 3", entry,
           archive);
    }
    if (!HasSignature(archive, e.local_header_offset, 0x04034b50)) {
      Fail("no local header signature where the entry starts", entry, archive);
    }
    if (e.central_header_offset != next_central ||
        e.central_header_size < 46 + e.name.size() ||
        e.central_header_offset + e.central_header_size > size ||
        !HasSignature(archive, e.central_header_offset, 0x02014b50)) {
      Fail("the central headers do not follow each other", entry, archive);
    }
    if (archive.substr(e.central_header_offset + 46, e.name.size()) != e.name) {
      Fail("the name is not the central header's", entry, archive);
    }
    if (e.compressed_size == 0xFFFFFFFF || e.uncompressed_size == 0xFFFFFFFF) {
      Fail("zip64 sizes accepted", entry, archive);
    }
    next_central = e.central_header_offset + e.central_header_size;
  }
  // The end record is the last thing in the file, after the central
  // directory, and its size and offset fields are those of the entries.
  if (info.comment.size() + 22 > size) {
    Fail("the comment is longer than the file", where, archive);
  }
  const std::size_t end_record = size - 22 - info.comment.size();
  if (!HasSignature(archive, end_record, 0x06054b50) ||
      Get(archive, end_record + 20, 2) != info.comment.size() ||
      archive.substr(end_record + 22) != info.comment) {
    Fail("the comment is not what follows the end record", where, archive);
  }
  if (next_central > end_record ||
      Get(archive, end_record + 12, 4) !=
          next_central - info.central_directory_offset ||
      Get(archive, end_record + 16, 4) != info.central_directory_offset) {
    Fail("the central directory is not the one the end record gives", where,
         archive);
  }

  std::vector<const ZipEntryInfo*> by_offset;
  for (const ZipEntryInfo& e : info.entries) {
    by_offset.push_back(&e);
  }
  std::sort(by_offset.begin(), by_offset.end(),
            [](const ZipEntryInfo* a, const ZipEntryInfo* b) {
              return a->local_header_offset < b->local_header_offset;
            });
  for (std::size_t i = 1; i < by_offset.size(); ++i) {
    if (by_offset[i - 1]->end_offset > by_offset[i]->local_header_offset) {
      Fail("entries overlap",
           where + ", \"" + by_offset[i - 1]->name + "\" and \"" +
               by_offset[i]->name + "\"",
           archive);
    }
  }
}

// The entry's bytes, inflated where deflated; false if they cannot be.
bool Contents(const std::string& zip, const ZipEntryInfo& entry,
              std::string* plain) {
  const std::string stored =
      zip.substr(entry.data_offset, entry.compressed_size);
  if (entry.method == 0) {
    *plain = stored;
    return true;
  }
  if (entry.method != 8) {
    return false;
  }
  std::vector<Bytef> in(stored.begin(), stored.end());
  std::vector<Bytef> out(std::size_t{entry.uncompressed_size} + 1);
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) {
    return false;
  }
  stream.next_in = in.data();
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const bool whole = inflate(&stream, Z_FINISH) == Z_STREAM_END &&
                     stream.avail_in == 0 &&
                     stream.total_out == entry.uncompressed_size;
  plain->assign(out.begin(),
                out.begin() + static_cast<std::ptrdiff_t>(stream.total_out));
  inflateEnd(&stream);
  return whole;
}

void CheckUpdate(std::string_view archive, const ZipArchiveInfo& before,
                 const std::string& out) {
  ZipArchiveInfo after;
  std::string why;
  if (!ReadZipArchive(out, &after, &why)) {
    Fail("ReadZipArchive refuses the updated archive", why, archive);
  }
  CheckInfo(out, after, "updated archive");
  if (after.comment != before.comment) {
    Fail("the comment is not kept", "", archive);
  }

  for (const ZipInput& input : Inputs()) {
    const ZipEntryInfo* found = nullptr;
    for (const ZipEntryInfo& e : after.entries) {
      if (e.name != input.name) {
        continue;
      }
      if (found != nullptr) {
        Fail("an input is in the updated archive twice", input.name, archive);
      }
      found = &e;
    }
    if (found == nullptr) {
      Fail("an input is not in the updated archive", input.name, archive);
    }
    std::string plain;
    if ((found->flags & (1u << 3)) != 0 || !Contents(out, *found, &plain) ||
        plain != input.data ||
        found->crc32 != crc32(0L,
                              reinterpret_cast<const Bytef*>(input.data.data()),
                              static_cast<uInt>(input.data.size()))) {
      Fail("an input is not stored as given", input.name, archive);
    }
  }

  // The names in order: the existing ones, an input in place of the first
  // entry of its name (later ones of that name dropped), then the inputs not
  // placed yet.
  std::vector<std::string> expected_names;
  std::vector<bool> placed(Inputs().size(), false);
  const auto place = [&](const std::string& name) {
    for (std::size_t i = 0; i < Inputs().size(); ++i) {
      if (Inputs()[i].name == name) {
        if (!placed[i]) {
          expected_names.push_back(name);
        }
        placed[i] = true;
        return;
      }
    }
    expected_names.push_back(name);
  };
  for (const ZipEntryInfo& e : before.entries) {
    place(e.name);
  }
  for (const ZipInput& input : Inputs()) {
    place(input.name);
  }
  if (expected_names.size() != after.entries.size()) {
    Fail("the updated archive has the wrong number of entries", "", archive);
  }
  for (std::size_t i = 0; i < expected_names.size(); ++i) {
    if (after.entries[i].name != expected_names[i]) {
      Fail("an entry of the updated archive is out of place",
           after.entries[i].name, archive);
    }
  }

  // The other entries, in their order, with their local bytes as they were.
  std::vector<const ZipEntryInfo*> kept_before;
  std::vector<const ZipEntryInfo*> kept_after;
  for (const ZipEntryInfo& e : before.entries) {
    if (!IsInputName(e.name)) {
      kept_before.push_back(&e);
    }
  }
  for (const ZipEntryInfo& e : after.entries) {
    if (!IsInputName(e.name)) {
      kept_after.push_back(&e);
    }
  }
  if (kept_before.size() != kept_after.size()) {
    Fail("entries lost or added", "", archive);
  }
  for (std::size_t i = 0; i < kept_before.size(); ++i) {
    const ZipEntryInfo& old_entry = *kept_before[i];
    const ZipEntryInfo& new_entry = *kept_after[i];
    if (old_entry.name != new_entry.name ||
        archive.substr(old_entry.local_header_offset,
                       old_entry.end_offset - old_entry.local_header_offset) !=
            std::string_view(out).substr(
                new_entry.local_header_offset,
                new_entry.end_offset - new_entry.local_header_offset)) {
      Fail("a kept entry's local bytes changed", old_entry.name, archive);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string archive(reinterpret_cast<const char*>(data), size);

  ZipArchiveInfo info;
  std::string read_why;
  const bool read = ReadZipArchive(archive, &info, &read_why);
  if (read) {
    CheckInfo(archive, info, "input");
  } else if (read_why.empty()) {
    Fail("ReadZipArchive refuses without a reason", "", archive);
  }

  std::string out = kUntouched;
  std::string update_why;
  const bool updated = UpdateZipArchive(&archive, Inputs(), &out, &update_why);
  if (updated != read) {
    Fail(read ? "UpdateZipArchive refuses what ReadZipArchive accepts"
              : "UpdateZipArchive accepts what ReadZipArchive refuses",
         read ? update_why : read_why, archive);
  }
  if (!updated) {
    if (out != kUntouched) {
      Fail("UpdateZipArchive refuses but changes out", update_why, archive);
    }
    if (update_why.empty()) {
      Fail("UpdateZipArchive refuses without a reason", "", archive);
    }
    return 0;
  }
  CheckUpdate(archive, info, out);
  return 0;
}
