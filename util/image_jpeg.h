// GFX_ImageSerializerJPEG: the libjpeg decoder behind GFX_Image that every JPEG photo goes
// through. Runs on the photo worker thread; it keeps no state between images.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "util/image.h"
#include "util/image_reducer.h"

class GFX_ImageSerializerJPEG : public GFX_ImageSerializer {
public:
    // Decodes a JPEG of any colour space: colour pictures (YCbCr, RGB) into 24-bit RGB, grey
    // ones into 8-bit luminance, CMYK and YCCK into 24-bit RGB (Adobe's files store CMYK
    // inverted, which their APP14 marker tells). The EXIF orientation is applied, and the rows
    // are stored bottom row first. Files that are not JPEGs or are corrupt, files cut short
    // before the last row, arithmetic-coded files and pictures over GFX_Image::MAX_SIDE give no
    // pixels; libjpeg's errors come back here instead of ending the process. A file missing
    // only its end marker, or a progressive file cut between two whole scans, still gives its
    // picture.
    void read(const std::string& path, unsigned char** pixels, unsigned char& bits,
              unsigned int& width, unsigned int& height) override;
    // The system writes no images: does nothing.
    void write(const std::string& path, unsigned char* pixels, unsigned char bits,
               unsigned int width, unsigned int height) override;

    // Pictures larger than this on a side (0: no limit) are decoded at a reduced size: libjpeg
    // scales the DCT down by up to 8 and a box filter does the rest, so a 50-megapixel photo
    // never exists at full size in memory.
    void set_max_side(uint32_t side) { m_max_side = side; }
    // While *cancel is true a decode stops at its next row and gives no pixels (borrowed; null:
    // never). Lets a worker that is asked to end leave a long decode.
    void set_cancel_flag(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    // libjpeg's working memory per picture. A progressive file keeps all its DCT coefficients
    // whatever the output size: about 3 bytes a pixel for the usual 4:2:0 sampling, so this
    // holds photos up to about 85 megapixels (4:4:4: about 45).
    static constexpr long MAX_DECODER_MEMORY = 256L << 20;

protected:
    void decode(UTL_File& file) override;

private:
    uint32_t m_max_side = 0;
    const std::atomic<bool>* m_cancel = nullptr;
    // Working rows; members so that their memory survives libjpeg's longjmp.
    std::vector<unsigned char> m_scanline;
    std::vector<unsigned char> m_rgb_row;
    GFX_ImageReducer m_reducer;
};
