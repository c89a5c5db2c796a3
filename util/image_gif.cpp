// GFX_ImageSerializerGif: the file read into memory, giflib's record reader walked up to the
// first frame (its graphics control block gives the transparent colour), the frame's rows laid
// on the canvas in order, and the box reducer writing them in GFX_Image's layout.
#include "util/image_gif.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "util/file.h"
#include "util/image_reducer.h"

namespace {

// The whole stream, or false when it is longer than max_bytes.
bool read_all(UTL_File& file, size_t max_bytes, std::vector<GifByteType>& out) {
    GifByteType chunk[1 << 16];
    for (;;) {
        const int got = file.read(chunk, static_cast<int>(sizeof chunk));
        if (got <= 0) return true;
        if (out.size() + static_cast<size_t>(got) > max_bytes) return false;
        out.insert(out.end(), chunk, chunk + got);
    }
}

struct MemoryInput {
    const GifByteType* m_data = nullptr;
    size_t m_size = 0;
    size_t m_at = 0;
};

// giflib's input callback: what is left of the bytes, never more than asked.
int read_memory_input(GifFileType* gif, GifByteType* out, int wanted) {
    MemoryInput* in = static_cast<MemoryInput*>(gif->UserData);
    if (wanted <= 0) return 0;
    const size_t n = std::min(static_cast<size_t>(wanted), in->m_size - in->m_at);
    std::memcpy(out, in->m_data + in->m_at, n);
    in->m_at += n;
    return static_cast<int>(n);
}

// Closes the decoder whichever way the decode ends.
struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// The row of the frame that the n-th row in the file is, for an interlaced frame: passes
// start at rows 0, 4, 2 and 1 and step by 8, 8, 4 and 2.
int interlaced_row(int n, int height) {
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        const int rows =
            kStart[pass] < height ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
        if (n < rows) return kStart[pass] + n * kStep[pass];
        n -= rows;
    }
    return -1;
}

}  // namespace

void GFX_ImageSerializerGif::read(const std::string& path, unsigned char** pixels,
                                  unsigned char& bits, unsigned int& width, unsigned int& height) {
    read_file(path, pixels, bits, width, height);
}

void GFX_ImageSerializerGif::write(const std::string&, unsigned char*, unsigned char, unsigned int,
                                   unsigned int) {}

void GFX_ImageSerializerGif::decode(UTL_File& file) {
    std::vector<GifByteType> bytes;
    if (!read_all(file, MAX_FILE_BYTES, bytes) || bytes.empty()) return;
    MemoryInput input{bytes.data(), bytes.size(), 0};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&input, read_memory_input, &error));
    if (!gif) return;

    // Up to the first frame; a graphics control block before it names its transparent colour.
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return;
        if (type == IMAGE_DESC_RECORD_TYPE) break;
        if (type != EXTENSION_RECORD_TYPE) return;  // the end, or junk: no frame at all
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return;
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                transparent = gcb.TransparentColor;
        }
        while (block) {
            if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return;
        }
    }
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return;
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colors = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colors || !colors->Colors || colors->ColorCount <= 0) return;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0) return;
    // A canvas of no size is taken as the frame's extent.
    long canvas_w = gif->SWidth > 0 ? gif->SWidth : long(frame.Left) + frame.Width;
    long canvas_h = gif->SHeight > 0 ? gif->SHeight : long(frame.Top) + frame.Height;
    long frame_left = frame.Left;
    long frame_top = frame.Top;
    // A few bytes can name a canvas of 16384 x 16384 around a frame of a few pixels, which
    // would cost a gigabyte of transparent rows; past MAX_BLANK_PIXELS of canvas the frame
    // fills no part of, the frame is shown alone.
    const long seen_w = std::max(0L, std::min(canvas_w, frame_left + frame.Width) - frame_left);
    const long seen_h = std::max(0L, std::min(canvas_h, frame_top + frame.Height) - frame_top);
    if (size_t(canvas_w) * size_t(canvas_h) - size_t(seen_w) * size_t(seen_h) > MAX_BLANK_PIXELS) {
        canvas_w = frame.Width;
        canvas_h = frame.Height;
        frame_left = 0;
        frame_top = 0;
    }
    if (canvas_w <= 0 || canvas_h <= 0 || canvas_w > long(GFX_Image::MAX_SIDE) ||
        canvas_h > long(GFX_Image::MAX_SIDE))
        return;
    const bool interlaced = frame.Interlace;
    if (interlaced && size_t(frame.Width) * size_t(frame.Height) > MAX_INTERLACED_PIXELS) return;

    const bool covers =
        frame_left == 0 && frame_top == 0 && frame.Width >= canvas_w && frame.Height >= canvas_h;
    const bool alpha = transparent != NO_TRANSPARENT_COLOR || !covers;
    const unsigned channels = alpha ? 4 : 3;
    const unsigned factor = GFX_ImageReducer::factor_for(canvas_w, canvas_h, m_max_side);
    const unsigned width = GFX_ImageReducer::reduced(canvas_w, factor);
    const unsigned height = GFX_ImageReducer::reduced(canvas_h, factor);
    if (!allocate(size_t(width) * height * channels, false)) return;
    GFX_ImageReducer reducer;
    reducer.begin(canvas_w, canvas_h, channels, factor, m_pixels);

    // Index rows of the frame: one at a time when they come in order, all of them when
    // interlaced.
    std::vector<GifByteType> indexes(size_t(frame.Width) * (interlaced ? frame.Height : 1));
    if (interlaced) {
        for (int n = 0; n < frame.Height; ++n) {
            const int row = interlaced_row(n, frame.Height);
            if (DGifGetLine(gif.get(), &indexes[size_t(row) * frame.Width], frame.Width) ==
                GIF_ERROR) {
                delete[] m_pixels;
                m_pixels = nullptr;
                return;
            }
        }
    }
    std::vector<unsigned char> row(size_t(canvas_w) * channels);
    for (long y = 0; y < canvas_h; ++y) {
        if (m_cancel && (y & 63) == 0 && m_cancel->load(std::memory_order_relaxed)) {
            delete[] m_pixels;
            m_pixels = nullptr;
            return;
        }
        // Outside the frame: transparent (RGBA) or, for a frame that covers all, never reached.
        std::fill(row.begin(), row.end(), 0);
        const long fy = y - frame_top;
        if (fy >= 0 && fy < frame.Height) {
            const GifByteType* line = &indexes[interlaced ? size_t(fy) * frame.Width : 0];
            if (!interlaced && DGifGetLine(gif.get(), indexes.data(), frame.Width) == GIF_ERROR) {
                delete[] m_pixels;
                m_pixels = nullptr;
                return;
            }
            const long end = std::min<long>(canvas_w, frame_left + frame.Width);
            for (long x = frame_left; x < end; ++x) {
                const int index = line[x - frame_left];
                unsigned char* out = &row[size_t(x) * channels];
                if (index == transparent) continue;
                if (index < colors->ColorCount) {
                    const GifColorType& c = colors->Colors[index];
                    out[0] = c.Red;
                    out[1] = c.Green;
                    out[2] = c.Blue;
                }
                if (alpha) out[3] = 255;
            }
        }
        reducer.add_row(row.data());
    }
    m_bits = static_cast<unsigned char>(channels * 8);
    m_width = width;
    m_height = height;
}
