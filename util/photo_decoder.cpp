// decode_photo: signature sniffing, then the JPEG, PNG, WebP or GIF reader with the size limit, or
// a data reader chosen by a trusted file name.
#include "util/photo_decoder.h"

#include <cstring>
#include <memory>

#include "util/image.h"
#include "util/image_gif.h"
#include "util/image_jpeg.h"
#include "util/image_png.h"
#include "util/image_sgi.h"
#include "util/image_tga.h"
#include "util/image_webp.h"

GFX_PhotoFormat photo_format_of(const unsigned char* data, size_t size) {
    static const unsigned char kJpeg[3] = {0xFF, 0xD8, 0xFF};
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (data == nullptr) return GFX_PhotoFormat::UNKNOWN;
    if (size >= sizeof kJpeg && std::memcmp(data, kJpeg, sizeof kJpeg) == 0) {
        return GFX_PhotoFormat::JPEG;
    }
    if (size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0) {
        return GFX_PhotoFormat::PNG;
    }
    // "RIFF", the size of the rest, "WEBP".
    if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0) {
        return GFX_PhotoFormat::WEBP;
    }
    if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
        return GFX_PhotoFormat::GIF;
    }
    return GFX_PhotoFormat::UNKNOWN;
}

GFX_Image* decode_photo(const unsigned char* data, size_t size,
                        const GFX_PhotoDecodeOptions& options) {
    std::unique_ptr<GFX_ImageSerializer> reader;
    switch (photo_format_of(data, size)) {
        case GFX_PhotoFormat::JPEG: {
            auto* jpeg = new GFX_ImageSerializerJPEG();
            jpeg->set_max_side(options.m_max_side);
            jpeg->set_cancel_flag(options.m_cancel);
            reader.reset(jpeg);
            break;
        }
        case GFX_PhotoFormat::PNG: {
            auto* png = new GFX_ImageSerializerPNG();
            png->set_max_side(options.m_max_side);
            png->set_cancel_flag(options.m_cancel);
            reader.reset(png);
            break;
        }
        case GFX_PhotoFormat::WEBP: {
            auto* webp = new GFX_ImageSerializerWebP();
            webp->set_max_side(options.m_max_side);
            webp->set_cancel_flag(options.m_cancel);
            reader.reset(webp);
            break;
        }
        case GFX_PhotoFormat::GIF: {
            auto* gif = new GFX_ImageSerializerGif();
            gif->set_max_side(options.m_max_side);
            gif->set_cancel_flag(options.m_cancel);
            reader.reset(gif);
            break;
        }
        case GFX_PhotoFormat::UNKNOWN:
            if (options.m_fallback_name.empty()) return nullptr;
            switch (GFX_Image::get_file_type_by_name(options.m_fallback_name)) {
                case GFX_Image::FILE_TGA:
                    reader.reset(new GFX_ImageSerializerTGA());
                    break;
                case GFX_Image::FILE_SGI:
                    reader.reset(new GFX_ImageSerializerRGB());
                    break;
                default:
                    return nullptr;
            }
            break;
    }
    unsigned char* pixels = nullptr;
    unsigned char bits = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    reader->read_memory(data, size, &pixels, bits, width, height);
    if (pixels == nullptr) return nullptr;
    GFX_Image* image = new GFX_Image();
    image->set_pixels(pixels, bits, width, height);
    return image;
}
