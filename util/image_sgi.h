// GFX_ImageSerializerRGB: the reader of SGI image files (".rgb", ".raw"), verbatim and
// run-length encoded, one byte per channel.
#pragma once

#include <cstddef>

#include "util/image.h"

class GFX_ImageSerializerRGB : public GFX_ImageSerializer {
public:
    // Verbatim images of dimension 1 and 2 give 8-bit grey, dimension 3 with 3 or 4 channels
    // 24- or 32-bit colour; run-length images only the colour forms. Row 0 is the bottom row.
    void read(const std::string& path, unsigned char** pixels, unsigned char& bits,
              unsigned int& width, unsigned int& height) override;
    // The system writes no images: does nothing.
    void write(const std::string& path, unsigned char* pixels, unsigned char bits,
               unsigned int width, unsigned int height) override;

protected:
    void decode(UTL_File& file) override;

private:
    // Expands one run-length scan line of in_size bytes into at most count values, written
    // step bytes apart from out. Stops at the end marker, at the end of the input or when the
    // row is full, whatever the counts say. Returns the number of values written.
    static size_t expand_scan_line(const unsigned char* in, size_t in_size, unsigned char* out,
                                   size_t count, size_t step);
    void decode_verbatim(UTL_File& file, long file_size, unsigned dimension, unsigned channels);
    void decode_run_length(UTL_File& file, long file_size, unsigned channels);
};
