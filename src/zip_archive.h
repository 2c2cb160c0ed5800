#pragma once

// The zip container: reads an existing archive and writes a new one, in
// memory. Knows nothing of loadouts, files or directories on disk.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// One file or directory to store in an archive.
struct ZipInput {
  // Relative, '/'-separated, no "./" and no leading '/'; a directory's name
  // ends in '/'. Non-ASCII names are taken as UTF-8 (flag bit 11 is set).
  std::string name;
  // The file's bytes; empty for a directory.
  std::string data;
  // Last modification, MS-DOS format (see ToDosDateTime).
  std::uint16_t dos_date = kDosEpochDate;
  std::uint16_t dos_time = 0;
  // "Version made by" of the central directory: high byte the host system
  // (0 MS-DOS/FAT, 3 Unix), low byte the zip format version times ten.
  std::uint16_t version_made_by = 0;
  // External attributes as that host system reads them (for Unix the mode in
  // the high 16 bits, for MS-DOS the attribute byte in the low one).
  std::uint32_t external_attributes = 0;

  // 1980-01-01, the first day MS-DOS dates can hold: month 1, day 1.
  static constexpr std::uint16_t kDosEpochDate = (1 << 5) | 1;
};

// One entry of an existing archive, as its central directory lists it. The
// offsets and sizes have been checked against the archive they came from.
struct ZipEntryInfo {
  std::string name;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t compressed_size = 0;
  std::uint32_t uncompressed_size = 0;
  // Where the entry's bytes lie in the archive: local header, name, extra
  // field, data and (flag bit 3) the data descriptor, in [begin, end).
  std::size_t local_header_offset = 0;
  std::size_t end_offset = 0;
  // Where its data alone begins (compressed_size bytes from there).
  std::size_t data_offset = 0;
  // The entry's central directory header with its name, extra field and
  // comment, as they stand in the archive.
  std::size_t central_header_offset = 0;
  std::size_t central_header_size = 0;
};

// A whole existing archive, checked.
struct ZipArchiveInfo {
  std::vector<ZipEntryInfo> entries;  // in central directory order
  std::size_t central_directory_offset = 0;
  std::string comment;
};

// The MS-DOS date and time of a local time (years before 1980 give
// 1980-01-01 00:00, years after 2107 give 2107-12-31 23:59:58; seconds are
// rounded down to even).
void ToDosDateTime(const std::tm& local, std::uint16_t* dos_date,
                   std::uint16_t* dos_time);

// Checks `archive` as a whole zip archive: the end record at the very end, no
// zip64 and no second disk, a central directory that lies inside the file and
// lists every entry, every entry's local header, name, data and data
// descriptor inside the file and before the central directory, entries not
// overlapping. Nothing outside `archive` is read. Returns false with the
// reason in `why` (e.g. "the central directory ends past the end of the
// file") if any check fails.
bool ReadZipArchive(std::string_view archive, ZipArchiveInfo* info,
                    std::string* why);

// Makes a whole new archive in `out`, as zip makes one when it updates an
// existing archive with the files `inputs`:
// - `existing` (nullptr when there is no archive yet) is read with
//   ReadZipArchive first; when it cannot be read, returns false with the
//   reason and leaves `out` as it was;
// - the entries of `existing` are kept in their order with their local
//   bytes unchanged (data descriptor included), each one whose name is
//   among `inputs` replaced in its place by that input; the inputs left over
//   follow, in their order; the existing archive's comment is kept;
// - every input is stored with CRC-32 and both sizes in its local header (no
//   data descriptor, no zip64): a file deflated (zlib, default level, raw
//   deflate) unless that is not smaller, then stored; a directory stored
//   with size 0.
// Returns false with the reason if the result would need zip64 (4 GiB,
// 65,535 entries) or an input cannot be stored (a name longer than 65,535
// bytes, two inputs of the same name).
bool UpdateZipArchive(const std::string* existing,
                      const std::vector<ZipInput>& inputs, std::string* out,
                      std::string* why);
