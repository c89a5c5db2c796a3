// GFX_ImageReducer: whole-factor box averaging of a picture that arrives row by row.
#include "util/image_reducer.h"

#include <algorithm>
#include <cstring>

unsigned GFX_ImageReducer::factor_for(unsigned width, unsigned height, unsigned max_side) {
    if (max_side == 0) return 1;
    const unsigned side = std::max(width, height);
    return side <= max_side ? 1 : (side + max_side - 1) / max_side;
}

void GFX_ImageReducer::begin(unsigned width, unsigned height, unsigned channels, unsigned factor,
                             unsigned char* out) {
    m_width = width;
    m_height = height;
    m_channels = channels;
    m_factor = std::max(1u, factor);
    m_out_width = reduced(width, m_factor);
    m_out_height = reduced(height, m_factor);
    m_row = 0;
    m_box_rows = 0;
    m_out = out;
    m_sums.assign(size_t(m_out_width) * channels, 0);
}

void GFX_ImageReducer::add_row(const unsigned char* row) {
    if (m_row >= m_height || m_out == nullptr) return;
    const size_t out_row_bytes = size_t(m_out_width) * m_channels;
    if (m_factor == 1) {
        std::memcpy(m_out + size_t(m_height - 1 - m_row) * out_row_bytes, row, out_row_bytes);
    } else {
        for (unsigned x = 0; x < m_width; ++x) {
            uint64_t* sum = &m_sums[size_t(x / m_factor) * m_channels];
            const unsigned char* pixel = row + size_t(x) * m_channels;
            for (unsigned c = 0; c < m_channels; ++c) sum[c] += pixel[c];
        }
        ++m_box_rows;
    }
    ++m_row;
    if (m_factor > 1 && (m_box_rows == m_factor || m_row == m_height)) flush();
}

void GFX_ImageReducer::flush() {
    const unsigned out_y = (m_row - 1) / m_factor;  // top first
    unsigned char* out =
        m_out + size_t(m_out_height - 1 - out_y) * size_t(m_out_width) * m_channels;
    for (unsigned ox = 0; ox < m_out_width; ++ox) {
        // The last box of a row may be narrower than the factor.
        const unsigned columns = std::min(m_factor, m_width - ox * m_factor);
        const uint64_t count = uint64_t(columns) * m_box_rows;
        for (unsigned c = 0; c < m_channels; ++c) {
            uint64_t& sum = m_sums[size_t(ox) * m_channels + c];
            out[size_t(ox) * m_channels + c] =
                static_cast<unsigned char>((sum + count / 2) / count);
            sum = 0;
        }
    }
    m_box_rows = 0;
}
