#include "Zentri/devices/sound/VQSoundStream.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/util/VQerror.h"
#include "Zentri/util/VQfile.h"
#include "Zentri/util/VQscramble.h"
#include "host/dynlib/library.h"

namespace {

// The run-time loaded MP3 decoding library.
struct Mpglib {
  host::library* module = nullptr;
  mpglib_init_fn init = nullptr;
  mpglib_exit_fn exit = nullptr;
  mpglib_decode_fn decode = nullptr;
};
Mpglib g_mpglib;

// Sampling-frequency index -> Hz.
constexpr uint32_t kRates[] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};
// Bit-rate index -> kbit/s (MPEG-1 Layer III, used for every file); index 0 is free format.
constexpr uint32_t kBitRates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};

}  // namespace

bool VQmp3_LoadLibrary() {
  if (g_mpglib.module) return true;
  host::library* module = host::library_load("mpglib.dll");
  if (!module) return false;
  Mpglib m;
  m.module = module;
  m.init = reinterpret_cast<mpglib_init_fn>(host::library_symbol(module, "_InitMP3"));
  m.exit = reinterpret_cast<mpglib_exit_fn>(host::library_symbol(module, "_ExitMP3"));
  m.decode = reinterpret_cast<mpglib_decode_fn>(host::library_symbol(module, "_decodeMP3"));
  if (!m.init || !m.exit || !m.decode) {
    host::library_free(module);
    return false;
  }
  g_mpglib = m;
  return true;
}

void VQmp3_UnloadLibrary() {
  host::library_free(g_mpglib.module);
  g_mpglib = Mpglib{};
}

bool VQmp3_LibraryLoaded() { return g_mpglib.module != nullptr; }

// ---- stream ---------------------------------------------------------------------------------

bool VQSoundStream::Refill(void* destination, uint32_t bytes, uintptr_t context, uint32_t* written) {
  return reinterpret_cast<VQSoundStream*>(context)->Decode(static_cast<uint8_t*>(destination), bytes, written);
}

bool VQSoundStream::Start(const char* path, VQSoundDevice* device) {
  if (!device) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (m_buffer) Close();
  m_device = device;
  m_playing = 0;
  if (!Open(path)) return false;
  // The buffer takes the staging memory over, also when it cannot be made.
  uint8_t* staging = m_staging;
  m_buffer = device->CreateBuffer(staging, m_ringSize, m_channels, m_bits, m_rate, false, "_dec_sound");
  if (!m_buffer) {
    m_staging = nullptr;
    Close();
    return false;
  }
  m_buffer->m_loop = 1;
  m_buffer->SetRefillCallback(Refill, reinterpret_cast<uintptr_t>(this));
  return true;
}

void VQSoundStream::Close() {
  Stop();
  if (m_device && m_buffer) {
    m_device->DeleteBuffer(m_buffer);  // the staging memory goes with it
  } else {
    std::free(m_staging);  // opened, but no buffer took it over
  }
  m_buffer = nullptr;
  m_staging = nullptr;
  Free();
}

bool VQSoundStream::Play(bool repeat) {
  if (!m_buffer) return VQerror_Fail(VQERR_NOT_OPEN);
  if (m_playing) return true;
  m_endOfData = 0;
  m_tailBytes = 0;
  m_restarted = 0;
  m_repeat = repeat ? 1 : 0;
  Rewind();
  if (!m_buffer->Play(VQSOUND_PLAY_LOOP)) return false;
  // The initial fill may already have met the end of a very short file.
  m_playing = (m_buffer->m_flags & VQSOUND_PLAYING) ? 1 : 0;
  return true;
}

void VQSoundStream::Stop() {
  if (m_playing && m_buffer) {
    m_buffer->Stop(true);
    m_playing = 0;
  }
  EndDecoding();
}

void VQSoundStream::Pause(bool on) {
  if (!m_buffer) return;
  if (on) {
    if (!m_playing) return;
    m_buffer->Stop(false);
    m_playing = 0;
  } else if (!m_playing) {
    m_buffer->Play(VQSOUND_PLAY_LOOP);
    m_playing = 1;
  }
}

bool VQSoundStream::SetVolume(float gain) { return m_buffer ? m_buffer->SetVolume(gain) : false; }

// ---- MP3 decoder ----------------------------------------------------------------------------

VQMP3Stream::VQMP3Stream() { m_scratchSize = VQMP3_SCRATCH_SIZE; }

VQMP3Stream::~VQMP3Stream() {
  if (m_opened) Close();
  Free();
  std::free(m_staging);  // only when no buffer took it over
  m_staging = nullptr;
}

void VQMP3Stream::Init() {
  g_mpglib.init(&m_state);
  m_initialised = 1;
}

void VQMP3Stream::FailOpen(bool unloadLibrary) {
  Free();
  m_fileSize = 0;
  std::free(m_staging);
  m_staging = nullptr;
  m_opened = 0;
  if (unloadLibrary) {
    VQmp3_UnloadLibrary();
    m_loadedLibrary = 0;
  }
}

bool VQMP3Stream::Open(const char* path) {
  if (!path) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (!VQfile_Exists(path)) return false;
  bool loadedHere = false;
  if (!VQmp3_LibraryLoaded()) {
    if (!VQmp3_LoadLibrary()) return VQerror_Fail(VQERR_DEVICE_UNAVAILABLE);
    loadedHere = true;
    m_loadedLibrary = 1;
  }
  Free();
  std::free(m_staging);
  m_staging = nullptr;
  const int32_t size = VQfile_Size(path);
  if (size <= 0) {
    FailOpen(loadedHere);
    return VQerror_Fail(size == 0 ? VQERR_FILE_TYPE : VQERR_OPEN_INPUT);
  }
  m_file = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
  if (!m_file) {
    FailOpen(loadedHere);
    return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  m_fileSize = static_cast<uint32_t>(size);
  FILE* f = VQfile_Open(path, "rb");
  const bool read = f && std::fread(m_file, 1, m_fileSize, f) == m_fileSize;
  if (f) std::fclose(f);
  if (!read) {
    FailOpen(loadedHere);
    return VQerror_Fail(VQERR_OPEN_INPUT);
  }
  if (VQfile_TypeFromExtension(path) == VQFILE_VQ3) VQscramble(m_file, m_fileSize, nullptr, 0);
  std::memset(&m_state, 0, sizeof m_state);
  if (!g_mpglib.init(&m_state)) {
    FailOpen(loadedHere);
    return false;
  }
  m_initialised = 1;
  m_frameSize = 0;
  int produced = 0;
  const int r = g_mpglib.decode(&m_state, reinterpret_cast<const char*>(m_file), static_cast<int>(m_fileSize),
                                reinterpret_cast<char*>(m_scratch), static_cast<int>(m_scratchSize), &produced);
  m_frameSize = r == MPGLIB_OK ? produced : 0;
  const int32_t rateIndex = m_state.m_samplingFrequency;
  const int32_t bitIndex = m_state.m_bitrateIndex;
  const bool headerKnown = m_frameSize > 0 && rateIndex >= 0 && rateIndex < int32_t(std::size(kRates)) &&
                           bitIndex > 0 && bitIndex < int32_t(std::size(kBitRates));
  g_mpglib.exit(&m_state);
  m_initialised = 0;
  // No decodable frame, an unknown header, or free format (no bit rate to time the file by).
  if (!headerKnown) {
    FailOpen(loadedHere);
    return VQerror_Fail(VQERR_FILE_TYPE);
  }
  m_channels = static_cast<uint32_t>(m_state.m_channels);
  m_bits = 16;
  m_rate = kRates[rateIndex];
  m_bitRate = kBitRates[bitIndex];
  m_ringSize = static_cast<uint32_t>(m_frameSize) * VQMP3_RING_FRAMES;
  m_duration = static_cast<float>(static_cast<double>(uint64_t(m_fileSize) * 8) / (double(m_bitRate) * 1000.0));
  if (m_channels != VQMP3_CHANNELS || m_rate != VQMP3_RATE) {
    FailOpen(loadedHere);
    return VQerror_Fail(VQERR_FILE_TYPE);
  }
  m_staging = static_cast<uint8_t*>(std::calloc(m_ringSize, 1));
  if (!m_staging) {
    FailOpen(loadedHere);
    return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  }
  m_opened = 1;
  return true;
}

void VQMP3Stream::EndDecoding() {
  if (m_initialised && g_mpglib.exit) g_mpglib.exit(&m_state);
  m_initialised = 0;
}

void VQMP3Stream::Free() {
  std::free(m_file);
  m_file = nullptr;
}

void VQMP3Stream::Rewind() {
  if (!g_mpglib.init || !m_file) return;
  Init();
  // The first frame primes the decoder and is never heard.
  uint8_t* out = m_buffer && m_buffer->m_data ? m_buffer->m_data : m_scratch;
  const uint32_t outSize = m_buffer && m_buffer->m_data ? m_buffer->m_dataSize : m_scratchSize;
  int produced = 0;
  g_mpglib.decode(&m_state, reinterpret_cast<const char*>(m_file), static_cast<int>(m_fileSize),
                  reinterpret_cast<char*>(out), static_cast<int>(outSize), &produced);
  for (uint32_t i = 0; i < outSize; ++i) out[i] = 0;
  m_producedSinceStart = 0;
}

bool VQMP3Stream::Decode(uint8_t* destination, uint32_t bytes, uint32_t* written) {
  *written = 0;
  if (m_frameSize <= 0 || bytes < static_cast<uint32_t>(m_frameSize)) return true;
  if (m_endOfData) {
    // The ring still holds the last audio written before the end: it is played out (the
    // refills write silence meanwhile) before the end is reported.
    if (m_tailBytes > 0) {
      const uint32_t n = bytes < m_tailBytes ? bytes : m_tailBytes;
      std::memset(destination, 0, n);
      *written = n;
      m_tailBytes -= n;
      return true;
    }
    EndDecoding();
    m_playing = 0;
    return false;
  }
  if (!m_initialised) Init();
  const uint32_t frame = static_cast<uint32_t>(m_frameSize);
  uint8_t* cursor = destination;
  uint32_t room = bytes;
  for (;;) {
    int r = MPGLIB_OK;
    while (room >= frame) {
      int produced = 0;
      r = g_mpglib.decode(&m_state, nullptr, 0, reinterpret_cast<char*>(cursor), static_cast<int>(room), &produced);
      if (produced <= 0) break;
      const uint32_t n = static_cast<uint32_t>(produced) < room ? static_cast<uint32_t>(produced) : room;
      *written += n;
      cursor += n;
      room -= n;
      m_producedSinceStart = 1;
      if (r != MPGLIB_OK) break;
    }
    if (r == MPGLIB_OK) return true;
    if (r == MPGLIB_NEED_MORE) {
      // A file that has nothing after its first frame would restart for ever: end it instead.
      if (!m_repeat || !m_producedSinceStart) {
        std::memset(cursor, 0, room);
        m_endOfData = 1;
        // Unplayed audio in the ring: what was there before this refill and what it wrote.
        // The silent rest counts as written, so that the following refills measure exactly
        // the play progress until that audio has been heard.
        m_tailBytes = (m_ringSize > bytes ? m_ringSize - bytes : 0) + *written;
        *written += room;
        return true;
      }
      EndDecoding();
      m_restarted = 1;
      Init();
      int produced = 0;
      g_mpglib.decode(&m_state, reinterpret_cast<const char*>(m_file), static_cast<int>(m_fileSize),
                      reinterpret_cast<char*>(m_scratch), static_cast<int>(m_scratchSize), &produced);
      m_producedSinceStart = 0;
      continue;
    }
    Init();
    return true;
  }
}
