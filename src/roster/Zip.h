#pragma once
// The files of a zip archive, as schools' systems export their class lists:
// entries stored or deflated, found through the archive's central
// directory and checked against their CRC-32. Encrypted, split and zip64
// archives and other methods are refused. Every size and offset is checked
// against the bytes there and against the limits, so that no archive can
// make the reader run past its input or fill the memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

struct ZipFile {
    std::string name;  // as the archive names it, folders included ("a/users.csv")
    std::string bytes; // the file's contents
};

struct ZipLimits {
    size_t maxFiles = 1000;
    size_t maxFileBytes = size_t{64} << 20;   // one file, unpacked
    size_t maxTotalBytes = size_t{256} << 20; // all files together
};

// The files of the archive `bytes`, folders left out, in the order of the
// central directory. False with `error` (Japanese, naming the entry) when
// the archive is broken or uses what this reader does not read.
bool readZip(std::string_view bytes, std::vector<ZipFile>& files, std::string& error,
             const ZipLimits& limits = {});

// Raw deflate data into `out`. False when the data is broken, ends early,
// or would unpack to more than `maxBytes`.
bool inflateRaw(std::string_view in, std::string& out, size_t maxBytes);

// The CRC-32 of zip archives (and of PNG and gzip).
uint32_t crc32Of(std::string_view bytes);

} // namespace kestrel
