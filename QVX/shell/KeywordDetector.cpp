#include "QVX/shell/KeywordDetector.h"

#include <cstring>
#include <new>

#include "Zentri/devices/input/VQKeyboardDevice.h"
#include "Zentri/devices/VQDevice.h"

KeywordDetector* g_keywordDetector = nullptr;

KeywordDetector::KeywordDetector() {
  std::memset(m_typed, ' ', KEYWORD_TYPED_LENGTH);
  g_keywordDetector = this;
}

KeywordDetector::~KeywordDetector() {
  Detach();
  ClearWords();
  if (g_keywordDetector == this) g_keywordDetector = nullptr;
}

bool KeywordDetector::Init(KeywordCallback callback, uintptr_t user) {
  Detach();
  ClearWords();
  m_callback = callback;
  m_user = user;
  std::memset(m_typed, ' ', KEYWORD_TYPED_LENGTH);
  return true;
}

bool KeywordDetector::AddWord(const char* text, uint32_t identifier) {
  if (m_count >= KEYWORD_MAX_WORDS || !text) return false;
  const size_t length = std::strlen(text);
  if (length == 0 || length > KEYWORD_TYPED_LENGTH) return false;
  char* copy = new (std::nothrow) char[length + 1];
  if (!copy) return false;
  std::memcpy(copy, text, length + 1);
  m_words[m_count++] = Word{identifier, copy, length};
  return true;
}

void KeywordDetector::ClearWords() {
  for (uint32_t i = 0; i < m_count; ++i) delete[] m_words[i].text;
  m_count = 0;
}

bool KeywordDetector::Attach(VQDevice* device) {
  Detach();
  if (!device || !device->PushHandler(KeywordDetector_KeyListener, 0)) return false;
  m_device = device;
  return true;
}

void KeywordDetector::Detach() {
  if (!m_device) return;
  m_device->RemoveHandler(KeywordDetector_KeyListener);
  m_device = nullptr;
}

bool KeywordDetector::OnKey(uint32_t key) {
  if (key == VQKEY_RETURN || key == VQKEY_KP_ENTER) {
    for (uint32_t i = 0; i < m_count; ++i) {
      const Word& w = m_words[i];
      if (std::memcmp(m_typed + KEYWORD_TYPED_LENGTH - w.length, w.text, w.length) != 0) continue;
      if (m_callback) m_callback(w.identifier, m_user);
      std::memset(m_typed, ' ', KEYWORD_TYPED_LENGTH);
      return true;
    }
    return false;
  }
  char c = ' ';
  if (key >= VQKEY_A && key <= VQKEY_Z)
    c = char('a' + (key - VQKEY_A));
  else if (key >= VQKEY_0 && key <= VQKEY_9)
    c = char('0' + (key - VQKEY_0));
  std::memmove(m_typed, m_typed + 1, KEYWORD_TYPED_LENGTH - 1);
  m_typed[KEYWORD_TYPED_LENGTH - 1] = c;
  return false;
}

bool KeywordDetector_KeyListener(uint32_t event, void* record, uintptr_t) {
  if (event != VQEVENT_KEY || !record || !g_keywordDetector) return false;
  const auto* key = static_cast<const VQKeyEvent*>(record);
  if (!key->pressed) return false;
  return g_keywordDetector->OnKey(key->code);
}
