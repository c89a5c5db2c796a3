// Decoding a photo held in memory: the decoder is chosen by the bytes' signature (JPEG, PNG,
// WebP or GIF), never by the address or file name, and large pictures are decoded at a reduced
// size.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

class GFX_Image;

enum class GFX_PhotoFormat { UNKNOWN, JPEG, PNG, WEBP, GIF };

// The format whose signature the bytes start with.
GFX_PhotoFormat photo_format_of(const unsigned char* data, size_t size);

struct GFX_PhotoDecodeOptions {
    // The longest side a decoded photo may have; larger ones are reduced (0: full size). A
    // billboard never shows more.
    uint32_t m_max_side = 1024;
    // Stops a decode in progress while true (borrowed; null: never).
    const std::atomic<bool>* m_cancel = nullptr;
    // For bytes of neither signature: a file name whose extension names one of the data
    // readers (TGA, SGI). Empty: such bytes give nothing. Only for the user's own files.
    std::string m_fallback_name;
};

// A new image with the decoded pixels, or null when nothing decodes. Any thread.
GFX_Image* decode_photo(const unsigned char* data, size_t size,
                        const GFX_PhotoDecodeOptions& options);
