// GFX_ImageSerializerTGA: the reader of uncompressed true-colour TGA files, the format of every
// texture under ./data/config/.
#pragma once

#include "util/image.h"

class GFX_ImageSerializerTGA : public GFX_ImageSerializer {
public:
    // Uncompressed 24- and 32-bit true colour (image type 2) only; anything else gives no pixels.
    // Rows stay in file order; each pixel turns from blue-green-red(-alpha) into
    // red-green-blue(-alpha).
    void read(const std::string& path, unsigned char** pixels, unsigned char& bits,
              unsigned int& width, unsigned int& height) override;
    // The system writes no images: does nothing.
    void write(const std::string& path, unsigned char* pixels, unsigned char bits,
               unsigned int width, unsigned int height) override;

protected:
    void decode(UTL_File& file) override;
};
