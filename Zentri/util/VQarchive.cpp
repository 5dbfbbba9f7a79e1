#include "Zentri/util/VQarchive.h"

#include <cstdio>
#include <cstring>

#include "host/archive/zlib_stream.h"
#include "host/fs/fs.h"
#include "Zentri/util/VQbytes.h"
#include "Zentri/util/VQerror.h"

namespace {

constexpr char kMagic[4] = {'V', 'Q', 'B', 'A'};

uint64_t GetU64(const uint8_t* p) {
  return uint64_t(VQbytes_GetU32(p)) | uint64_t(VQbytes_GetU32(p + 4)) << 32;
}
void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

bool FailWith(int32_t code) {
  g_VQerror = code;
  return false;
}

}  // namespace

std::string VQarchive_PackageName(const char* archive, const char* folder) {
  std::string name = archive ? archive : "";
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (name.size() >= 3)
    name.replace(name.size() - 3, 3, "vqa");
  else
    name = "vqa";
  if (!folder || !*folder) return name;
  return std::string(folder) + "/" + name;
}

bool VQarchive_Decompress(const char* archive, const char* folder) {
  if (!archive) return FailWith(VQERR_INVALID_ARGUMENT);
  const std::string resolvedArchive = host::resolve_path(archive);
  std::FILE* in = host::open_file(resolvedArchive.c_str(), "rb", nullptr);
  if (!in) return FailWith(VQERR_OPEN_INPUT);
  uint8_t header[VQARCHIVE_HEADER_SIZE];
  const bool whole = std::fread(header, 1, sizeof header, in) == sizeof header;
  std::fclose(in);
  if (!whole || std::memcmp(header, kMagic, 4) != 0 ||
      VQbytes_GetU32(header + 4) != VQARCHIVE_VERSION)
    return FailWith(VQERR_BAD_HEADER);
  const uint64_t stated = GetU64(header + 8);
  if (stated > VQARCHIVE_MAX_PACKAGE) return FailWith(VQERR_BAD_HEADER);

  const std::string package = VQarchive_PackageName(archive, folder);
  const std::string temporary = package + ".part";
  uint64_t size = 0;
  char message[128];
  const std::string resolvedTemp = host::resolve_path(temporary.c_str());
  const bool inflated =
      host::zlib_decompress_file(resolvedArchive.c_str(), VQARCHIVE_HEADER_SIZE,
                                 resolvedTemp.c_str(), stated, &size, message, sizeof message);
  if (!inflated || size != stated) {
    std::remove(resolvedTemp.c_str());
    return FailWith(std::strstr(message, "create") && !inflated ? VQERR_CREATE_OUTPUT
                                                                : VQERR_FILE_TYPE);
  }
  const std::string resolvedPackage = host::resolve_path(package.c_str());
  if (std::rename(resolvedTemp.c_str(), resolvedPackage.c_str()) != 0) {
    std::remove(resolvedTemp.c_str());
    return FailWith(VQERR_CREATE_OUTPUT);
  }
  return true;
}

bool VQarchive_Compress(const char* package, const char* archive) {
  if (!package || !archive) return FailWith(VQERR_INVALID_ARGUMENT);
  const std::string source = host::resolve_path(package);
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (!in) return FailWith(VQERR_OPEN_INPUT);
  std::fseek(in, 0, SEEK_END);
  const long length = std::ftell(in);
  std::fclose(in);
  if (length < 0) return FailWith(VQERR_OPEN_INPUT);
  if (uint64_t(length) > VQARCHIVE_MAX_PACKAGE) return FailWith(VQERR_BAD_HEADER);

  const std::string target = host::resolve_path(archive);
  const std::string body = target + ".body";
  const std::string temporary = target + ".part";
  char message[128];
  bool ok = host::zlib_compress_file(source.c_str(), body.c_str(), message, sizeof message);
  std::FILE* out = ok ? std::fopen(temporary.c_str(), "wb") : nullptr;
  std::FILE* stream = out ? std::fopen(body.c_str(), "rb") : nullptr;
  ok = stream != nullptr;
  if (ok) {
    uint8_t header[VQARCHIVE_HEADER_SIZE];
    std::memcpy(header, kMagic, 4);
    for (int i = 0; i < 4; ++i) header[4 + i] = uint8_t(VQARCHIVE_VERSION >> (8 * i));
    PutU64(header + 8, uint64_t(length));
    ok = std::fwrite(header, 1, sizeof header, out) == sizeof header;
    char buffer[16384];
    size_t n;
    while (ok && (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
      ok = std::fwrite(buffer, 1, n, out) == n;
    ok = ok && !std::ferror(stream);
  }
  if (stream) std::fclose(stream);
  if (out && std::fclose(out) != 0) ok = false;
  std::remove(body.c_str());
  if (ok && std::rename(temporary.c_str(), target.c_str()) == 0) return true;
  std::remove(temporary.c_str());
  return FailWith(VQERR_CREATE_OUTPUT);
}
