// GFX_ImageSerializerGif: the giflib decoder behind GFX_Image for GIF photos (what many Mastodon
// servers keep as avatars). Runs on the photo worker thread; no state between images.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "util/image.h"

class GFX_ImageSerializerGif : public GFX_ImageSerializer {
public:
    // Decodes the first frame of a GIF (of an animation, the picture it opens with), bottom row
    // first, laid on the GIF's whole canvas: 24-bit RGB when the frame covers the canvas without
    // a transparent colour, else 32-bit RGBA with whatever it leaves uncovered transparent.
    // Files that are not GIF, are corrupt or cut short, hold more than MAX_FILE_BYTES, or are
    // over GFX_Image::MAX_SIDE give no pixels.
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

    // GIF is decoded from memory, so the whole file is held; larger files are refused.
    static constexpr size_t MAX_FILE_BYTES = 64u << 20;
    // An interlaced frame arrives in four passes, so its colour indexes are held whole (one
    // byte a pixel) before its rows go out in order; larger interlaced frames are refused.
    static constexpr size_t MAX_INTERLACED_PIXELS = 64u << 20;
    // A canvas with more pixels than this that its first frame leaves uncovered is dropped and
    // the frame shown alone: a tiny file cannot make the decoder fill a huge empty picture.
    static constexpr size_t MAX_BLANK_PIXELS = 4u << 20;

protected:
    void decode(UTL_File& file) override;

private:
    uint32_t m_max_side = 0;
    const std::atomic<bool>* m_cancel = nullptr;
};
