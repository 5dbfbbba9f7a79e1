// The data scrambler: combines a buffer in place with a repeating key by exclusive or, so the
// same call scrambles and unscrambles. Without a key it uses the built-in 16-byte key, with
// which every binary data file of the game is stored. Neither function allocates or fails.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t VQSCRAMBLE_KEY_SIZE = 16;

// The built-in key, first byte first: 9d04e7713bc25a8f61d0f3a29e7c4b15.
extern const uint8_t g_VQscrambleKey[VQSCRAMBLE_KEY_SIZE];
// The same 16 bytes read as four little-endian 32-bit words.
extern const uint32_t g_VQscrambleKeyWords[VQSCRAMBLE_KEY_SIZE / 4];

// byte i ^= key[i mod keyLength]. A null key or a key length of 0 selects the built-in key.
void VQscramble(void* buffer, size_t length, const void* key, size_t keyLength);
// byte i ^= built-in key byte (i mod 16), working on whole words; the buffer need not be aligned.
void VQscramble_Builtin(void* buffer, size_t length);
