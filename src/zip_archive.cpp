// The zip container: checking an existing archive and writing a new one.
#include "zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kDataDescriptorSignature = 0x08074b50;

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kMaxCommentSize = 0xFFFF;

constexpr std::uint16_t kFlagDataDescriptor = 1 << 3;
constexpr std::uint16_t kFlagUtf8Name = 1 << 11;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::uint16_t kZip64ExtraId = 0x0001;

// All-ones in these fields means "look in the zip64 records".
constexpr std::uint16_t kZip64Count = 0xFFFF;
constexpr std::uint32_t kZip64Size = 0xFFFFFFFF;

// Offset of the local header offset within a central directory header.
constexpr std::size_t kCentralOffsetField = 42;

std::uint16_t DecodeFixed16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1])
                                        << 8);
}

std::uint32_t DecodeFixed32(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(DecodeFixed16(bytes, at)) |
         static_cast<std::uint32_t>(DecodeFixed16(bytes, at + 2)) << 16;
}

void PutFixed16(std::string* out, std::uint16_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>(value >> 8));
}

void PutFixed32(std::string* out, std::uint32_t value) {
  PutFixed16(out, static_cast<std::uint16_t>(value & 0xFFFF));
  PutFixed16(out, static_cast<std::uint16_t>(value >> 16));
}

void ReplaceFixed32(std::string* out, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    (*out)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

// True when [at, at + length) lies within [0, limit); no overflow whatever
// the values.
bool Fits(std::uint64_t at, std::uint64_t length, std::uint64_t limit) {
  return at <= limit && length <= limit - at;
}

bool Fail(std::string* why, const std::string& reason) {
  *why = reason;
  return false;
}

// The end record: the last record of the file, its comment reaching exactly
// to the end. Searched backwards, since the comment may hold anything.
bool FindEndRecord(std::string_view archive, std::size_t* at) {
  if (archive.size() < kEndRecordSize) {
    return false;
  }
  const std::size_t last = archive.size() - kEndRecordSize;
  const std::size_t first = last > kMaxCommentSize ? last - kMaxCommentSize : 0;
  for (std::size_t pos = last + 1; pos-- > first;) {
    if (DecodeFixed32(archive, pos) == kEndRecordSignature &&
        pos + kEndRecordSize + DecodeFixed16(archive, pos + 20) ==
            archive.size()) {
      *at = pos;
      return true;
    }
  }
  return false;
}

// True when the extra field holds a zip64 block; a malformed tail is left
// alone, as readers skip it too.
bool HasZip64Extra(std::string_view extra) {
  std::size_t at = 0;
  while (Fits(at, 4, extra.size())) {
    const std::uint16_t id = DecodeFixed16(extra, at);
    const std::uint16_t length = DecodeFixed16(extra, at + 2);
    if (id == kZip64ExtraId) {
      return true;
    }
    at += 4 + std::size_t{length};
  }
  return false;
}

std::string Entry(const std::string& name) { return "entry \"" + name + "\""; }

// Reads one central directory header at `*at`, within [0, end), and moves
// `*at` past it.
bool DecodeCentralHeader(std::string_view archive, std::size_t end,
                         std::size_t* at, ZipEntryInfo* entry,
                         std::string* why) {
  const std::size_t start = *at;
  if (!Fits(start, kCentralHeaderSize, end) ||
      DecodeFixed32(archive, start) != kCentralHeaderSignature) {
    return Fail(why, "the central directory lists fewer entries than it says");
  }
  const std::size_t name_length = DecodeFixed16(archive, start + 28);
  const std::size_t extra_length = DecodeFixed16(archive, start + 30);
  const std::size_t comment_length = DecodeFixed16(archive, start + 32);
  const std::size_t size =
      kCentralHeaderSize + name_length + extra_length + comment_length;
  if (!Fits(start, size, end)) {
    return Fail(why, "a central directory entry runs past its end");
  }
  entry->name =
      std::string(archive.substr(start + kCentralHeaderSize, name_length));
  entry->flags = DecodeFixed16(archive, start + 8);
  entry->method = DecodeFixed16(archive, start + 10);
  entry->crc32 = DecodeFixed32(archive, start + 16);
  entry->compressed_size = DecodeFixed32(archive, start + 20);
  entry->uncompressed_size = DecodeFixed32(archive, start + 24);
  entry->local_header_offset = DecodeFixed32(archive, start + 42);
  entry->central_header_offset = start;
  entry->central_header_size = size;
  if (DecodeFixed16(archive, start + 34) != 0) {
    return Fail(why, Entry(entry->name) + " starts on another disk");
  }
  if (entry->compressed_size == kZip64Size ||
      entry->uncompressed_size == kZip64Size ||
      entry->local_header_offset == kZip64Size ||
      HasZip64Extra(archive.substr(start + kCentralHeaderSize + name_length,
                                   extra_length))) {
    return Fail(why, Entry(entry->name) + " needs zip64, not supported");
  }
  *at = start + size;
  return true;
}

// Checks an entry's local header, data and data descriptor, all of which
// must lie before the central directory at `limit`.
bool LocateEntryBytes(std::string_view archive, std::size_t limit,
                      ZipEntryInfo* entry, std::string* why) {
  const std::size_t start = entry->local_header_offset;
  if (!Fits(start, kLocalHeaderSize, limit)) {
    return Fail(why, "the local header of " + Entry(entry->name) +
                         " lies outside the file");
  }
  if (DecodeFixed32(archive, start) != kLocalHeaderSignature) {
    return Fail(
        why, "no local header where " + Entry(entry->name) + " should begin");
  }
  const std::size_t name_length = DecodeFixed16(archive, start + 26);
  const std::size_t extra_length = DecodeFixed16(archive, start + 28);
  if (!Fits(start, kLocalHeaderSize + name_length + extra_length, limit)) {
    return Fail(why, "the local header of " + Entry(entry->name) +
                         " runs past the end of the file");
  }
  if (archive.substr(start + kLocalHeaderSize, name_length) != entry->name) {
    return Fail(why, "the local header of " + Entry(entry->name) +
                         " gives another name");
  }
  // A local header in zip64 form has a 24-byte data descriptor, whatever
  // the central directory says: not ours to copy.
  if (DecodeFixed32(archive, start + 18) == kZip64Size ||
      DecodeFixed32(archive, start + 22) == kZip64Size ||
      HasZip64Extra(archive.substr(start + kLocalHeaderSize + name_length,
                                   extra_length))) {
    return Fail(why, Entry(entry->name) + " needs zip64, not supported");
  }
  entry->data_offset = start + kLocalHeaderSize + name_length + extra_length;
  if (!Fits(entry->data_offset, entry->compressed_size, limit)) {
    return Fail(why, "the data of " + Entry(entry->name) +
                         " runs past the end of the file");
  }
  std::size_t end = entry->data_offset + entry->compressed_size;
  if ((entry->flags & kFlagDataDescriptor) != 0) {
    // The descriptor's signature is optional: tell the two forms apart by
    // the CRC that must follow.
    if (Fits(end, 16, limit) &&
        DecodeFixed32(archive, end) == kDataDescriptorSignature &&
        DecodeFixed32(archive, end + 4) == entry->crc32) {
      end += 16;
    } else if (Fits(end, 12, limit) &&
               DecodeFixed32(archive, end) == entry->crc32) {
      end += 12;
    } else {
      return Fail(why, "the data descriptor of " + Entry(entry->name) +
                           " is missing or does not match");
    }
  }
  entry->end_offset = end;
  return true;
}

// One new entry, encoded: its local header with its data, and its central
// directory header without the offset (filled in when placed).
struct EncodedInput {
  std::string local;
  std::string central;
};

// Raw deflate, in pieces small enough for zlib's 32-bit counters.
bool Deflate(const std::string& data, std::string* deflated, std::string* why) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    return Fail(why, "zlib could not start deflate");
  }
  constexpr std::size_t kPiece = 1 << 20;
  std::string buffer(std::size_t{64} * 1024, '\0');
  deflated->clear();
  std::size_t fed = 0;
  int result = Z_OK;
  do {
    if (stream.avail_in == 0 && fed < data.size()) {
      const std::size_t piece = std::min(kPiece, data.size() - fed);
      // zlib takes non-const input but never writes it.
      stream.next_in = reinterpret_cast<Bytef*>(  // NOLINT
          const_cast<char*>(data.data() + fed));  // NOLINT
      stream.avail_in = static_cast<uInt>(piece);
      fed += piece;
    }
    stream.next_out = reinterpret_cast<Bytef*>(&buffer[0]);
    stream.avail_out = static_cast<uInt>(buffer.size());
    result = deflate(&stream, fed == data.size() ? Z_FINISH : Z_NO_FLUSH);
    deflated->append(buffer, 0, buffer.size() - stream.avail_out);
  } while (result == Z_OK || result == Z_BUF_ERROR);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) {
    return Fail(why, "zlib could not deflate the data");
  }
  return true;
}

bool EncodeInput(const ZipInput& input, EncodedInput* encoded,
                 std::string* why) {
  const bool directory = !input.name.empty() && input.name.back() == '/';
  std::uint16_t method = kMethodStored;
  std::string deflated;
  if (!directory && !input.data.empty()) {
    if (!Deflate(input.data, &deflated, why)) {
      return false;
    }
    if (deflated.size() < input.data.size()) {
      method = kMethodDeflated;
    }
  }
  const std::string& stored = method == kMethodDeflated ? deflated : input.data;
  uLong crc = crc32(0L, Z_NULL, 0);
  for (std::size_t at = 0; at < input.data.size(); at += 1 << 20) {
    const std::size_t piece =
        std::min<std::size_t>(1 << 20, input.data.size() - at);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(input.data.data() + at),
                static_cast<uInt>(piece));
  }
  const std::uint16_t version_needed =
      method == kMethodDeflated || directory ? 20 : 10;
  const bool ascii = std::all_of(input.name.begin(), input.name.end(),
                                 [](char c) { return (c & 0x80) == 0; });
  const std::uint16_t flags = ascii ? 0 : kFlagUtf8Name;

  // The fields the two headers share, from "version needed" on.
  std::string common;
  PutFixed16(&common, version_needed);
  PutFixed16(&common, flags);
  PutFixed16(&common, method);
  PutFixed16(&common, input.dos_time);
  PutFixed16(&common, input.dos_date);
  PutFixed32(&common, static_cast<std::uint32_t>(crc));
  PutFixed32(&common, static_cast<std::uint32_t>(stored.size()));
  PutFixed32(&common, static_cast<std::uint32_t>(input.data.size()));
  PutFixed16(&common, static_cast<std::uint16_t>(input.name.size()));
  PutFixed16(&common, 0);  // extra field length

  encoded->local.clear();
  PutFixed32(&encoded->local, kLocalHeaderSignature);
  encoded->local += common;
  encoded->local += input.name;
  encoded->local += stored;

  encoded->central.clear();
  PutFixed32(&encoded->central, kCentralHeaderSignature);
  PutFixed16(&encoded->central, input.version_made_by);
  encoded->central += common;
  PutFixed16(&encoded->central, 0);  // comment length
  PutFixed16(&encoded->central, 0);  // disk number
  PutFixed16(&encoded->central, 0);  // internal attributes
  PutFixed32(&encoded->central, input.external_attributes);
  PutFixed32(&encoded->central, 0);  // local header offset, set when placed
  encoded->central += input.name;
  return true;
}

// Largest offset or size a 32-bit field may hold without meaning zip64.
constexpr std::uint64_t kMaxField = kZip64Size - 1;

}  // namespace

void ToDosDateTime(const std::tm& local, std::uint16_t* dos_date,
                   std::uint16_t* dos_time) {
  const int year = local.tm_year + 1900;
  if (year < 1980) {
    *dos_date = ZipInput::kDosEpochDate;
    *dos_time = 0;
    return;
  }
  if (year > 2107) {
    *dos_date = static_cast<std::uint16_t>((2107 - 1980) << 9 | 12 << 5 | 31);
    *dos_time = static_cast<std::uint16_t>(23 << 11 | 59 << 5 | 29);
    return;
  }
  const int second = std::min(local.tm_sec, 59);
  *dos_date = static_cast<std::uint16_t>(
      (year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  *dos_time = static_cast<std::uint16_t>(local.tm_hour << 11 |
                                         local.tm_min << 5 | second / 2);
}

bool ReadZipArchive(std::string_view archive, ZipArchiveInfo* info,
                    std::string* why) {
  if (archive.empty()) {
    return Fail(why, "the file is empty");
  }
  std::size_t end_record = 0;
  if (!FindEndRecord(archive, &end_record)) {
    return Fail(why, "no end of central directory record at the end");
  }
  if (end_record >= kZip64LocatorSize &&
      DecodeFixed32(archive, end_record - kZip64LocatorSize) ==
          kZip64LocatorSignature) {
    return Fail(why, "a zip64 archive, not supported");
  }
  const std::uint16_t disk = DecodeFixed16(archive, end_record + 4);
  const std::uint16_t directory_disk = DecodeFixed16(archive, end_record + 6);
  const std::uint16_t entries_here = DecodeFixed16(archive, end_record + 8);
  const std::uint16_t entries_total = DecodeFixed16(archive, end_record + 10);
  const std::uint32_t directory_size = DecodeFixed32(archive, end_record + 12);
  const std::uint32_t directory_offset =
      DecodeFixed32(archive, end_record + 16);
  if (entries_total == kZip64Count || entries_here == kZip64Count ||
      directory_size == kZip64Size || directory_offset == kZip64Size) {
    return Fail(why, "a zip64 archive, not supported");
  }
  if (disk != 0 || directory_disk != 0 || entries_here != entries_total) {
    return Fail(why, "an archive split over several disks, not supported");
  }
  if (!Fits(directory_offset, directory_size, end_record)) {
    return Fail(why, "the central directory ends past the end of the file");
  }

  ZipArchiveInfo read;
  read.central_directory_offset = directory_offset;
  read.comment = std::string(archive.substr(end_record + kEndRecordSize));
  const std::size_t directory_end =
      std::size_t{directory_offset} + directory_size;
  std::size_t at = directory_offset;
  for (std::size_t i = 0; i < entries_total; ++i) {
    ZipEntryInfo entry;
    if (!DecodeCentralHeader(archive, directory_end, &at, &entry, why) ||
        !LocateEntryBytes(archive, directory_offset, &entry, why)) {
      return false;
    }
    read.entries.push_back(std::move(entry));
  }
  if (at != directory_end) {
    return Fail(why, "the central directory holds more than its entries");
  }

  std::vector<std::pair<std::size_t, std::size_t>> spans;
  spans.reserve(read.entries.size());
  for (const ZipEntryInfo& entry : read.entries) {
    spans.emplace_back(entry.local_header_offset, entry.end_offset);
  }
  std::sort(spans.begin(), spans.end());
  for (std::size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].first < spans[i - 1].second) {
      return Fail(why, "two entries overlap in the file");
    }
  }
  *info = std::move(read);
  return true;
}

bool UpdateZipArchive(const std::string* existing,
                      const std::vector<ZipInput>& inputs, std::string* out,
                      std::string* why) {
  ZipArchiveInfo info;
  const std::string_view old_bytes =
      existing != nullptr ? std::string_view(*existing) : std::string_view();
  if (existing != nullptr && !ReadZipArchive(old_bytes, &info, why)) {
    return false;
  }
  std::unordered_map<std::string, std::size_t> input_by_name;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const std::string& name = inputs[i].name;
    if (name.empty()) {
      return Fail(why, "an entry without a name");
    }
    if (name.size() > std::numeric_limits<std::uint16_t>::max()) {
      return Fail(why, "an entry name longer than 65,535 bytes");
    }
    if (inputs[i].data.size() > kMaxField) {
      return Fail(why, Entry(name) + " is 4 GiB or larger (zip64)");
    }
    if (!input_by_name.emplace(name, i).second) {
      return Fail(why, Entry(name) + " is given twice");
    }
  }

  std::string result;
  std::string directory;
  std::size_t entry_count = 0;
  std::vector<bool> placed(inputs.size(), false);
  // Appends one entry's local bytes and its central header, the latter's
  // offset field pointed at where the local bytes landed.
  const auto place = [&](std::string_view local, std::string_view central) {
    if (result.size() > kMaxField || local.size() > kMaxField - result.size()) {
      return Fail(why, "the archive would reach 4 GiB (zip64)");
    }
    const std::size_t central_at = directory.size();
    directory.append(central.data(), central.size());
    ReplaceFixed32(&directory, central_at + kCentralOffsetField,
                   static_cast<std::uint32_t>(result.size()));
    result.append(local.data(), local.size());
    ++entry_count;
    return true;
  };
  const auto place_input = [&](std::size_t index) {
    EncodedInput encoded;
    placed[index] = true;
    return EncodeInput(inputs[index], &encoded, why) &&
           place(encoded.local, encoded.central);
  };

  for (const ZipEntryInfo& entry : info.entries) {
    const auto replacement = input_by_name.find(entry.name);
    if (replacement == input_by_name.end()) {
      if (!place(old_bytes.substr(entry.local_header_offset,
                                  entry.end_offset - entry.local_header_offset),
                 old_bytes.substr(entry.central_header_offset,
                                  entry.central_header_size))) {
        return false;
      }
    } else if (!placed[replacement->second]) {
      if (!place_input(replacement->second)) {
        return false;
      }
    }
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (!placed[i] && !place_input(i)) {
      return false;
    }
  }

  if (entry_count >= kZip64Count) {
    return Fail(why, "the archive would hold 65,535 entries or more (zip64)");
  }
  if (result.size() > kMaxField || directory.size() > kMaxField ||
      directory.size() > kMaxField - result.size()) {
    return Fail(why, "the archive would reach 4 GiB (zip64)");
  }
  const auto directory_offset = static_cast<std::uint32_t>(result.size());
  result += directory;
  PutFixed32(&result, kEndRecordSignature);
  PutFixed16(&result, 0);  // this disk
  PutFixed16(&result, 0);  // disk of the central directory
  PutFixed16(&result, static_cast<std::uint16_t>(entry_count));
  PutFixed16(&result, static_cast<std::uint16_t>(entry_count));
  PutFixed32(&result, static_cast<std::uint32_t>(directory.size()));
  PutFixed32(&result, directory_offset);
  PutFixed16(&result, static_cast<std::uint16_t>(info.comment.size()));
  result += info.comment;
  *out = std::move(result);
  return true;
}
