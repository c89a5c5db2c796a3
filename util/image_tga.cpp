// GFX_ImageSerializerTGA: header checks, one read of the pixel data, the blue/red exchange.
#include "util/image_tga.h"

#include <utility>

#include "util/file.h"

namespace {

const int HEADER_SIZE = 18;
const unsigned char TYPE_TRUE_COLOR = 2;

unsigned le16(const unsigned char* p) { return p[0] | (p[1] << 8); }

}  // namespace

void GFX_ImageSerializerTGA::read(const std::string& path, unsigned char** pixels,
                                  unsigned char& bits, unsigned int& width, unsigned int& height) {
    read_file(path, pixels, bits, width, height);
}

void GFX_ImageSerializerTGA::write(const std::string&, unsigned char*, unsigned char, unsigned int,
                                   unsigned int) {}

void GFX_ImageSerializerTGA::decode(UTL_File& file) {
    unsigned char header[HEADER_SIZE];
    if (file.read(header, HEADER_SIZE) != HEADER_SIZE) return;
    const unsigned id_length = header[0];
    const unsigned color_map_type = header[1];
    const unsigned image_type = header[2];
    const unsigned color_map_length = le16(header + 5);
    const unsigned color_map_entry_bits = header[7];
    const unsigned width = le16(header + 12);
    const unsigned height = le16(header + 14);
    const unsigned depth = header[16];

    // Colour-mapped, grey and run-length files would decode to noise: give nothing instead.
    if (image_type != TYPE_TRUE_COLOR || (depth != 24 && depth != 32)) return;
    if (width == 0 || height == 0 || width > GFX_Image::MAX_SIDE || height > GFX_Image::MAX_SIDE)
        return;

    // The identification field and a colour map (legal, and unused, in a true-colour file) sit
    // between the header and the pixels.
    long data_start = HEADER_SIZE + id_length;
    if (color_map_type != 0) data_start += color_map_length * ((color_map_entry_bits + 7) / 8);

    const size_t pixel_size = depth / 8;
    const size_t count = size_t(width) * height * pixel_size;
    const long file_size = file.size();
    const size_t present = file_size > data_start ? size_t(file_size - data_start) : 0;
    // A file cut short keeps its image with the missing rows black, but one holding less than
    // half of what its header promises gets no pixels: no giant array of nothing.
    if (present * 2 < count) return;
    if (!allocate(count)) return;
    file.seek(static_cast<int>(data_start));
    file.read(m_pixels, static_cast<int>(count));
    for (size_t i = 0; i < count; i += pixel_size) std::swap(m_pixels[i], m_pixels[i + 2]);

    m_bits = static_cast<unsigned char>(depth);
    m_width = width;
    m_height = height;
}
