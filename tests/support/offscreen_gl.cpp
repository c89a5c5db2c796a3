// OSMesa context and frame read-back for the tests.
#include "tests/support/offscreen_gl.h"

#include <GL/gl.h>
#include <png.h>

#include <algorithm>
#include <cstdio>

OffscreenGL::OffscreenGL(int width, int height)
    : m_width(width), m_height(height), m_buffer(static_cast<size_t>(width) * height * 4, 0) {
    const int attribs[] = {OSMESA_FORMAT,
                           OSMESA_RGBA,
                           OSMESA_DEPTH_BITS,
                           24,
                           OSMESA_STENCIL_BITS,
                           0,
                           OSMESA_ACCUM_BITS,
                           0,
                           OSMESA_PROFILE,
                           OSMESA_COMPAT_PROFILE,
                           0};
    m_context = OSMesaCreateContextAttribs(attribs, nullptr);
    if (m_context) make_current();
}

OffscreenGL::~OffscreenGL() {
    if (m_context) OSMesaDestroyContext(m_context);
}

void OffscreenGL::make_current() {
    OSMesaMakeCurrent(m_context, m_buffer.data(), GL_UNSIGNED_BYTE, m_width, m_height);
    // Rows bottom first, the way glReadPixels reports them.
    OSMesaPixelStore(OSMESA_Y_UP, 1);
    glViewport(0, 0, m_width, m_height);
}

Rgba OffscreenGL::pixel(int x, int y) {
    glFinish();
    Rgba p;
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return p;
    const uint8_t* q = &m_buffer[(static_cast<size_t>(y) * m_width + x) * 4];
    p.r = q[0];
    p.g = q[1];
    p.b = q[2];
    p.a = q[3];
    return p;
}

int OffscreenGL::count(const std::function<bool(const Rgba&)>& pred) {
    return count(0, 0, m_width, m_height, pred);
}

int OffscreenGL::count(int x0, int y0, int x1, int y1,
                       const std::function<bool(const Rgba&)>& pred) {
    glFinish();
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(m_height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(m_width, x1); ++x) {
            const uint8_t* q = &m_buffer[(static_cast<size_t>(y) * m_width + x) * 4];
            if (pred(Rgba{q[0], q[1], q[2], q[3]})) ++n;
        }
    return n;
}

bool OffscreenGL::write_png(const std::string& path) {
    glFinish();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, m_width, m_height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = m_height - 1; y >= 0; --y)
        png_write_row(png, &m_buffer[static_cast<size_t>(y) * m_width * 4]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}

std::string source_dir() { return NIMBRA_SOURCE_DIR; }
std::string shared_data_dir() { return NIMBRA_SHARED_DATA_DIR; }
