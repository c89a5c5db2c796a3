// Fuzzes the JPEG reader and its libjpeg error handling.
#include "fuzz/image_reader_harness.h"
#include "util/image_jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz_image_reader<GFX_ImageSerializerJPEG>(data, size);
}
