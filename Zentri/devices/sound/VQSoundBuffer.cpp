#include "Zentri/devices/sound/VQSoundBuffer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/util/VQStrings.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQscramble.h"

namespace {

constexpr uint32_t kFmtSizeShort = 16;  // the PCM format without its extra-size field
constexpr uint32_t kFmtSizeFull = 18;

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Reads exactly n bytes; false at a short read.
bool ReadExact(FILE* f, void* out, size_t n) { return std::fread(out, 1, n, f) == n; }

}  // namespace

VQSoundBuffer::~VQSoundBuffer() { std::free(m_name); }

bool VQSoundBuffer::SetName(const char* name) {
  char* copy = nullptr;
  if (name) {
    copy = VQstrdup(name);
    if (!copy) return false;
  }
  std::free(m_name);
  m_name = copy;
  return true;
}

void VQSoundBuffer::ReleaseData() {
  if (m_sharedCount && --*m_sharedCount > 0) {
    m_sharedCount = nullptr;
    m_data = nullptr;
    m_dataSize = 0;
    return;
  }
  if (m_data) {
    std::memset(m_data, 0, m_dataSize);
    std::free(m_data);
  }
  std::free(m_sharedCount);
  m_sharedCount = nullptr;
  m_data = nullptr;
  m_dataSize = 0;
}

VQWaveFormat VQsound_PcmFormat(uint32_t channels, uint32_t bits, uint32_t rate) {
  VQWaveFormat f;
  f.format_tag = WAVE_FORMAT_PCM;
  f.channels = static_cast<uint16_t>(channels);
  f.samples_per_sec = rate;
  f.bits_per_sample = static_cast<uint16_t>(bits);
  f.block_align = static_cast<uint16_t>(bits / 8 * channels);
  f.avg_bytes_per_sec = f.block_align * rate;
  f.extra_size = 0;
  return f;
}

bool VQSoundBuffer::ReadWave(const char* path, bool scrambledAllowed) {
  const VQFileType type = VQfile_TypeFromExtension(path);
  if (type != VQFILE_WAV && !(type == VQFILE_VQW && scrambledAllowed)) return VQerror_Fail(VQERR_FILE_TYPE);
  FILE* f = VQfile_Open(path, "rb");
  if (!f) return VQerror_Fail(VQERR_OPEN_INPUT);
  ReleaseData();
  // Every chunk size is checked against the bytes the file really has.
  std::fseek(f, 0, SEEK_END);
  const long fileSize = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  auto fail = [f](int32_t code) {
    std::fclose(f);
    return VQerror_Fail(code);
  };
  uint8_t head[12];
  if (fileSize < 12 || !ReadExact(f, head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0)
    return fail(VQERR_FILE_TYPE);
  const uint32_t riffSize = Le32(head + 4);
  uint64_t offset = 4;  // counts from the "WAVE" mark, as the RIFF size does
  while (offset < riffSize) {
    uint8_t chunk[8];
    if (!ReadExact(f, chunk, sizeof chunk)) return fail(VQERR_FILE_TYPE);
    const uint32_t size = Le32(chunk + 4);
    const uint32_t pad = size & 1u;
    const long here = std::ftell(f);
    if (here < 0 || uint64_t(size) > uint64_t(fileSize - here)) return fail(VQERR_FILE_TYPE);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size != kFmtSizeShort && size != kFmtSizeFull) return fail(VQERR_BAD_HEADER);
      uint8_t b[kFmtSizeFull] = {};
      if (!ReadExact(f, b, size)) return fail(VQERR_FILE_TYPE);
      VQWaveFormat w;
      w.format_tag = Le16(b);
      w.channels = Le16(b + 2);
      w.samples_per_sec = Le32(b + 4);
      w.avg_bytes_per_sec = Le32(b + 8);
      w.block_align = Le16(b + 12);
      w.bits_per_sample = Le16(b + 14);
      w.extra_size = size == kFmtSizeFull ? Le16(b + 16) : 0;
      // Each of these later divides a size or a time.
      if (w.channels == 0 || w.samples_per_sec == 0 || w.block_align == 0) return fail(VQERR_BAD_HEADER);
      m_format = w;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      std::free(m_data);
      m_data = nullptr;
      m_dataSize = 0;
      uint8_t* data = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
      if (!data) {
        std::fclose(f);
        return VQerror_Fail(VQERR_OUT_OF_MEMORY);
      }
      if (!ReadExact(f, data, size)) {
        std::free(data);
        return fail(VQERR_FILE_TYPE);
      }
      m_data = data;
      m_dataSize = size;
    } else if (std::fseek(f, static_cast<long>(size), SEEK_CUR) != 0) {
      return fail(VQERR_FILE_TYPE);
    }
    if (pad && std::fseek(f, 1, SEEK_CUR) != 0) return fail(VQERR_FILE_TYPE);
    offset += 8 + uint64_t(size) + pad;
  }
  std::fclose(f);
  if (type == VQFILE_VQW && m_data) VQscramble(m_data, m_dataSize, nullptr, 0);
  return true;
}
