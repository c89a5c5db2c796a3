// GFX_ImageReducer: shrinks a picture by a whole factor while its rows stream in from a decoder,
// averaging each factor x factor box, so a huge picture never exists at full size in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One picture at a time; rows arrive top first and the result is stored bottom row first, as
// GFX_Image keeps it. The readers hold one as a member, so its buffer outlives a longjmp out of
// a decoder.
class GFX_ImageReducer {
public:
    // The smallest whole factor that brings both sides to max_side or below (1 when max_side
    // is 0 or the picture already fits).
    static unsigned factor_for(unsigned width, unsigned height, unsigned max_side);
    // A side of the reduced picture: the boxes at the far edges may be partial.
    static unsigned reduced(unsigned side, unsigned factor) { return (side + factor - 1) / factor; }

    // Prepares for a width x height picture of channels bytes per pixel, reduced by factor (at
    // least 1) into out, which must hold reduced(width) * reduced(height) * channels bytes.
    // out is borrowed until the last row has arrived.
    void begin(unsigned width, unsigned height, unsigned channels, unsigned factor,
               unsigned char* out);
    // The next source row, top first: width * channels bytes. Rows past the height are ignored.
    void add_row(const unsigned char* row);

private:
    void flush();

    unsigned m_width = 0;
    unsigned m_height = 0;
    unsigned m_channels = 0;
    unsigned m_factor = 1;
    unsigned m_out_width = 0;
    unsigned m_out_height = 0;
    unsigned m_row = 0;       // source rows seen
    unsigned m_box_rows = 0;  // source rows summed into m_sums so far
    unsigned char* m_out = nullptr;
    std::vector<uint64_t> m_sums;  // one sum per output pixel channel of the current box row
};
