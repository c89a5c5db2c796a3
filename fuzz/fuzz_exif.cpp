// Fuzzes the EXIF orientation reader (libexif on an APP1 payload) and turns a small picture by
// whatever orientation it finds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "util/image_orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int orientation = read_exif_orientation(data, size);
    if (orientation < 1 || orientation > 8) std::abort();
    unsigned width = 3, height = 2;
    unsigned char* pixels = new unsigned char[width * height * 2]();
    orient_pixels(pixels, width, height, 2, orientation);
    if (width * height != 6) std::abort();
    delete[] pixels;
    return 0;
}
