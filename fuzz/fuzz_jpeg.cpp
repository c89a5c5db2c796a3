// Fuzzes the JPEG reader and its libjpeg error handling: every colour space (grey, RGB, CMYK,
// Adobe's inverted CMYK, YCCK), the EXIF orientation, and the reduced decoding of pictures over
// a size limit (DCT scaling and the box filter).
#include "fuzz/image_reader_harness.h"
#include "util/image_jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_image_reader<GFX_ImageSerializerJPEG>(data, size);
    // A limit that is rarely a multiple of a scaled size, so both reductions run.
    return fuzz_image_reader<GFX_ImageSerializerJPEG>(
        data, size, [](GFX_ImageSerializerJPEG& reader) { reader.set_max_side(5); });
}
