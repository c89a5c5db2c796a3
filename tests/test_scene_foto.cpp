// Photos through the controller's photo texture manager, with local files as addresses: nothing
// is drawn before the photo has loaded, an address is queued once, photos of one address share
// one texture, and deleting a person leaves the shared texture to the others.
#include "scene/foto.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "controller/sim_ctrl_nimbra.h"
#include "photos/foto_texture_boss.h"
#include "photos/texture_foto.h"
#include "scene/friend.h"
#include "tests/support/offscreen_gl.h"
#include "tests/support/photo_files.h"

namespace {

constexpr int W = 64;
constexpr int H = 64;

// Polls the photo on the main thread (as the frames do) until its texture has arrived.
OGL_TextureFoto* wait_for_texture(GFX_Foto& foto) {
    for (int i = 0; i < 500; ++i) {
        if (OGL_TextureFoto* t = foto.get_texture()) return t;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

void clear_and_set_pixel_projection() {
    glViewport(0, 0, W, H);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, W, 0, H, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
}

int red_pixels(OffscreenGL& gl) {
    return gl.count([](const Rgba& p) { return p.r > 200 && p.g < 60 && p.b < 60; });
}

}  // namespace

TEST(SceneFoto, WithoutControllerManagerOrAddressThereIsNoTextureAndNoDraw) {
    OffscreenGL gl(W, H);
    ASSERT_TRUE(gl.ok());
    clear_and_set_pixel_projection();

    GFX_Foto orphan(nullptr);
    orphan.m_url = "./data/config/question.tga";
    EXPECT_EQ(orphan.get_texture(), nullptr);
    orphan.draw_quad(0, W, H, 0);

    UTL_SimCtrlNimbra controller;  // not started: no photo texture manager yet
    GFX_Foto early(&controller);
    early.m_url = "./data/config/question.tga";
    EXPECT_EQ(early.get_texture(), nullptr);

    controller.m_foto_texture_boss = new UTL_FotoTextureBoss();  // the controller deletes it
    GFX_Foto empty(&controller);
    EXPECT_EQ(empty.get_texture(), nullptr);
    empty.draw_quad_cut(0, W, H, 0);
    EXPECT_TRUE(controller.m_foto_texture_boss->m_serfs.empty()) << "an empty address is never queued";
    EXPECT_EQ(gl.count([](const Rgba& p) { return p.r || p.g || p.b; }), 0);
}

TEST(SceneFoto, DrawsOnlyOnceLoadedAndSharesOneTexturePerAddress) {
    OffscreenGL gl(W, H);
    ASSERT_TRUE(gl.ok());
    PhotoDir dir;
    ASSERT_FALSE(dir.make("red.jpg", "-size 40x20 xc:red").empty());
    const std::string url = dir.file("red.jpg");

    UTL_SimCtrlNimbra controller;
    controller.m_foto_texture_boss = new UTL_FotoTextureBoss();
    controller.m_foto_texture_boss->start();

    // Two people with the same photo address, as the dock and the locator of a person have.
    GFX_Friend* ann = new GFX_Friend(&controller);
    GFX_Friend* bob = new GFX_Friend(&controller);
    ann->load_foto(url.c_str());
    bob->load_foto(url.c_str());

    clear_and_set_pixel_projection();
    ann->m_foto->draw_quad(0, W, H, 0);  // the first request: queued, nothing to draw yet
    EXPECT_EQ(red_pixels(gl), 0);
    bob->m_foto->get_texture();  // the same address again: no second entry
    EXPECT_EQ(controller.m_foto_texture_boss->m_serfs.size(), 1u);

    OGL_TextureFoto* texture = wait_for_texture(*ann->m_foto);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(bob->m_foto->get_texture(), texture);
    EXPECT_EQ(controller.m_foto_texture_boss->m_serfs.size(), 1u);

    // A 40 x 20 photo fitted into the 64 x 64 window: full width, a band of 32 rows.
    clear_and_set_pixel_projection();
    ann->m_foto->draw_quad(0, W, H, 0);
    EXPECT_NEAR(red_pixels(gl), W * 32, W * 2);
    // Cut to fill the box instead: every pixel.
    clear_and_set_pixel_projection();
    ann->m_foto->draw_quad_cut(0, W, H, 0);
    EXPECT_EQ(red_pixels(gl), W * H);

    // Deleting one person deletes its photo, not the texture the other still shows.
    delete ann;
    EXPECT_EQ(bob->m_foto->get_texture(), texture);
    clear_and_set_pixel_projection();
    bob->m_foto->draw_quad_cut(0, W, H, 0);
    EXPECT_EQ(red_pixels(gl), W * H);
    delete bob;
}
