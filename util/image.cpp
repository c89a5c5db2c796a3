// GFX_Image: choosing a reader by file name extension and holding the decoded pixels; the
// shared plumbing of the serializers (file or memory input, handing the pixels over).
#include "util/image.h"

#include <cctype>
#include <new>

#include "util/file.h"
#include "util/image_jpeg.h"
#include "util/image_png.h"
#include "util/image_sgi.h"
#include "util/image_tga.h"
#include "util/image_webp.h"
#include "util/image_gif.h"

GFX_Image::GFX_Image(const std::string& path) { read(path); }

GFX_Image::~GFX_Image() { clear(); }

void GFX_Image::read(const std::string& path) {
    GFX_ImageSerializer* serializer = nullptr;
    switch (get_file_type_by_name(path)) {
        case FILE_TGA:
            serializer = new GFX_ImageSerializerTGA();
            break;
        case FILE_JPEG:
            serializer = new GFX_ImageSerializerJPEG();
            break;
        case FILE_SGI:
            serializer = new GFX_ImageSerializerRGB();
            break;
        case FILE_PNG:
            serializer = new GFX_ImageSerializerPNG();
            break;
        case FILE_WEBP:
            serializer = new GFX_ImageSerializerWebP();
            break;
        case FILE_GIF:
            serializer = new GFX_ImageSerializerGif();
            break;
        default:
            return;
    }
    clear();
    unsigned char* pixels = nullptr;
    unsigned char bits = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    serializer->read(path, &pixels, bits, width, height);
    delete serializer;
    // NOTE: an image never reports a size without pixels: a texture made from it would
    // otherwise upload width x height bytes from a null pointer's worth of data.
    if (pixels) set_pixels(pixels, bits, width, height);
}

int GFX_Image::get_file_type_by_name(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return FILE_UNKNOWN;
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".BMP") return FILE_BMP;
    if (ext == ".RAW" || ext == ".RGB") return FILE_SGI;
    if (ext == ".TGA") return FILE_TGA;
    if (ext == ".JPG") return FILE_JPEG;
    if (ext == ".PNG") return FILE_PNG;
    if (ext == ".WEBP") return FILE_WEBP;
    if (ext == ".GIF") return FILE_GIF;
    return FILE_UNKNOWN;
}

void GFX_Image::set_pixels(unsigned char* pixels, uint8_t bits, uint32_t width, uint32_t height) {
    if (pixels != m_pixels) delete[] m_pixels;
    m_pixels = pixels;
    m_bits_per_pixel = bits;
    m_width = width;
    m_height = height;
}

void GFX_Image::clear() {
    delete[] m_pixels;
    m_pixels = nullptr;
    m_bits_per_pixel = 0;
    m_width = 0;
    m_height = 0;
}

// --- GFX_ImageSerializer ---------------------------------------------------------------------

void GFX_ImageSerializer::read_memory(const unsigned char* data, size_t size,
                                      unsigned char** pixels, unsigned char& bits,
                                      unsigned int& width, unsigned int& height) {
    UTL_File file;
    if (file.open_memory(data, size)) decode(file);
    hand_over(pixels, bits, width, height);
}

void GFX_ImageSerializer::read_file(const std::string& path, unsigned char** pixels,
                                    unsigned char& bits, unsigned int& width,
                                    unsigned int& height) {
    UTL_File file;
    if (!file.open(path, UTL_File::READ)) return;
    decode(file);
    hand_over(pixels, bits, width, height);
}

void GFX_ImageSerializer::hand_over(unsigned char** pixels, unsigned char& bits,
                                    unsigned int& width, unsigned int& height) {
    if (!m_pixels) clean();
    *pixels = m_pixels;
    bits = m_bits;
    width = m_width;
    height = m_height;
    clean();
}

bool GFX_ImageSerializer::allocate(size_t n, bool zeroed) {
    delete[] m_pixels;
    if (zeroed) m_pixels = new (std::nothrow) unsigned char[n]();
    else m_pixels = new (std::nothrow) unsigned char[n];
    return m_pixels != nullptr;
}
