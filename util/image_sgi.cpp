// GFX_ImageSerializerRGB: the 512-byte big-endian header, whole channel planes for verbatim
// files, offset and length tables and scan-line expansion for run-length files.
#include "util/image_sgi.h"

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

#include "util/file.h"

namespace {

const int HEADER_SIZE = 512;

// SGI files are big-endian; assembling the bytes one by one is right on any host.
unsigned be16(const unsigned char* p) { return (p[0] << 8) | p[1]; }
uint32_t be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

void GFX_ImageSerializerRGB::read(const std::string& path, unsigned char** pixels,
                                  unsigned char& bits, unsigned int& width, unsigned int& height) {
    read_file(path, pixels, bits, width, height);
}

void GFX_ImageSerializerRGB::write(const std::string&, unsigned char*, unsigned char, unsigned int,
                                   unsigned int) {}

void GFX_ImageSerializerRGB::decode(UTL_File& file) {
    unsigned char header[HEADER_SIZE];
    if (file.read(header, HEADER_SIZE) != HEADER_SIZE) return;
    const bool run_length = header[2] != 0;
    const unsigned bytes_per_channel = header[3];
    const unsigned dimension = be16(header + 4);
    const unsigned x_size = be16(header + 6);
    const unsigned y_size = be16(header + 8);
    const unsigned z_size = be16(header + 10);

    if (bytes_per_channel != 1) return;
    unsigned height = y_size;
    unsigned channels = 1;
    if (dimension == 1) {
        height = 1;  // a one-dimensional image is a single row whatever y size says
    } else if (dimension == 3 && (z_size == 3 || z_size == 4)) {
        channels = z_size;
    } else if (dimension != 2) {
        return;
    }
    if (x_size == 0 || height == 0 || x_size > GFX_Image::MAX_SIDE || height > GFX_Image::MAX_SIDE)
        return;
    // Grey run-length images are not read (the system has none).
    if (run_length && dimension != 3) return;

    m_width = x_size;
    m_height = height;
    m_bits = static_cast<unsigned char>(8 * channels);
    // Offsets past INT_MAX cannot be sought to; such a file is treated as ending there.
    const long file_size = std::min(file.size(), long(INT_MAX));
    if (file_size < HEADER_SIZE) return;  // unseekable
    if (run_length) decode_run_length(file, file_size, channels);
    else decode_verbatim(file, file_size, dimension, channels);
}

// --- helpers ---------------------------------------------------------------------------------

size_t GFX_ImageSerializerRGB::expand_scan_line(const unsigned char* in, size_t in_size,
                                                unsigned char* out, size_t count, size_t step) {
    size_t i = 0;
    size_t o = 0;
    while (i < in_size && o < count) {
        const unsigned char packet = in[i++];
        size_t n = packet & 0x7F;
        if (n == 0) break;
        if (packet & 0x80) {
            // n bytes copied as they are
            n = std::min({n, in_size - i, count - o});
            for (size_t k = 0; k < n; ++k) out[(o++) * step] = in[i++];
        } else {
            // one byte repeated n times
            if (i >= in_size) break;
            const unsigned char value = in[i++];
            n = std::min(n, count - o);
            for (size_t k = 0; k < n; ++k) out[(o++) * step] = value;
        }
    }
    return o;
}

void GFX_ImageSerializerRGB::decode_verbatim(UTL_File& file, long file_size, unsigned dimension,
                                             unsigned channels) {
    const size_t plane = size_t(m_width) * m_height;
    const size_t count = plane * channels;
    const size_t present = file_size > HEADER_SIZE ? size_t(file_size - HEADER_SIZE) : 0;
    // A file cut short keeps its image with the missing part black, but one holding less than
    // half of what its header promises gets no pixels: no giant array of nothing.
    if (present * 2 < count) return;
    if (!allocate(count)) return;
    if (dimension != 3) {
        file.read(m_pixels, static_cast<int>(count));
        return;
    }
    // The planes (all red, then all green, ...) follow each other; each is interleaved into
    // its channel of the pixels.
    std::vector<unsigned char> scratch;
    try {
        scratch.assign(plane, 0);
    } catch (const std::bad_alloc&) {
        delete[] m_pixels;
        m_pixels = nullptr;
        return;
    }
    for (unsigned c = 0; c < channels; ++c) {
        const int got = file.read(scratch.data(), static_cast<int>(plane));
        if (got <= 0) break;
        unsigned char* dst = m_pixels + c;
        for (size_t p = 0; p < size_t(got); ++p) dst[p * channels] = scratch[p];
    }
}

void GFX_ImageSerializerRGB::decode_run_length(UTL_File& file, long file_size, unsigned channels) {
    // Two tables of one big-endian 32-bit number per scan line, indexed by row + channel * rows:
    // where each line starts, and how long it is.
    const size_t lines = size_t(m_height) * channels;
    const size_t table_bytes = lines * 4;
    if (HEADER_SIZE + 2 * table_bytes > size_t(file_size)) return;
    std::vector<unsigned char> starts(table_bytes);
    std::vector<unsigned char> lengths(table_bytes);
    file.seek(HEADER_SIZE);
    file.read(starts.data(), static_cast<int>(table_bytes));
    file.read(lengths.data(), static_cast<int>(table_bytes));

    // Lines that start or run past the end of the file are cut at the end of the file, so the
    // scratch buffer is never longer than the file.
    std::vector<uint32_t> start(lines);
    std::vector<uint32_t> length(lines);
    uint32_t longest = 0;
    for (size_t l = 0; l < lines; ++l) {
        start[l] = be32(&starts[l * 4]);
        length[l] = be32(&lengths[l * 4]);
        const uint32_t rest = start[l] < uint32_t(file_size) ? uint32_t(file_size) - start[l] : 0;
        length[l] = std::min(length[l], rest);
        longest = std::max(longest, length[l]);
    }

    if (!allocate(size_t(m_width) * m_height * channels)) return;
    std::vector<unsigned char> scratch(longest);
    for (unsigned row = 0; row < m_height; ++row) {
        unsigned char* out = m_pixels + size_t(row) * m_width * channels;
        for (unsigned c = 0; c < channels; ++c) {
            const size_t l = row + size_t(c) * m_height;
            if (length[l] == 0) continue;
            file.seek(static_cast<int>(start[l]));
            const int got = file.read(scratch.data(), static_cast<int>(length[l]));
            expand_scan_line(scratch.data(), size_t(got), out + c, m_width, channels);
        }
    }
}
