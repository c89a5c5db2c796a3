// Fuzzes the PNG reader: libpng's error handling, every layout it expands to 8-bit samples,
// interlaced files, and the box filter of pictures over a size limit.
#include "fuzz/image_reader_harness.h"
#include "util/image_png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_image_reader<GFX_ImageSerializerPNG>(data, size);
    return fuzz_image_reader<GFX_ImageSerializerPNG>(
        data, size, [](GFX_ImageSerializerPNG& reader) { reader.set_max_side(5); });
}
