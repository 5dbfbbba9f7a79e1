// Bonus archives: a package file (VQPackageFile.h) compressed as one zlib stream behind a
// 16-byte header, little-endian: the magic "VQBA", u32 format version 1, u64 size of the
// package the stream inflates to. The stated size bounds the inflated output, so a damaged or
// doctored archive cannot fill the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr uint32_t VQARCHIVE_VERSION = 1;
inline constexpr size_t VQARCHIVE_HEADER_SIZE = 16;
// The largest package an archive may hold.
inline constexpr uint64_t VQARCHIVE_MAX_PACKAGE = uint64_t(1) << 31;

// The package file an archive inflates to: the archive's file name with its last three
// characters replaced by "vqa", in folder (the name alone for a null or empty folder).
std::string VQarchive_PackageName(const char* archive, const char* folder);

// Inflates archive into the package file VQarchive_PackageName(archive, folder). The package
// is written under a temporary name and renamed only once complete and of the stated size.
// False, leaving no package behind: 24 the archive cannot be opened, 26 a bad header (magic,
// version, or a size above VQARCHIVE_MAX_PACKAGE), 25 a damaged stream (corrupt, truncated,
// bytes behind it, or an inflated size other than the stated one), 23 the package cannot be
// written.
bool VQarchive_Decompress(const char* archive, const char* folder);

// Compresses the package file into an archive; the archive is replaced only once complete.
// False: 24 the package cannot be read, 26 larger than VQARCHIVE_MAX_PACKAGE, 23 the archive
// cannot be written.
bool VQarchive_Compress(const char* package, const char* archive);
