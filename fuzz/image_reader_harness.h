// The check every image-reader fuzz target makes: any bytes decode to no pixels (and a zero
// size) or to a full array of the size reported, within GFX_Image::MAX_SIDE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "util/image.h"

// Reader: a GFX_ImageSerializer with read_memory. Aborts on a broken promise, which the fuzzer
// reports as a crash.
template <class Reader>
int fuzz_image_reader(const uint8_t* data, size_t size) {
    return fuzz_image_reader<Reader>(data, size, [](Reader&) {});
}

// The same with the reader set up first (a size limit, for one).
template <class Reader, class Setup>
int fuzz_image_reader(const uint8_t* data, size_t size, Setup setup) {
    Reader reader;
    setup(reader);
    unsigned char* pixels = nullptr;
    unsigned char bits = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    reader.read_memory(data, size, &pixels, bits, width, height);
    if (pixels) {
        if (width == 0 || height == 0 || width > GFX_Image::MAX_SIDE ||
            height > GFX_Image::MAX_SIDE || bits % 8 != 0 || bits == 0 || bits > 32)
            std::abort();
        // Touch the first and last byte: AddressSanitizer catches an array shorter than
        // reported.
        const size_t n = size_t(width) * height * (bits / 8);
        volatile unsigned char sink = static_cast<unsigned char>(pixels[0] + pixels[n - 1]);
        (void)sink;
    } else if (bits != 0 || width != 0 || height != 0) {
        std::abort();
    }
    delete[] pixels;
    return 0;
}
