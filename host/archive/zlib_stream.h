// Whole-file zlib compression for the bonus archives, over zlib's deflate and inflate. This is
// the only file that includes zlib.h. Both calls stream through fixed buffers, so neither the
// input nor the output is held in memory whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

// Compresses the file at source into destination as one zlib stream (best compression). The
// destination is written as given (the caller replaces files); false with a message on a read
// or write error.
bool zlib_compress_file(const char* source, const char* destination, char* message,
                        size_t message_size);

// Inflates the zlib stream that starts at offset in source into destination. Fails when the
// stream is damaged or truncated, when bytes follow its end, or when it inflates to more than
// max_size bytes; *size receives the inflated size. The destination may hold a partial output
// after a failure (the caller removes it).
bool zlib_decompress_file(const char* source, uint64_t offset, const char* destination,
                          uint64_t max_size, uint64_t* size, char* message, size_t message_size);

}  // namespace host
