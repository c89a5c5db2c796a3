// GFX_ImageSerializerJPEG: the libjpeg decoder behind GFX_Image that every downloaded photo goes
// through. Runs on the photo worker thread; it keeps no state between images.
#pragma once

#include "util/image.h"

class GFX_ImageSerializerJPEG : public GFX_ImageSerializer {
public:
    // Decodes a colour JPEG into 24-bit RGB, the bottom row of the picture first. Files that are
    // not JPEGs or are corrupt, files cut short before the last row, grey or CMYK pictures,
    // arithmetic-coded files and pictures over GFX_Image::MAX_SIDE give no pixels; libjpeg's
    // errors come back here instead of ending the process. A file missing only its end marker,
    // or a progressive file cut between two whole scans, still gives its picture.
    void read(const std::string& path, unsigned char** pixels, unsigned char& bits,
              unsigned int& width, unsigned int& height) override;
    // The system writes no images: does nothing.
    void write(const std::string& path, unsigned char* pixels, unsigned char bits,
               unsigned int width, unsigned int height) override;

protected:
    void decode(UTL_File& file) override;
};
