// Drawing 1000 locator balls per frame in the offscreen renderer: immediate mode (the locators'
// path) against vertex arrays and triangle strips. Prints milliseconds per frame and ratios.
#include "gfx/shapes.h"

#include <GL/gl.h>
#include <GL/osmesa.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int WIDTH = 256, HEIGHT = 256;
constexpr int BALLS = 1000;
constexpr int FRAMES = 10;
constexpr int ROUNDS = 4;

// One frame: 1000 balls of radius 125 scaled to 20 on a 40 x 25 grid, drawn by draw_ball.
double frame_ms(GFX_ColorBall& ball, const std::function<void(GFX_ColorBall&)>& draw_ball) {
    const auto start = std::chrono::steady_clock::now();
    for (int f = 0; f < FRAMES; ++f) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        for (int b = 0; b < BALLS; ++b) {
            glPushMatrix();
            glTranslatef(-1950.0f + 100.0f * (b % 40), -1200.0f + 100.0f * (b / 40), 0);
            glScalef(0.16f, 0.16f, 0.16f);
            draw_ball(ball);
            glPopMatrix();
        }
        glFinish();
    }
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count() / FRAMES;
}

}  // namespace

int main() {
    std::vector<unsigned char> buffer(WIDTH * HEIGHT * 4);
    const int attribs[] = {OSMESA_FORMAT,
                           OSMESA_RGBA,
                           OSMESA_DEPTH_BITS,
                           24,
                           OSMESA_PROFILE,
                           OSMESA_COMPAT_PROFILE,
                           0};
    OSMesaContext context = OSMesaCreateContextAttribs(attribs, nullptr);
    if (!context || !OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, WIDTH, HEIGHT)) {
        std::fprintf(stderr, "bench_shapes: no OSMesa context\n");
        return 1;
    }
    glViewport(0, 0, WIDTH, HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glOrtho(-2000, 2000, -1300, 1300, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);

    GFX_ColorBall ball(125);
    frame_ms(ball, [](GFX_ColorBall& b) { b.draw(); });  // warm-up
    // The paths take turns and each keeps its best round, so a busy machine skews them alike.
    double imm = 1e30, arrays = 1e30, strips = 1e30;
    for (int round = 0; round < ROUNDS; ++round) {
        imm = std::min(imm, frame_ms(ball, [](GFX_ColorBall& b) { b.draw_imm_mode(); }));
        arrays = std::min(arrays, frame_ms(ball, [](GFX_ColorBall& b) { b.draw(); }));
        strips =
            std::min(strips, frame_ms(ball, [](GFX_ColorBall& b) { b.draw_triangle_strips(); }));
    }
    const GLubyte* renderer = glGetString(GL_RENDERER);
    std::printf("renderer: %s, %dx%d, %d balls of 300 triangles, best of %d rounds of %d frames\n",
                renderer ? reinterpret_cast<const char*>(renderer) : "?", WIDTH, HEIGHT, BALLS,
                ROUNDS, FRAMES);
    std::printf("immediate mode     %8.2f ms/frame\n", imm);
    std::printf("vertex arrays      %8.2f ms/frame  (immediate / arrays = %.2f)\n", arrays,
                imm / arrays);
    std::printf("triangle strips    %8.2f ms/frame  (immediate / strips = %.2f)\n", strips,
                imm / strips);
    OSMesaDestroyContext(context);
    return 0;
}
