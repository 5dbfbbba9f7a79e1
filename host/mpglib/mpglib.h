// The interface of the MP3 decoding library loaded at run time ("mpglib.dll", built here as
// build/lib/libmpglib.so over libmpg123's feed interface). The caller owns the decoder state
// by value and hands it to every call; the library keeps its own decoder behind m_decoder.
//
//   "_InitMP3"(state)                          nonzero on success; starts an empty decoder
//   "_ExitMP3"(state)                          ends it and frees what it holds
//   "_decodeMP3"(state, in, in_size, out, out_size, &produced)
//       adds in (null: nothing new) to the input and decodes at most one frame into out:
//       MPGLIB_OK with produced bytes, MPGLIB_NEED_MORE when the input is used up, any other
//       value on an error (also when out cannot hold the frame).
// After a decoded frame the state holds that frame's header fields.
#pragma once

#include <cstdint>

struct mpglib_state {
  void* m_decoder;             // owned by the library; null when not initialised
  int32_t m_channels;          // 1 or 2
  int32_t m_samplingFrequency; // index: 44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000
  int32_t m_bitrateIndex;      // 0 (free format) to 14
  int32_t m_layer;             // 1 to 3
  int32_t m_frameBytes;        // output bytes of the last decoded frame
};

constexpr int MPGLIB_OK = 0;
constexpr int MPGLIB_NEED_MORE = 1;
constexpr int MPGLIB_ERROR = -1;

using mpglib_init_fn = int (*)(mpglib_state*);
using mpglib_exit_fn = void (*)(mpglib_state*);
using mpglib_decode_fn = int (*)(mpglib_state*, const char* in, int in_size, char* out, int out_size, int* produced);
