// An OSMesa context for tests: real Mesa rendering into memory, no display needed, plus
// helpers to read the frame back and look at it.
#pragma once

#include <GL/osmesa.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
};

class OffscreenGL {
public:
    // RGBA colour, 24 depth bits, no stencil; made current at once.
    OffscreenGL(int width, int height);
    ~OffscreenGL();
    OffscreenGL(const OffscreenGL&) = delete;
    OffscreenGL& operator=(const OffscreenGL&) = delete;

    bool ok() const { return m_context != nullptr; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    void make_current();

    // Pixel (x, y) with the origin at the lower left, as OpenGL sees it. Calls glFinish first.
    Rgba pixel(int x, int y);
    // Number of pixels for which pred is true, over the rectangle [x0, x1) x [y0, y1) or the
    // whole frame.
    int count(const std::function<bool(const Rgba&)>& pred);
    int count(int x0, int y0, int x1, int y1, const std::function<bool(const Rgba&)>& pred);
    // Writes the frame as a PNG (top row first, as image viewers expect).
    bool write_png(const std::string& path);

    const std::vector<uint8_t>& buffer() const { return m_buffer; }

private:
    int m_width;
    int m_height;
    std::vector<uint8_t> m_buffer;
    OSMesaContext m_context = nullptr;
};

// Paths of the source tree (with data/config) and of the shared test data.
std::string source_dir();
std::string shared_data_dir();
