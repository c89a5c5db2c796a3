// GFX_ImageSerializerPNG: the libpng decoder behind GFX_Image for PNG photos (the format most
// avatar services serve). Runs on the photo worker thread; it keeps no state between images.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "util/image.h"
#include "util/image_reducer.h"

class GFX_ImageSerializerPNG : public GFX_ImageSerializer {
public:
    // Decodes any PNG, bottom row first: grey into 8-bit luminance, grey with alpha into 16-bit
    // luminance-alpha, colour and palette pictures into 24-bit RGB, and into 32-bit RGBA when
    // they carry alpha or a transparent colour. 16-bit samples are scaled to 8. Files that are
    // not PNGs, are corrupt or cut short, and pictures over GFX_Image::MAX_SIDE give no pixels;
    // libpng's errors come back here and its warnings are dropped.
    void read(const std::string& path, unsigned char** pixels, unsigned char& bits,
              unsigned int& width, unsigned int& height) override;
    // The system writes no images: does nothing.
    void write(const std::string& path, unsigned char* pixels, unsigned char bits,
               unsigned int width, unsigned int height) override;

    // As the JPEG reader's: larger pictures are box-filtered down to this side while their rows
    // arrive (0: no limit), and *cancel stops a decode (borrowed; null: never).
    void set_max_side(uint32_t side) { m_max_side = side; }
    void set_cancel_flag(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    // An interlaced PNG arrives in seven passes over the whole picture, so it is held at full
    // size while it decodes; larger ones give no pixels.
    static constexpr size_t MAX_INTERLACED_BYTES = 256u << 20;

protected:
    void decode(UTL_File& file) override;

private:
    uint32_t m_max_side = 0;
    const std::atomic<bool>* m_cancel = nullptr;
    // Working memory; members so that it survives libpng's longjmp.
    std::vector<unsigned char> m_rows;
    std::vector<unsigned char*> m_row_pointers;
    GFX_ImageReducer m_reducer;
};
