// Fuzzes the SGI image reader, verbatim and run-length.
#include "fuzz/image_reader_harness.h"
#include "util/image_sgi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz_image_reader<GFX_ImageSerializerRGB>(data, size);
}
