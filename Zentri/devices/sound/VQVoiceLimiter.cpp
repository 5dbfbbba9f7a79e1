#include "Zentri/devices/sound/VQVoiceLimiter.h"

#include <new>

#include "Zentri/devices/sound/VQSoundBuffer.h"
#include "Zentri/util/VQerror.h"

VQVoiceLimiter::VQVoiceLimiter(uint32_t audible) : m_audible(audible) { m_flags |= VQVOICE_RUNNING; }

VQVoiceLimiter::~VQVoiceLimiter() {
  while (m_head) {
    Voice* v = m_head;
    m_head = v->next;
    if (v->buffer->m_limiterEndCallback == EndHook) v->buffer->m_limiterEndCallback = nullptr;
    delete v;
  }
}

void VQVoiceLimiter::Insert(Voice* voice) {
  Voice** link = &m_head;
  while (*link && (*link)->priority > voice->priority) link = &(*link)->next;
  voice->next = *link;
  *link = voice;
}

VQVoiceLimiter::Voice* VQVoiceLimiter::Unlink(VQSoundBuffer* buffer) {
  for (Voice** link = &m_head; *link; link = &(*link)->next) {
    if ((*link)->buffer == buffer) {
      Voice* v = *link;
      *link = v->next;
      v->next = nullptr;
      return v;
    }
  }
  return nullptr;
}

bool VQVoiceLimiter::Contains(VQSoundBuffer* buffer) const {
  for (Voice* v = m_head; v; v = v->next)
    if (v->buffer == buffer) return true;
  return false;
}

bool VQVoiceLimiter::GetPriority(VQSoundBuffer* buffer, float& priority) const {
  for (Voice* v = m_head; v; v = v->next) {
    if (v->buffer == buffer) {
      priority = v->priority;
      return true;
    }
  }
  return false;
}

uint32_t VQVoiceLimiter::GetCount() const {
  uint32_t n = 0;
  for (Voice* v = m_head; v; v = v->next) ++n;
  return n;
}

VQSoundBuffer* VQVoiceLimiter::GetVoice(uint32_t index) const {
  for (Voice* v = m_head; v; v = v->next, --index)
    if (index == 0) return v->buffer;
  return nullptr;
}

bool VQVoiceLimiter::Add(VQSoundBuffer* buffer, bool loop, float priority) {
  if (!buffer) return VQerror_Fail(VQERR_INVALID_ARGUMENT);
  if (Contains(buffer)) return false;
  Voice* v = new (std::nothrow) Voice{buffer, priority, static_cast<uint8_t>(loop ? 1 : 0), nullptr};
  if (!v) return VQerror_Fail(VQERR_OUT_OF_MEMORY);
  Insert(v);
  buffer->m_limiterEndCallback = EndHook;
  buffer->m_limiterEndContext = reinterpret_cast<uintptr_t>(this);
  buffer->Pause(true);
  buffer->Play(loop ? uint32_t(VQSOUND_PLAY_LOOP) : 0u);
  Update();
  return true;
}

void VQVoiceLimiter::Update() {
  uint32_t i = 0;
  for (Voice* v = m_head; v; v = v->next, ++i)
    if (i >= m_audible && !(v->buffer->m_flags & VQSOUND_PAUSED)) v->buffer->Pause(true);
  i = 0;
  for (Voice* v = m_head; v && i < m_audible; v = v->next, ++i)
    if (v->buffer->m_flags & VQSOUND_PAUSED) v->buffer->Pause(false);
}

void VQVoiceLimiter::EndHook(VQSoundBuffer* buffer, uintptr_t context) {
  auto* self = reinterpret_cast<VQVoiceLimiter*>(context);
  buffer->m_limiterEndCallback = nullptr;
  delete self->Unlink(buffer);
  self->Update();
}

bool VQVoiceLimiter::Remove(VQSoundBuffer* buffer) {
  if (!buffer) return false;
  if (buffer->m_flags & VQSOUND_PLAYING) buffer->Stop(true);
  Voice* v = Unlink(buffer);
  if (!v) return false;
  if (buffer->m_limiterEndCallback == EndHook) buffer->m_limiterEndCallback = nullptr;
  delete v;
  Update();
  return true;
}

void VQVoiceLimiter::RemoveAll() {
  while (m_head) Remove(m_head->buffer);
  m_flags |= VQVOICE_RUNNING;
}

void VQVoiceLimiter::SetMaxVoices(uint32_t audible) {
  m_audible = audible;
  Update();
}

void VQVoiceLimiter::SetPriority(VQSoundBuffer* buffer, float priority) {
  Voice* v = nullptr;
  for (Voice* w = m_head; w; w = w->next)
    if (w->buffer == buffer) v = w;
  if (!v || v->priority == priority) return;
  Unlink(buffer);
  v->priority = priority;
  Insert(v);
}

void VQVoiceLimiter::Pause(bool on) {
  if (on) {
    if (!(m_flags & VQVOICE_RUNNING)) return;
    for (Voice* v = m_head; v; v = v->next) {
      v->buffer->Pause(true);
      v->buffer->Stop(false);
    }
    m_flags &= ~VQVOICE_RUNNING;
    return;
  }
  if (m_flags & VQVOICE_RUNNING) return;
  for (Voice* v = m_head; v; v = v->next) {
    v->buffer->Pause(true);
    v->buffer->Play(v->loop ? uint32_t(VQSOUND_PLAY_LOOP) : 0u);
  }
  m_flags |= VQVOICE_RUNNING;
  Update();
}
