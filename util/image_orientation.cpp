// EXIF orientation through libexif, and the eight upright turns of a bottom-first picture.
#include "util/image_orientation.h"

#include <libexif/exif-data.h>

#include <cstring>
#include <new>

int read_exif_orientation(const unsigned char* data, size_t size) {
    static const unsigned char kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    // libexif takes an unsigned int size and would also search other bytes for a header; only
    // a real EXIF payload of a JPEG segment's size is handed on.
    if (data == nullptr || size < sizeof kHeader || size > 0xFFFF ||
        std::memcmp(data, kHeader, sizeof kHeader) != 0) {
        return 1;
    }
    ExifData* exif = exif_data_new();
    if (exif == nullptr) return 1;
    // Only the tag is wanted: nothing is rewritten or added while loading.
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif, data, static_cast<unsigned int>(size));
    int orientation = 1;
    // NOTE: the tag counts only in the first image directory; a thumbnail's (the second
    // directory) describes the thumbnail.
    if (ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION)) {
        if (entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data &&
            entry->size >= 2) {
            const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
            if (value >= 1 && value <= 8) orientation = value;
        }
    }
    exif_data_unref(exif);
    return orientation;
}

bool orient_pixels(unsigned char*& pixels, unsigned& width, unsigned& height, unsigned channels,
                   int orientation) {
    if (pixels == nullptr || orientation < 2 || orientation > 8 || channels == 0) return false;
    const unsigned w = width;
    const unsigned h = height;
    const bool swaps = orientation >= 5;
    const unsigned out_w = swaps ? h : w;
    const unsigned out_h = swaps ? w : h;
    unsigned char* out = new (std::nothrow) unsigned char[size_t(w) * h * channels];
    if (out == nullptr) return false;
    // Coordinates below are counted from the top left, as EXIF describes them; rows are
    // stored bottom first, so row y lives at h - 1 - y.
    for (unsigned oy = 0; oy < out_h; ++oy) {
        unsigned char* dst = out + size_t(out_h - 1 - oy) * out_w * channels;
        for (unsigned ox = 0; ox < out_w; ++ox) {
            unsigned x = ox, y = oy;  // where the shown pixel (ox, oy) is stored
            switch (orientation) {
                case 2:
                    x = w - 1 - ox;
                    break;
                case 3:
                    x = w - 1 - ox;
                    y = h - 1 - oy;
                    break;
                case 4:
                    y = h - 1 - oy;
                    break;
                case 5:
                    x = oy;
                    y = ox;
                    break;
                case 6:
                    x = oy;
                    y = h - 1 - ox;
                    break;
                case 7:
                    x = w - 1 - oy;
                    y = h - 1 - ox;
                    break;
                case 8:
                    x = w - 1 - oy;
                    y = ox;
                    break;
                default:
                    break;
            }
            std::memcpy(dst + size_t(ox) * channels,
                        pixels + (size_t(h - 1 - y) * w + x) * channels, channels);
        }
    }
    delete[] pixels;
    pixels = out;
    width = out_w;
    height = out_h;
    return true;
}
