// The MP3 decoding library (see mpglib.h) over libmpg123: the whole input is fed to a feed-mode
// decoder and each decode call takes out one frame, as 16-bit PCM. The info frame some encoders
// write first is treated as ordinary data, so "the first frame" is the first frame of the file.
#include "host/mpglib/mpglib.h"

#include <mpg123.h>

#include <cstring>
#include <mutex>

#define MPGLIB_EXPORT extern "C" __attribute__((visibility("default")))

MPGLIB_EXPORT int mpglib_Init(mpglib_state* state) __asm__("_InitMP3");
MPGLIB_EXPORT void mpglib_Exit(mpglib_state* state) __asm__("_ExitMP3");
MPGLIB_EXPORT int mpglib_Decode(mpglib_state* state, const char* in, int in_size, char* out, int out_size,
                                int* produced) __asm__("_decodeMP3");

namespace {

std::once_flag g_initOnce;

void ReadHeader(mpglib_state* state, unsigned long header) {
  const int version = static_cast<int>((header >> 19) & 3);  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  const int lsfOffset = version == 3 ? 0 : (version == 2 ? 3 : 6);
  state->m_samplingFrequency = static_cast<int32_t>(((header >> 10) & 3) + lsfOffset);
  state->m_bitrateIndex = static_cast<int32_t>((header >> 12) & 15);
  state->m_layer = static_cast<int32_t>(4 - ((header >> 17) & 3));
  state->m_channels = ((header >> 6) & 3) == 3 ? 1 : 2;
}

}  // namespace

int mpglib_Init(mpglib_state* state) {
  if (!state) return 0;
  std::call_once(g_initOnce, [] { mpg123_init(); });
  if (state->m_decoder) mpglib_Exit(state);
  std::memset(state, 0, sizeof *state);
  int error = 0;
  mpg123_handle* mh = mpg123_new(nullptr, &error);
  if (!mh) return 0;
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
#ifdef MPG123_IGNORE_INFOFRAME
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_IGNORE_INFOFRAME, 0);
#endif
  mpg123_format_none(mh);
  const long* rates = nullptr;
  size_t count = 0;
  mpg123_rates(&rates, &count);
  for (size_t i = 0; i < count; ++i) mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  if (mpg123_open_feed(mh) != MPG123_OK) {
    mpg123_delete(mh);
    return 0;
  }
  state->m_decoder = mh;
  return 1;
}

void mpglib_Exit(mpglib_state* state) {
  if (!state || !state->m_decoder) return;
  mpg123_handle* mh = static_cast<mpg123_handle*>(state->m_decoder);
  mpg123_close(mh);
  mpg123_delete(mh);
  state->m_decoder = nullptr;
}

int mpglib_Decode(mpglib_state* state, const char* in, int in_size, char* out, int out_size, int* produced) {
  if (produced) *produced = 0;
  if (!state || !state->m_decoder || !out || out_size < 0 || in_size < 0) return MPGLIB_ERROR;
  mpg123_handle* mh = static_cast<mpg123_handle*>(state->m_decoder);
  if (in && in_size > 0 &&
      mpg123_feed(mh, reinterpret_cast<const unsigned char*>(in), static_cast<size_t>(in_size)) != MPG123_OK)
    return MPGLIB_ERROR;
  // Frame by frame: the next frame's header is read before it is decoded.
  for (;;) {
    const int next = mpg123_framebyframe_next(mh);
    if (next == MPG123_NEED_MORE) return MPGLIB_NEED_MORE;
    if (next != MPG123_OK && next != MPG123_NEW_FORMAT) return MPGLIB_ERROR;
    unsigned long header = 0;
    if (mpg123_framedata(mh, &header, nullptr, nullptr) == MPG123_OK) ReadHeader(state, header);
    off_t frame = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int r = mpg123_framebyframe_decode(mh, &frame, &audio, &bytes);
    if (r == MPG123_NEW_FORMAT || (r == MPG123_OK && bytes == 0)) continue;
    if (r != MPG123_OK) return MPGLIB_ERROR;
    if (bytes > static_cast<size_t>(out_size)) return MPGLIB_ERROR;
    if (audio) std::memcpy(out, audio, bytes);
    state->m_frameBytes = static_cast<int32_t>(bytes);
    if (produced) *produced = static_cast<int>(bytes);
    return MPGLIB_OK;
  }
}
