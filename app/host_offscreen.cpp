// UTL_HostOffscreen: the OSMesa context, the scripted tick loop, PNG output and frame timing.
#include "app/host_offscreen.h"

#include "app/host_driver.h"
#include "app/options.h"
#include "app/resource_folder.h"
#include "controller/sim_ctrl_nimbra.h"
#include "scene/friend.h"
#include "util/utf8.h"

#include <GL/gl.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <new>
#include <thread>

// ---------------------------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------------------------

UTL_HostOffscreen::~UTL_HostOffscreen() { close(); }

bool UTL_HostOffscreen::open(const UTL_HostOptions& options) {
    m_width = options.width;
    m_height = options.height;
    m_frames = options.frames;
    m_bench = options.bench;
    m_until_loaded = options.until_loaded;
    m_snapshot_file = absolute_path(options.snapshot_file);
    if (!options.script_file.empty()) {
        std::string error;
        if (!read_event_script(options.script_file, m_script, error)) {
            std::cerr << "nimbra: " << error << "\n";
            return false;
        }
        for (UTL_ScriptEvent& e : m_script) {
            if (e.kind == UTL_ScriptEvent::kSnapshot) e.path = absolute_path(e.path);
            if (e.frame > m_frames)
                std::cerr << "nimbra: " << options.script_file << ": line " << e.line
                          << " comes after the last frame (" << m_frames << ") and is ignored\n";
        }
    }

    try {
        m_pixels.assign(static_cast<size_t>(m_width) * m_height * 4, 0);
    } catch (const std::bad_alloc&) {
        std::cerr << "nimbra: not enough memory for a frame of " << m_width << "x" << m_height
                  << "\n";
        return false;
    }
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
    if (!m_context) {
        host_log("Pixel format is nil");
        std::cerr
            << "nimbra: cannot create an offscreen OpenGL context with a 24-bit depth buffer\n";
        return false;
    }
    if (!OSMesaMakeCurrent(m_context, m_pixels.data(), GL_UNSIGNED_BYTE, m_width, m_height)) {
        host_log("initWithFrame failed");
        std::cerr << "nimbra: cannot render a frame of " << m_width << "x" << m_height
                  << " offscreen\n";
        close();
        return false;
    }
    GLint max_w = 0, max_h = 0;
    OSMesaGetIntegerv(OSMESA_MAX_WIDTH, &max_w);
    OSMesaGetIntegerv(OSMESA_MAX_HEIGHT, &max_h);
    if ((max_w > 0 && m_width > max_w) || (max_h > 0 && m_height > max_h)) {
        std::cerr << "nimbra: the offscreen renderer draws at most " << max_w << "x" << max_h
                  << " pixels\n";
        close();
        return false;
    }
    // Rows bottom first, as glReadPixels and the controller's view coordinates have them.
    OSMesaPixelStore(OSMESA_Y_UP, 1);
    return true;
}

void UTL_HostOffscreen::make_current() {
    if (m_context)
        OSMesaMakeCurrent(m_context, m_pixels.data(), GL_UNSIGNED_BYTE, m_width, m_height);
}

void UTL_HostOffscreen::close() {
    if (m_context) OSMesaDestroyContext(m_context);
    m_context = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

// With --until-loaded, frames come first as the window's timer would give them, at most 50 a
// second, until everything has arrived; then frame k: the script's input for k, the tick, then
// the snapshots of k. These ticks follow each other without waiting: the step is always
// 0.02 s whatever the clock says.
int UTL_HostOffscreen::run(UTL_HostDriver& driver) {
    if (!m_context) return 1;
    int status = 0;
    std::vector<FrameRecord> frames;
    auto loaded = [&driver] { return !driver.m_loaded || driver.m_loaded(); };
    auto after_frame = [&](const FrameRecord& record) {
        frames.push_back(record);
        if (m_loaded_frame == 0 && loaded()) {
            m_loaded_frame = static_cast<int>(frames.size());
            m_loaded_at = Clock::now();
        }
    };
    if (m_until_loaded) {
        const auto tick = std::chrono::milliseconds(20);
        Clock::time_point next = Clock::now();
        while (!loaded()) {
            std::this_thread::sleep_until(next);
            next = std::max(next + tick, Clock::now());
            after_frame(frame(driver));
        }
    }
    size_t next = 0;
    for (int k = 1; k <= m_frames; ++k) {
        for (size_t e = next; e < m_script.size() && m_script[e].frame == k; ++e)
            if (m_script[e].kind != UTL_ScriptEvent::kSnapshot) deliver(m_script[e], driver);
        after_frame(frame(driver));
        for (; next < m_script.size() && m_script[next].frame == k; ++next)
            if (m_script[next].kind == UTL_ScriptEvent::kSnapshot &&
                !write_png(m_script[next].path))
                status = 1;
        if (m_after_frame) m_after_frame(k);
    }
    if (!m_snapshot_file.empty() && !write_png(m_snapshot_file)) status = 1;
    if (m_bench) print_bench(frames, driver);
    print_selection(driver);
    return status;
}

UTL_HostOffscreen::FrameRecord UTL_HostOffscreen::frame(UTL_HostDriver& driver) {
    FrameRecord record;
    record.loaded = !driver.m_loaded || driver.m_loaded();
    const auto t0 = Clock::now();
    make_current();
    driver.tick(m_width, m_height);
    glFinish();
    record.ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (const UTL_SimCtrlNimbra* c = driver.controller()) {
        record.people = c->m_loc_holders.size();
        record.lines = c->m_connections.size();
    }
    return record;
}

// ---------------------------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------------------------

// NOTE: the frame's alpha is what the clear left (0) and the blending wrote; a picture of the
// window is what the screen shows, so the alpha is dropped.
bool UTL_HostOffscreen::write_png(const std::string& path) {
    if (m_context) glFinish();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::cerr << "nimbra: cannot write " << path << "\n";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<size_t>(m_width) * 3);
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::cerr << "nimbra: cannot write " << path << "\n";
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, m_width, m_height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = m_height - 1; y >= 0; --y) {
        const std::uint8_t* src = &m_pixels[static_cast<size_t>(y) * m_width * 4];
        for (int x = 0; x < m_width; ++x) {
            row[x * 3 + 0] = src[x * 4 + 0];
            row[x * 3 + 1] = src[x * 4 + 1];
            row[x * 3 + 2] = src[x * 4 + 2];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool ok = std::fflush(f) == 0 && !std::ferror(f);
    if (std::fclose(f) != 0 || !ok) {
        std::cerr << "nimbra: cannot write " << path << "\n";
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

// Script positions are picture pixels from the top left, converted as a window's pointer is.
void UTL_HostOffscreen::deliver(const UTL_ScriptEvent& e, UTL_HostDriver& driver) {
    int x = 0, y = 0;
    window_to_view(e.x, e.y, m_width, m_height, m_width, m_height, x, y);
    switch (e.kind) {
        case UTL_ScriptEvent::kDown:
            driver.mouse_down(x, y, e.shift);
            break;
        case UTL_ScriptEvent::kUp:
            driver.mouse_up(x, y, e.shift);
            break;
        case UTL_ScriptEvent::kMove:
            driver.mouse_moved(x, y, e.drag);
            break;
        case UTL_ScriptEvent::kKey:
            driver.key_chars(e.chars);
            break;
        case UTL_ScriptEvent::kWheel:
            driver.mouse_wheel(e.steps);
            break;
        case UTL_ScriptEvent::kSnapshot:
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

// Two lines a script can check: "selected: UID NAME", or "selected: none", then the chain. The
// name is written whole but on one line: control characters and malformed bytes show as U+FFFD.
void UTL_HostOffscreen::print_selection(UTL_HostDriver& driver) const {
    auto one_line = [](const std::string& text) {
        std::vector<std::uint32_t> chars = decode_utf8(text);
        for (std::uint32_t& ch : chars)
            if (!is_printable_char(ch)) ch = kReplacementChar;
        return encode_utf8(chars);
    };
    const UTL_SimCtrlNimbra* c = driver.controller();
    const GFX_Friend* f = c ? c->selected_friend() : nullptr;
    if (!f) std::printf("selected: none\n");
    else std::printf("selected: %s %s\n", one_line(f->m_uid).c_str(), one_line(f->m_name).c_str());
    // And the chain of friends shown from that person: "path: UID UID ... UID", or "path: none"
    // when no chain is shown or none joins the two.
    std::string path;
    if (c && c->m_chain_shown)
        for (const GFX_Friend* p : c->m_chain) path += " " + one_line(p->m_uid);
    std::printf("path:%s\n", path.empty() ? " none" : path.c_str());
    std::fflush(stdout);
}

// The first frame starts the controller (textures, meshes), and frames that began before
// everything was in drew a globe still filling; the steady figures cover only the frames that
// began with everything in, so they are the same however fast the network came.
void UTL_HostOffscreen::print_bench(const std::vector<FrameRecord>& frames,
                                    UTL_HostDriver& driver) const {
    const UTL_SimCtrlNimbra* c = driver.controller();
    const size_t people = c ? c->m_loc_holders.size() : 0;
    const size_t lines = c ? c->m_connections.size() : 0;
    std::printf("offscreen %dx%d, %zu people, %zu lines, %zu frames\n", m_width, m_height, people,
                lines, frames.size());
    if (frames.empty()) return;
    if (m_loaded_frame > 0) {
        std::printf("  launch to everything in: %.2f s, shown by frame %d\n",
                    std::chrono::duration<double>(m_loaded_at - m_launch).count(), m_loaded_frame);
    } else {
        std::printf("  everything was never in: the last frame held %zu people, %zu lines\n",
                    frames.back().people, frames.back().lines);
    }
    std::printf("  first frame (start, %zu people, %zu lines): %.2f ms\n", frames[0].people,
                frames[0].lines, frames[0].ms);
    std::vector<double> filling, steady;
    size_t most_people = 0, most_lines = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].loaded) {
            steady.push_back(frames[i].ms);
        } else {
            filling.push_back(frames[i].ms);
            most_people = std::max(most_people, frames[i].people);
            most_lines = std::max(most_lines, frames[i].lines);
        }
    }
    if (!filling.empty()) {
        double sum = 0.0;
        for (double v : filling) sum += v;
        std::printf("  frames while loading (up to %zu people, %zu lines): %zu, mean %.2f ms\n",
                    most_people, most_lines, filling.size(), sum / filling.size());
    }
    if (steady.empty()) {
        std::printf("  no frame began with everything in\n");
        return;
    }
    double sum = 0.0;
    for (double v : steady) sum += v;
    std::sort(steady.begin(), steady.end());
    const double mean = sum / steady.size();
    std::printf(
        "  frames with everything in (%zu people, %zu lines): %zu, mean %.2f ms, median %.2f ms, "
        "min %.2f ms, max %.2f ms\n",
        people, lines, steady.size(), mean, steady[steady.size() / 2], steady.front(),
        steady.back());
    std::printf("  frames per second with everything in: %.1f (the window ticks at 50)\n",
                mean > 0.0 ? 1000.0 / mean : 0.0);
}
