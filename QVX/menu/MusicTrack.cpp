#include "QVX/menu/MusicTrack.h"

#include <strings.h>
#include <cstring>
#include <new>

#include "Zentri/devices/sound/VQDSoundDevice.h"
#include "Zentri/devices/sound/VQSoundBuffer.h"
#include "Zentri/devices/sound/VQSoundDevice.h"
#include "Zentri/devices/sound/VQSoundStream.h"

namespace {

constexpr float kStreamGain = 0.8f;

// A sample counts as sounding while the sound device keeps it on its playing list.
bool SampleSounding(const VQSoundBuffer* sample) {
  for (VQDSoundBuffer* b = VQdsound_PlayingList(); b; b = b->m_nextPlaying)
    if (b == sample) return true;
  return false;
}

}  // namespace

bool MusicTrack_IsStreamed(const char* path) {
  if (!path) return false;
  const char* dot = std::strrchr(path, '.');
  return dot && (strcasecmp(dot + 1, "mp3") == 0 || strcasecmp(dot + 1, "vq3") == 0);
}

void MusicTrack::Play(const char* path, bool repeat) {
  m_repeat = repeat ? 1 : 0;
  if (!m_device || !path || !*path) return;
  if (MusicTrack_IsStreamed(path)) {
    auto* stream = new (std::nothrow) VQMP3Stream();
    if (!stream) return;
    if (!stream->Start(path, m_device)) {
      delete stream;
      return;
    }
    m_stream = stream;
    m_stream->SetVolume(kStreamGain * m_volume);
    m_stream->Play(repeat);
    m_playTimeLeft = m_stream->m_duration;
    m_playing = 1;
    if (m_listener.setVolume) m_listener.setVolume(m_listener.context);
    return;
  }
  VQSoundBuffer* sample = m_device->CreateBufferFromFile(path);
  if (!sample) return;
  m_sample = sample;
  m_sample->SetVolume(m_volume);
  m_sample->Play(0);
  m_playing = 1;
  if (m_listener.playSample) m_listener.playSample(m_sample, m_listener.context);
  if (m_listener.setVolume) m_listener.setVolume(m_listener.context);
}

void MusicTrack::Stop(bool deleteSample) {
  if (m_listener.playSample) m_listener.playSample(nullptr, m_listener.context);
  if (m_listener.setVolume) m_listener.setVolume(m_listener.context);
  if (m_stream) {
    m_stream->Stop();
    m_stream->Close();
    delete m_stream;
    m_stream = nullptr;
  } else if (m_sample) {
    m_sample->SetVolume(0.0f);
    m_sample->Stop(true);
    if (deleteSample && m_device) m_device->DeleteBuffer(m_sample);
    m_sample = nullptr;
  }
  m_playing = 0;
}

void MusicTrack::SetVolume(float volume) {
  if (volume == m_volume) return;
  if (m_stream) {
    m_stream->SetVolume(kStreamGain * volume);
    ++m_volumeChanges;
  } else if (m_sample) {
    m_sample->SetVolume(volume);
    ++m_volumeChanges;
  }
  m_volume = volume;
}

void MusicTrack::Pause(bool on) {
  if (m_stream) {
    m_stream->Pause(on);
  } else if (m_sample) {
    if (on) {
      m_sample->Stop(false);
    } else {
      m_sample->Play(0);
    }
  }
}

bool MusicTrack::IsPlaying() const {
  if (m_sample) return SampleSounding(m_sample);
  if (m_stream) return m_stream->m_playing != 0;
  return false;
}

void MusicTrack::Update(float elapsed) {
  if (!m_sample && !m_stream) return;
  if (m_playing) {
    if (m_stream) {
      m_playTimeLeft -= elapsed;
      if (m_playTimeLeft <= 0.0f) {
        m_stream->Pause(true);
        m_playing = 0;
        m_silenceLeft = m_silence;
      }
    } else if (!SampleSounding(m_sample)) {
      m_playing = 0;
      m_silenceLeft = m_silence;
    }
    return;
  }
  if (!m_repeat) return;
  m_silenceLeft -= elapsed;
  if (m_silenceLeft > 0.0f) return;
  if (m_stream) {
    m_playTimeLeft = m_stream->m_duration;
    m_stream->Pause(false);
  } else {
    m_sample->Play(0);
  }
  m_playing = 1;
}
