#include "host/archive/zlib_stream.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace host {
namespace {

constexpr size_t kChunk = 64 * 1024;

bool Fail(char* message, size_t size, const char* text) {
  if (message && size) std::snprintf(message, size, "%s", text);
  return false;
}

struct File {
  std::FILE* f = nullptr;
  ~File() {
    if (f) std::fclose(f);
  }
};

}  // namespace

bool zlib_compress_file(const char* source, const char* destination, char* message,
                        size_t message_size) {
  File in, out;
  in.f = std::fopen(source, "rb");
  if (!in.f) return Fail(message, message_size, "cannot open the input");
  out.f = std::fopen(destination, "wb");
  if (!out.f) return Fail(message, message_size, "cannot create the output");
  z_stream z = {};
  if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK)
    return Fail(message, message_size, "compressor failed to start");
  std::vector<unsigned char> in_buffer(kChunk), out_buffer(kChunk);
  unsigned char* input = in_buffer.data();
  unsigned char* output = out_buffer.data();
  bool ok = true;
  int flush = Z_NO_FLUSH;
  do {
    z.avail_in = unsigned(std::fread(input, 1, kChunk, in.f));
    if (std::ferror(in.f)) {
      ok = Fail(message, message_size, "cannot read the input");
      break;
    }
    flush = std::feof(in.f) ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = input;
    do {
      z.avail_out = kChunk;
      z.next_out = output;
      deflate(&z, flush);
      const size_t have = kChunk - z.avail_out;
      if (std::fwrite(output, 1, have, out.f) != have)
        ok = Fail(message, message_size, "cannot write the output");
    } while (ok && z.avail_out == 0);
  } while (ok && flush != Z_FINISH);
  deflateEnd(&z);
  if (ok && std::fflush(out.f) != 0) ok = Fail(message, message_size, "cannot write the output");
  return ok;
}

bool zlib_decompress_file(const char* source, uint64_t offset, const char* destination,
                          uint64_t max_size, uint64_t* size, char* message, size_t message_size) {
  if (size) *size = 0;
  File in, out;
  in.f = std::fopen(source, "rb");
  if (!in.f) return Fail(message, message_size, "cannot open the archive");
  if (std::fseek(in.f, long(offset), SEEK_SET) != 0)
    return Fail(message, message_size, "archive too short");
  out.f = std::fopen(destination, "wb");
  if (!out.f) return Fail(message, message_size, "cannot create the output");
  z_stream z = {};
  if (inflateInit(&z) != Z_OK) return Fail(message, message_size, "decompressor failed to start");
  std::vector<unsigned char> in_buffer(kChunk), out_buffer(kChunk);
  unsigned char* input = in_buffer.data();
  unsigned char* output = out_buffer.data();
  uint64_t total = 0;
  int status = Z_OK;
  bool ok = true;
  while (ok && status != Z_STREAM_END) {
    z.avail_in = unsigned(std::fread(input, 1, kChunk, in.f));
    if (std::ferror(in.f)) {
      ok = Fail(message, message_size, "cannot read the archive");
      break;
    }
    if (z.avail_in == 0) {
      ok = Fail(message, message_size, "the archive ends early");
      break;
    }
    z.next_in = input;
    do {
      z.avail_out = kChunk;
      z.next_out = output;
      status = inflate(&z, Z_NO_FLUSH);
      if (status == Z_NEED_DICT || status == Z_DATA_ERROR || status == Z_MEM_ERROR ||
          status == Z_STREAM_ERROR) {
        ok = Fail(message, message_size, "the archive is damaged");
        break;
      }
      const size_t have = kChunk - z.avail_out;
      total += have;
      if (total > max_size) {
        ok = Fail(message, message_size, "the archive inflates beyond its stated size");
        break;
      }
      if (std::fwrite(output, 1, have, out.f) != have) {
        ok = Fail(message, message_size, "cannot write the output");
        break;
      }
    } while (z.avail_out == 0 && status != Z_STREAM_END);
    if (ok && status == Z_STREAM_END) {
      // Nothing may follow the stream: trailing bytes mean a damaged or doctored archive.
      if (z.avail_in != 0 || std::fgetc(in.f) != EOF)
        ok = Fail(message, message_size, "bytes follow the archive's end");
    }
  }
  inflateEnd(&z);
  if (ok && std::fflush(out.f) != 0) ok = Fail(message, message_size, "cannot write the output");
  if (size) *size = total;
  return ok;
}

}  // namespace host
