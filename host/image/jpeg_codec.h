// JPEG encoding and decoding for the engine's image files, over libjpeg-turbo's libjpeg 6
// interface. This is the only file that includes jpeglib.h. Errors inside the library never end
// the program: a private error manager jumps back and the call fails with a message.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

// Decodes the JPEG held in data[0..size) into a new buffer (released with std::free) of
// width * height * 3 bytes: red, green, blue per pixel, top row first; grey images come out
// with the grey value repeated three times. Images of more than max_pixels pixels, images
// whose decoder output is neither grey nor colour, and data that ends early fail. On failure
// the result is false and message holds the reason (message may be null).
bool jpeg_decode(const uint8_t* data, size_t size, uint64_t max_pixels, uint8_t** pixels,
                 uint32_t* width, uint32_t* height, char* message, size_t message_size);

// Reads only the header: the output size and the number of colour components.
bool jpeg_probe(const uint8_t* data, size_t size, uint32_t* width, uint32_t* height,
                uint32_t* components, char* message, size_t message_size);

// Encodes width x height pixels of red, green, blue bytes (rows top first, tightly packed) at
// the given quality (1..100, baseline) into a new buffer released with std::free.
bool jpeg_encode(const uint8_t* rgb, uint32_t width, uint32_t height, int quality,
                 uint8_t** out, size_t* out_size, char* message, size_t message_size);

}  // namespace host
