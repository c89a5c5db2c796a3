// GFX_ImageSerializerWebP: the libwebp decoder behind GFX_Image for WebP photos (what Bluesky's
// and many other services' avatars are). Runs on the photo worker thread; no state between
// images.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/image.h"

class GFX_ImageSerializerWebP : public GFX_ImageSerializer {
public:
    // Decodes a lossy or lossless WebP, bottom row first: into 24-bit RGB, or 32-bit RGBA when
    // it carries alpha. Of an animation, the first frame. Files that are not WebP, are corrupt
    // or cut short, hold more than MAX_FILE_BYTES, or are over GFX_Image::MAX_SIDE give no
    // pixels.
    void read(const std::string& path, unsigned char** pixels, unsigned char& bits,
              unsigned int& width, unsigned int& height) override;
    // The system writes no images: does nothing.
    void write(const std::string& path, unsigned char* pixels, unsigned char bits,
               unsigned int width, unsigned int height) override;

    // As the other photo readers: larger pictures are reduced so that no side is over this
    // (0: no limit), by the same whole factor the others use, and *cancel stops a decode
    // (borrowed; null: never).
    void set_max_side(uint32_t side) { m_max_side = side; }
    void set_cancel_flag(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    // WebP is decoded from memory, so the whole file is held; larger files are refused.
    static constexpr size_t MAX_FILE_BYTES = 64u << 20;

protected:
    void decode(UTL_File& file) override;

private:
    // Decodes one still WebP bitstream into m_pixels.
    void decode_still(const uint8_t* data, size_t size);

    uint32_t m_max_side = 0;
    const std::atomic<bool>* m_cancel = nullptr;
};
