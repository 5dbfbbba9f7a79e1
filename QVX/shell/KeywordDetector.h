// Secret words typed blind during a race and confirmed with Enter. The detector keeps the last
// 20 characters typed (letters in lower case, digits, a blank for every other key) and, on
// Enter, compares the end of that text with each registered word in the order they were
// added; the first match calls the callback with the word's identifier and is consumed.
//
// The key listener pushed on the keyboard device reaches the detector through a global pointer
// that the constructor sets and the destructor clears: one detector is current at a time.
#pragma once

#include <cstddef>
#include <cstdint>

class VQDevice;

constexpr uint32_t KEYWORD_MAX_WORDS = 50;
constexpr size_t KEYWORD_TYPED_LENGTH = 20;

using KeywordCallback = void (*)(uint32_t identifier, uintptr_t user);

class KeywordDetector {
 public:
  KeywordDetector();
  ~KeywordDetector();
  KeywordDetector(const KeywordDetector&) = delete;
  KeywordDetector& operator=(const KeywordDetector&) = delete;

  // Stores the callback (may be null) and its user word; no words, no device, blank text.
  bool Init(KeywordCallback callback, uintptr_t user);
  // False when 50 words are held, the text is null, empty or longer than 20 characters.
  bool AddWord(const char* text, uint32_t identifier);
  // Frees every word.
  void ClearWords();
  // Pushes the key listener on the device's handler stack (at most 16 handlers) and remembers
  // the device; the push's result. A detector already attached detaches first.
  bool Attach(VQDevice* device);
  // Removes the listener from the remembered device, if any.
  void Detach();
  // One pressed key (keyboard device key number): true when Enter completed a word.
  bool OnKey(uint32_t key);

  uint32_t WordCount() const { return m_count; }
  const char* TypedText() const { return m_typed; }
  VQDevice* AttachedDevice() const { return m_device; }

 private:
  struct Word {
    uint32_t identifier;
    char* text;
    size_t length;
  };
  uint32_t m_count = 0;
  Word m_words[KEYWORD_MAX_WORDS] = {};
  VQDevice* m_device = nullptr;
  char m_typed[KEYWORD_TYPED_LENGTH + 1] = {};
  KeywordCallback m_callback = nullptr;
  uintptr_t m_user = 0;
};

// The current detector (the one made last and not yet deleted), or null.
extern KeywordDetector* g_keywordDetector;

// The key listener: a pressed key event goes to the current detector; false for everything else.
bool KeywordDetector_KeyListener(uint32_t event, void* record, uintptr_t context);
