// End to end, offscreen: the demo network reaches the real controller through the embedded
// service over HTTP: the user and every friend, their portraits downloaded and decoded, every
// friendship, and the status line over the scene while they come.
#include "sources/service_source.h"
#include "controller/sim_ctrl_nimbra.h"
#include "photos/foto_texture_boss.h"
#include "photos/texture_foto.h"
#include "scene/connection.h"
#include "scene/friend.h"
#include "service/social_service.h"
#include "tests/support/offscreen_gl.h"
#include "util/image.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(AcquisitionDemo, TheDemoNetworkArrivesThroughTheEmbeddedService) {
    const int W = 480, H = 360;
    OffscreenGL gl(W, H);
    ASSERT_TRUE(gl.ok());
    UTL_SimCtrlNimbra controller;
    controller.start(W, H);

    UTL_ServiceSourceOptions options;
    options.m_keep_session = false;
    std::string title;
    UTL_ServiceSource acquisition(
        &controller, [&](const std::string& t) { title = t; }, options);
    std::string error;
    ASSERT_TRUE(acquisition.start(error)) << error;
    ASSERT_NE(acquisition.embedded_service(), nullptr);
    const UTL_SocialNetwork& network = acquisition.embedded_service()->network();

    // Frames as the host runs them: the answers between frames and the status line, then the
    // update.
    auto frame = [&] {
        acquisition.tick();
        controller.m_status_line.set_text(acquisition.status_text());
        controller.update(W, H, 0.02f);
    };
    auto until = [&](auto done, int seconds) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done() && std::chrono::steady_clock::now() < end) frame();
        return done();
    };
    // White glyphs in the top bar, right of the product logo.
    auto status_pixels = [&] {
        return gl.count(140, H - 28, W - 8, H - 4,
                        [](const Rgba& p) { return p.r > 200 && p.g > 200 && p.b > 200; });
    };
    // The frame that took the people drew the line the batches start with.
    ASSERT_TRUE(until([&] { return acquisition.people_loaded(); }, 60));
    const std::string loading = controller.m_status_line.text();
    EXPECT_EQ(loading.rfind("Friendships: 0 of ", 0), 0u) << loading;
    EXPECT_GT(status_pixels(), 100);
    ASSERT_TRUE(until([&] { return acquisition.finished(); }, 120));
    frame();
    EXPECT_EQ(controller.m_status_line.text(), "");
    EXPECT_EQ(status_pixels(), 0) << "the line is hidden once everything is in";
    EXPECT_EQ(acquisition.phase(), UTL_ServiceSource::Phase::kDone);

    ASSERT_NE(controller.m_myself, nullptr);
    EXPECT_EQ(controller.m_myself->m_uid, network.ego()->m_uid);
    EXPECT_EQ(title, "Nimbra | " + network.ego()->m_name);
    ASSERT_EQ(controller.m_friends.size(), network.friends().size());
    EXPECT_GE(controller.m_friends.size(), 150u);
    int without_photo = 0;
    for (size_t i = 0; i < controller.m_friends.size(); ++i) {
        EXPECT_EQ(controller.m_friends[i]->m_uid, network.friends()[i]);
        without_photo += !controller.m_friends[i]->m_has_foto;
    }
    EXPECT_GT(without_photo, 0);
    EXPECT_LT(without_photo, static_cast<int>(controller.m_friends.size()) / 4);
    EXPECT_EQ(controller.m_loc_holders.size(), controller.m_friends.size() + 1);

    // One line from the user to each friend, one per friendship among the friends.
    EXPECT_EQ(controller.m_connections.size(),
              controller.m_friends.size() + network.friendships_among_friends());
    EXPECT_GT(acquisition.sent_batches().size(), 5u);

    // The portraits the frames asked for come over HTTP and decode to their real size.
    auto loaded_portraits = [&] {
        int n = 0;
        UTL_FotoTextureBoss* boss = controller.m_foto_texture_boss;
        boss->lock();
        for (auto& [url, serf] : boss->m_serfs) {
            const GFX_Image* image = serf->m_texture ? serf->m_texture->get_image() : nullptr;
            if (serf->m_loaded && url.rfind("http://127.0.0.1:", 0) == 0 && image &&
                ((image->m_width == 100 && image->m_height == 125) ||
                 (image->m_width == 50 && image->m_height == 50))) {
                ++n;
            }
        }
        boss->unlock();
        return n;
    };
    EXPECT_TRUE(until([&] { return loaded_portraits() >= 20; }, 60)) << loaded_portraits();
    acquisition.connection()->shutdown();
}
