// The voice limiter: keeps the sounds started through VQSoundDevice::PlayLimited in
// descending priority order and lets only the first N be audible; the others are paused.
// Since a paused buffer's position keeps advancing, a sound that regains its place is heard
// where it would have been.
#pragma once

#include <cstdint>

class VQSoundBuffer;

constexpr uint32_t VQVOICE_DEFAULT_AUDIBLE = 16;  // N as the sound device creates it

class VQVoiceLimiter {
 public:
  explicit VQVoiceLimiter(uint32_t audible);
  virtual ~VQVoiceLimiter();
  VQVoiceLimiter(const VQVoiceLimiter&) = delete;
  VQVoiceLimiter& operator=(const VQVoiceLimiter&) = delete;

  // Inserts the buffer before the first voice of lower or equal priority (the newest first
  // among equals), plays it and re-evaluates the audible set. False when already held (or
  // with error 16 when memory runs out).
  bool Add(VQSoundBuffer* buffer, bool loop, float priority);
  // Stops a playing buffer with rewind (held or not) and drops its voice; false when not held.
  bool Remove(VQSoundBuffer* buffer);
  void RemoveAll();
  bool Contains(VQSoundBuffer* buffer) const;
  void SetMaxVoices(uint32_t audible);
  // Moves the voice to its new place; the audible set changes only at the next Add, Remove or
  // SetMaxVoices.
  void SetPriority(VQSoundBuffer* buffer, float priority);
  // On: every voice silent and stopped (positions kept); off: all played again.
  void Pause(bool on);
  // Pauses every voice from position N on and resumes every paused one before it.
  void Update();

  // The held buffer's priority; false when it is not held.
  bool GetPriority(VQSoundBuffer* buffer, float& priority) const;
  uint32_t GetAudible() const { return m_audible; }
  uint32_t GetCount() const;
  // The buffer at list position index (0 = highest priority), or null.
  VQSoundBuffer* GetVoice(uint32_t index) const;

 private:
  struct Voice {
    VQSoundBuffer* buffer;
    float priority;
    uint8_t loop;
    Voice* next;
  };
  void Insert(Voice* voice);
  Voice* Unlink(VQSoundBuffer* buffer);
  static void EndHook(VQSoundBuffer* buffer, uintptr_t context);

  Voice* m_head = nullptr;
  uint32_t m_audible;
  uint32_t m_flags = 0;  // VQVOICE_RUNNING
  static constexpr uint32_t VQVOICE_RUNNING = 1u << 0;
};
