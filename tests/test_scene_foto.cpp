// Photos through the controller's photo texture manager, with local files as addresses: nothing
// is drawn before the photo has loaded, an address is queued once, photos of one address share
// one texture, and deleting a person leaves the shared texture to the others.
#include "scene/foto.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "controller/sim_ctrl_nimbra.h"
#include "photos/foto_texture_boss.h"
#include "photos/texture_foto.h"
#include "scene/friend.h"
#include "tests/support/offscreen_gl.h"
#include "util/image.h"
#include "tests/support/photo_files.h"
#include "tests/support/wait.h"

namespace {

constexpr int S = 64;  // window side in pixels

// Clears to black and draws one photo over the window, fitted or cut; answers the red pixels.
int draw_red(OffscreenGL& gl, GFX_Foto& foto, bool cut) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, S, 0, S, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(1, 1, 1, 1);
    cut ? foto.draw_quad_cut(0, S, S, 0) : foto.draw_quad(0, S, S, 0);
    return gl.count([](const Rgba& p) { return p.r > 200 && p.g < 60 && p.b < 60; });
}

// Gives the controller a started photo manager that reads local files (the controller deletes
// it).
UTL_FotoTextureBoss* start_local_photos(UTL_SimCtrlNimbra& controller) {
    UTL_FotoSettings local;
    local.m_allow_local_paths = true;
    controller.m_foto_texture_boss = new UTL_FotoTextureBoss(local);
    controller.m_foto_texture_boss->start();
    return controller.m_foto_texture_boss;
}

}  // namespace

TEST(SceneFoto, WithoutControllerManagerOrAddressThereIsNoTexture) {
    OffscreenGL gl(S, S);
    GFX_Foto orphan(nullptr);
    orphan.m_url = "./data/config/question.tga";
    EXPECT_EQ(orphan.get_texture(), nullptr);
    EXPECT_EQ(draw_red(gl, orphan, false), 0);

    UTL_SimCtrlNimbra controller;  // not started: no photo texture manager yet
    GFX_Foto early(&controller);
    early.m_url = "./data/config/question.tga";
    EXPECT_EQ(early.get_texture(), nullptr);

    controller.m_foto_texture_boss = new UTL_FotoTextureBoss();  // the controller deletes it
    GFX_Foto empty(&controller);
    EXPECT_EQ(empty.get_texture(), nullptr);
    EXPECT_TRUE(controller.m_foto_texture_boss->m_serfs.empty())
        << "an empty address is never queued";
}

TEST(SceneFoto, DrawsOnlyOnceLoadedAndSharesOneTexturePerAddress) {
    OffscreenGL gl(S, S);
    PhotoDir dir;
    ASSERT_FALSE(dir.make("red.jpg", "-size 40x20 xc:red").empty());
    const std::string url = dir.file("red.jpg");
    UTL_SimCtrlNimbra controller;
    start_local_photos(controller);

    // Two people with the same photo address.
    GFX_Friend* ann = new GFX_Friend(&controller);
    GFX_Friend* bob = new GFX_Friend(&controller);
    ann->load_foto(url.c_str());
    bob->load_foto(url.c_str());

    EXPECT_EQ(draw_red(gl, *ann->m_foto, false), 0);  // the first request only queues
    bob->m_foto->get_texture();
    EXPECT_EQ(controller.m_foto_texture_boss->m_serfs.size(), 1u);

    OGL_TextureFoto* texture = nullptr;
    ASSERT_TRUE(wait_until([&] { return (texture = ann->m_foto->get_texture()) != nullptr; }))
        << "the photo worker did not load " << url << " within 60 s";
    EXPECT_EQ(bob->m_foto->get_texture(), texture);
    EXPECT_EQ(controller.m_foto_texture_boss->m_serfs.size(), 1u);
    // 40 x 20 fitted into 64 x 64: full width, a band of 32 rows; cut: every pixel.
    EXPECT_NEAR(draw_red(gl, *ann->m_foto, false), S * 32, S * 2);
    EXPECT_EQ(draw_red(gl, *ann->m_foto, true), S * S);

    // Deleting one person deletes its photo, not the texture the other still shows.
    delete ann;
    EXPECT_EQ(bob->m_foto->get_texture(), texture);
    EXPECT_EQ(draw_red(gl, *bob->m_foto, true), S * S);
    delete bob;
}

TEST(SceneFoto, TheSquarePhotoIsDecodedSmallAndTheLargeOneOfTheSameAddressWhole) {
    OffscreenGL gl(S, S);
    PhotoDir dir;
    ASSERT_FALSE(dir.make("wide.jpg", "-size 600x400 xc:red").empty());
    const std::string url = dir.file("wide.jpg");
    UTL_SimCtrlNimbra controller;
    start_local_photos(controller);

    // One address for both photos, as Bluesky and Mastodon give it.
    GFX_Friend* ann = new GFX_Friend(&controller);
    ann->load_foto(url.c_str());
    ann->load_foto_square(url.c_str());
    OGL_TextureFoto *large = nullptr, *square = nullptr;
    ASSERT_TRUE(wait_until([&] {
        large = ann->m_foto->get_texture();
        square = ann->m_foto_square->get_texture();
        return large && square;
    })) << "the photo worker did not load "
        << url << " twice within 60 s";
    EXPECT_NE(large, square);
    EXPECT_EQ(controller.m_foto_texture_boss->m_serfs.size(), 2u);
    ASSERT_TRUE(large->get_image() && square->get_image());
    EXPECT_EQ(large->get_image()->m_width, 600u);
    EXPECT_LE(square->get_image()->m_width, GFX_Friend::k_square_side);
    EXPECT_GE(square->get_image()->m_width, GFX_Friend::k_square_side / 2);
    // Smaller, not cut: the same shape, and it still draws.
    EXPECT_NEAR(double(square->get_image()->m_height) / square->get_image()->m_width, 400.0 / 600.0,
                0.02);
    EXPECT_EQ(draw_red(gl, *ann->m_foto_square, true), S * S);
    delete ann;
}

TEST(SceneFoto, APhotoNotAskedForIsReleasedAndComesBackWhenAskedAgain) {
    OffscreenGL gl(S, S);
    PhotoDir dir;
    ASSERT_FALSE(dir.make("red.jpg", "-size 40x20 xc:red").empty());
    ASSERT_FALSE(dir.make("broken.jpg", "-size 8x8 xc:blue").empty());
    {
        std::ofstream cut(dir.file("broken.jpg"), std::ios::binary | std::ios::trunc);
        cut << "\xff\xd8\xff";  // a JPEG cut short: no pixels, the placeholder
    }
    UTL_SimCtrlNimbra controller;
    UTL_FotoTextureBoss* boss = start_local_photos(controller);
    GFX_Friend ann(&controller), bob(&controller);
    ann.load_foto(dir.file("red.jpg").c_str());
    bob.load_foto(dir.file("broken.jpg").c_str());
    ASSERT_TRUE(wait_until([&] {
        return ann.m_foto->get_texture() != nullptr && bob.m_foto->get_texture() != nullptr;
    })) << "the photo worker did not load both within 60 s";
    EXPECT_EQ(draw_red(gl, *ann.m_foto, true), S * S);

    // Asked for just now: kept. A minute on: the photo goes; the broken one, which has no
    // pixels to give back, stays as it is.
    const double now = UTL_FotoTextureBoss::steady_seconds();
    EXPECT_EQ(boss->release_unused(now, 60.0), 0u);
    EXPECT_EQ(boss->release_unused(now + 61.0, 60.0), 1u);
    EXPECT_EQ(boss->release_unused(now + 122.0, 60.0), 0u) << "released twice";
    EXPECT_NE(bob.m_foto->get_texture(), nullptr);

    // Asked for again, it loads anew, with its pixels.
    ASSERT_TRUE(wait_until([&] { return ann.m_foto->get_texture() != nullptr; }))
        << "the released photo did not come back within 60 s";
    EXPECT_EQ(draw_red(gl, *ann.m_foto, true), S * S);
}
