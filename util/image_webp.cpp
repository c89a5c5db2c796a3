// GFX_ImageSerializerWebP: the file read into memory, the first frame of an animation taken out
// with libwebp's demuxer, and libwebp's incremental decoder writing straight into the pixel
// array, scaled and flipped to GFX_Image's layout.
#include "util/image_webp.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>

#include "util/file.h"
#include "util/image_reducer.h"

namespace {

// The decoder is fed this much at a time, so a cancel is seen between two pieces.
constexpr size_t kFeedBytes = 64u << 10;

// The whole stream, or false when it is longer than max_bytes or cannot be read.
bool read_all(UTL_File& file, size_t max_bytes, std::vector<uint8_t>& out) {
    uint8_t chunk[1 << 16];
    for (;;) {
        const int got = file.read(chunk, static_cast<int>(sizeof chunk));
        if (got <= 0) return true;
        if (out.size() + static_cast<size_t>(got) > max_bytes) return false;
        out.insert(out.end(), chunk, chunk + got);
    }
}

}  // namespace

void GFX_ImageSerializerWebP::read(const std::string& path, unsigned char** pixels,
                                   unsigned char& bits, unsigned int& width, unsigned int& height) {
    read_file(path, pixels, bits, width, height);
}

void GFX_ImageSerializerWebP::write(const std::string&, unsigned char*, unsigned char, unsigned int,
                                    unsigned int) {}

void GFX_ImageSerializerWebP::decode(UTL_File& file) {
    std::vector<uint8_t> bytes;
    if (!read_all(file, MAX_FILE_BYTES, bytes) || bytes.empty()) return;
    // A file shorter than its RIFF header says was cut short, even where what arrived would
    // decode (the first frame of an animation): it gives nothing, as a cut JPEG or PNG does.
    if (bytes.size() < 12) return;
    const size_t riff_size =
        size_t(bytes[4]) | size_t(bytes[5]) << 8 | size_t(bytes[6]) << 16 | size_t(bytes[7]) << 24;
    if (riff_size + 8 > bytes.size()) return;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK) return;
    if (!features.has_animation) {
        decode_still(bytes.data(), bytes.size());
        return;
    }
    // An animation: its first frame, which is a still bitstream of its own.
    const WebPData whole = {bytes.data(), bytes.size()};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (demux == nullptr) return;
    WebPIterator frame;
    if (WebPDemuxGetFrame(demux, 1, &frame)) {
        decode_still(frame.fragment.bytes, frame.fragment.size);
        WebPDemuxReleaseIterator(&frame);
    }
    WebPDemuxDelete(demux);
}

void GFX_ImageSerializerWebP::decode_still(const uint8_t* data, size_t size) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return;
    if (WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK) return;
    const int src_width = config.input.width;
    const int src_height = config.input.height;
    if (config.input.has_animation || src_width <= 0 || src_height <= 0 ||
        static_cast<uint32_t>(src_width) > GFX_Image::MAX_SIDE ||
        static_cast<uint32_t>(src_height) > GFX_Image::MAX_SIDE) {
        return;
    }
    const unsigned channels = config.input.has_alpha ? 4 : 3;
    const unsigned factor = GFX_ImageReducer::factor_for(src_width, src_height, m_max_side);
    const unsigned width = GFX_ImageReducer::reduced(src_width, factor);
    const unsigned height = GFX_ImageReducer::reduced(src_height, factor);
    const size_t stride = size_t(width) * channels;
    // Every row is written or the array is dropped, so it need not be zeroed.
    if (!allocate(stride * height, false)) return;

    if (factor > 1) {
        config.options.use_scaling = 1;
        config.options.scaled_width = static_cast<int>(width);
        config.options.scaled_height = static_cast<int>(height);
    }
    config.options.flip = 1;  // GFX_Image keeps the bottom row first
    config.output.colorspace = channels == 4 ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = m_pixels;
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = stride * height;

    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    WebPIDecoder* decoder = WebPIDecode(nullptr, 0, &config);
    if (decoder != nullptr) {
        size_t fed = 0;
        while (status == VP8_STATUS_SUSPENDED && fed < size) {
            if (m_cancel != nullptr && m_cancel->load(std::memory_order_relaxed)) break;
            fed = std::min(size, fed + kFeedBytes);
            status = WebPIUpdate(decoder, data, fed);
        }
        WebPIDelete(decoder);
    }
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        delete[] m_pixels;
        m_pixels = nullptr;
        return;
    }
    m_bits = static_cast<unsigned char>(channels * 8);
    m_width = width;
    m_height = height;
}
