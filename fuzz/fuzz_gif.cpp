// Fuzzes the GIF reader: giflib's records up to the first frame, the graphics control block, the
// frame laid on its canvas (offsets, sizes, colour maps), interlaced passes, and reduced decoding
// over a size limit.
#include "fuzz/image_reader_harness.h"
#include "util/image_gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_image_reader<GFX_ImageSerializerGif>(data, size);
    return fuzz_image_reader<GFX_ImageSerializerGif>(
        data, size, [](GFX_ImageSerializerGif& reader) { reader.set_max_side(3); });
}
