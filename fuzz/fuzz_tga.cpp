// Fuzzes the TGA reader.
#include "fuzz/image_reader_harness.h"
#include "util/image_tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz_image_reader<GFX_ImageSerializerTGA>(data, size);
}
