// GFX_ImageSerializerPNG: libpng's sequential reader with its errors turned into a longjmp back
// here, the transformations to 8-bit samples, and reduced decoding of large pictures.
#include "util/image_png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "util/file.h"

namespace {

// Chunks that libpng keeps in memory (text, unknown ones) are bounded, so a file of endless
// ancillary chunks cannot take memory or time.
const png_alloc_size_t MAX_CHUNK_BYTES = 8u << 20;
const png_uint_32 MAX_CACHED_CHUNKS = 128;

// NOTE: nothing between setjmp and longjmp may own a C++ object with a destructor; the pixel
// array and the working rows live in the serializer, whose members survive the jump.
[[noreturn]] void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void on_warning(png_structp, png_const_charp) {}

}  // namespace

void GFX_ImageSerializerPNG::read(const std::string& path, unsigned char** pixels,
                                  unsigned char& bits, unsigned int& width, unsigned int& height) {
    read_file(path, pixels, bits, width, height);
}

void GFX_ImageSerializerPNG::write(const std::string&, unsigned char*, unsigned char, unsigned int,
                                   unsigned int) {}

void GFX_ImageSerializerPNG::decode(UTL_File& file) {
    FILE* stream = file.stream();
    if (!stream) return;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (png == nullptr) return;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return;
    }
    // Set once every row has arrived; volatile because it is read after the jump.
    volatile bool complete = false;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (!complete) {
            delete[] m_pixels;
            m_pixels = nullptr;
        }
        return;
    }
    png_set_user_limits(png, GFX_Image::MAX_SIDE, GFX_Image::MAX_SIDE);
    png_set_chunk_malloc_max(png, MAX_CHUNK_BYTES);
    png_set_chunk_cache_max(png, MAX_CACHED_CHUNKS);
    // Text, profiles, palettes of suggestions and unknown chunks are skipped unread: libpng
    // would otherwise allocate what a text chunk's length claims (2 GB from a 100-byte file)
    // before finding the file shorter. Nothing here draws on them.
    static const png_byte kSkipped[] = {'t', 'E', 'X', 't', '\0', 'z', 'T', 'X', 't', '\0',
                                        'i', 'T', 'X', 't', '\0', 'i', 'C', 'C', 'P', '\0',
                                        's', 'P', 'L', 'T', '\0', 'p', 'C', 'A', 'L', '\0',
                                        's', 'C', 'A', 'L', '\0', 'e', 'X', 'I', 'f', '\0'};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, 8);
    png_init_io(png, stream);
    png_read_info(png, info);

    // Palette to RGB, grey below 8 bits to 8, a transparent colour to an alpha channel, and
    // 16-bit samples scaled to 8: every picture ends in 1 to 4 bytes a pixel.
    png_set_expand(png);
    png_set_scale_16(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const png_uint_32 src_width = png_get_image_width(png, info);
    const png_uint_32 src_height = png_get_image_height(png, info);
    const unsigned channels = png_get_channels(png, info);
    const size_t row_bytes = png_get_rowbytes(png, info);
    if (src_width == 0 || src_height == 0 || channels < 1 || channels > 4 ||
        png_get_bit_depth(png, info) != 8 || row_bytes != size_t(src_width) * channels) {
        png_error(png, "unsupported layout");
    }
    const unsigned factor = GFX_ImageReducer::factor_for(src_width, src_height, m_max_side);
    const unsigned width = GFX_ImageReducer::reduced(src_width, factor);
    const unsigned height = GFX_ImageReducer::reduced(src_height, factor);
    if (passes > 1 && row_bytes * src_height > MAX_INTERLACED_BYTES) png_error(png, "too large");
    // Every row is written below or the array is dropped, so it need not be zeroed.
    if (!allocate(size_t(width) * height * channels, false)) png_error(png, "out of memory");
    m_bits = static_cast<unsigned char>(channels * 8);
    m_width = width;
    m_height = height;
    m_reducer.begin(src_width, src_height, channels, factor, m_pixels);

    if (passes == 1) {
        // Row by row: only the reduced picture and one row are ever held.
        m_rows.resize(row_bytes);
        for (png_uint_32 y = 0; y < src_height; ++y) {
            if (m_cancel != nullptr && m_cancel->load(std::memory_order_relaxed)) {
                png_error(png, "cancelled");
            }
            png_read_row(png, m_rows.data(), nullptr);
            m_reducer.add_row(m_rows.data());
        }
    } else {
        m_rows.resize(row_bytes * src_height);
        m_row_pointers.resize(src_height);
        for (png_uint_32 y = 0; y < src_height; ++y) m_row_pointers[y] = &m_rows[y * row_bytes];
        for (int pass = 0; pass < passes; ++pass) {
            if (m_cancel != nullptr && m_cancel->load(std::memory_order_relaxed)) {
                png_error(png, "cancelled");
            }
            png_read_rows(png, m_row_pointers.data(), nullptr, src_height);
        }
        for (png_uint_32 y = 0; y < src_height; ++y) m_reducer.add_row(m_row_pointers[y]);
        m_rows.clear();
        m_rows.shrink_to_fit();
    }
    complete = true;
    // The chunks after the picture data are of no interest: the end is not read.
    png_destroy_read_struct(&png, &info, nullptr);
}
