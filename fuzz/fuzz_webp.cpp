// Fuzzes the WebP reader: libwebp's lossy and lossless decoders, the first frame of an
// animation through the demuxer, the RIFF size check, and scaled decoding over a size limit.
#include "fuzz/image_reader_harness.h"
#include "util/image_webp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_image_reader<GFX_ImageSerializerWebP>(data, size);
    return fuzz_image_reader<GFX_ImageSerializerWebP>(
        data, size, [](GFX_ImageSerializerWebP& reader) { reader.set_max_side(3); });
}
