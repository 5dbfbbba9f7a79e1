// Streamed sound: VQSoundStream plays a long sound through one streamed buffer refilled from
// a decoder; VQMP3Stream decodes MP3 music (".mp3", or ".vq3" scrambled with the built-in key)
// through the MP3 decoding library loaded at run time ("mpglib.dll"). Without that library a
// stream does not start and the game goes on without music.
#pragma once

#include <cstdint>

#include "host/mpglib/mpglib.h"

class VQSoundBuffer;
class VQSoundDevice;

constexpr uint32_t VQMP3_SCRATCH_SIZE = 10240;   // bytes; holds any one decoded frame
constexpr uint32_t VQMP3_RING_FRAMES = 100;      // ring buffer size in decoded frames
constexpr uint32_t VQMP3_CHANNELS = 2;           // the only accepted layout
constexpr uint32_t VQMP3_RATE = 44100;

class VQSoundStream {
 public:
  VQSoundStream() = default;
  virtual ~VQSoundStream() = default;
  VQSoundStream(const VQSoundStream&) = delete;
  VQSoundStream& operator=(const VQSoundStream&) = delete;

  // Decoder operations. Open sets the format, m_ringSize and m_staging.
  virtual bool Open(const char* path) = 0;
  virtual void EndDecoding() = 0;
  virtual void Free() = 0;
  virtual void Rewind() = 0;
  // The buffer's refill: true while the stream goes on, false at its end.
  virtual bool Decode(uint8_t* destination, uint32_t bytes, uint32_t* written) = 0;

  // Opens the decoder and makes the streamed buffer ("_dec_sound").
  bool Start(const char* path, VQSoundDevice* device);
  void Close();
  bool Play(bool repeat);
  void Stop();
  void Pause(bool on);
  bool SetVolume(float gain);

  VQSoundDevice* m_device = nullptr;
  VQSoundBuffer* m_buffer = nullptr;
  uint32_t m_channels = 0;
  uint32_t m_bits = 0;
  uint32_t m_rate = 0;       // Hz
  uint32_t m_bitRate = 0;    // kbit/s
  float m_duration = 0.0f;   // seconds
  uint32_t m_ringSize = 0;   // bytes of the platform ring and of the staging memory
  uint8_t* m_staging = nullptr;  // malloc'ed; the buffer takes it over
  uint8_t m_playing = 0;
  uint8_t m_endOfData = 0;
  uint8_t m_repeat = 0;
  uint8_t m_restarted = 0;
  uint32_t m_tailBytes = 0;  // after the end of data: ring bytes still to be played out

 private:
  static bool Refill(void* destination, uint32_t bytes, uintptr_t context, uint32_t* written);
};

class VQMP3Stream : public VQSoundStream {
 public:
  VQMP3Stream();
  ~VQMP3Stream() override;

  // False when the file is missing (its error code), when the library cannot be loaded (39),
  // when the file cannot be read (24/16) and with 25 when it holds no decodable frame, a
  // free-format first frame, or anything but 44100 Hz stereo.
  bool Open(const char* path) override;
  void EndDecoding() override;
  void Free() override;
  void Rewind() override;
  bool Decode(uint8_t* destination, uint32_t bytes, uint32_t* written) override;

  mpglib_state m_state{};
  uint8_t m_opened = 0;
  uint32_t m_fileSize = 0;
  uint8_t* m_file = nullptr;  // the whole file (malloc'ed)
  uint32_t m_scratchSize = VQMP3_SCRATCH_SIZE;
  uint8_t m_scratch[VQMP3_SCRATCH_SIZE] = {};
  int32_t m_frameSize = 0;    // bytes the first frame decoded to
  uint8_t m_initialised = 0;

 private:
  void FailOpen(bool unloadLibrary);
  void Init();
  uint8_t m_loadedLibrary = 0;
  // Set once a frame is decoded after the file was (re)started; a file with nothing after
  // its first frame would otherwise restart for ever.
  uint8_t m_producedSinceStart = 0;
};

// Loads "mpglib.dll" once and takes its three entry points; false (library freed) when one is
// missing.
bool VQmp3_LoadLibrary();
void VQmp3_UnloadLibrary();
bool VQmp3_LibraryLoaded();
