// The game's one music player: the intro, menu, podium and race titles. A title plays as a
// whole sample of the sound device or, for compressed music (".mp3", ".vq3"), as a stream
// through the MP3 decoder; a title can start again after a fixed silence. While a race track is
// loaded, the race hands it a listener so that the track's music sound events get the sample
// and follow the music volume.
#pragma once

#include <cstdint>

class VQSoundBuffer;
class VQSoundDevice;
class VQSoundStream;

// What a loaded race track offers the music player (either entry may be null).
struct MusicTrackListener {
  void (*playSample)(VQSoundBuffer* sample, uintptr_t context) = nullptr;  // null sample: none
  void (*setVolume)(uintptr_t context) = nullptr;  // the track takes music x master volume
  uintptr_t context = 0;
};

class MusicTrack {
 public:
  explicit MusicTrack(VQSoundDevice* device) : m_device(device) {}
  ~MusicTrack() { Stop(true); }
  MusicTrack(const MusicTrack&) = delete;
  MusicTrack& operator=(const MusicTrack&) = delete;

  // Starts a title; a title already held is neither stopped nor released (callers Stop first).
  // A file that cannot be opened leaves the player silent. The repeat flag is kept in any case.
  void Play(const char* path, bool repeat);
  // Stops the title and forgets it; with deleteSample a sample is deleted through the device.
  void Stop(bool deleteSample);
  // A stream plays at 0.8 of the volume. The same volume twice changes nothing.
  void SetVolume(float volume);
  void Pause(bool on);
  bool IsPlaying() const;
  // The repeat logic, once per frame with the frame time.
  void Update(float elapsed);

  VQSoundDevice* m_device;
  VQSoundBuffer* m_sample = nullptr;
  VQSoundStream* m_stream = nullptr;
  float m_volume = 1.0f;
  uint8_t m_playing = 0;
  uint8_t m_repeat = 0;
  float m_silence = 20.0f;
  float m_silenceLeft = 0.0f;
  float m_playTimeLeft = 0.0f;
  MusicTrackListener m_listener;
  uint32_t m_volumeChanges = 0;  // how often the device's volume was set (tests read it)
};

// True when the file name's extension makes it a streamed title ("mp3" or "vq3").
bool MusicTrack_IsStreamed(const char* path);
