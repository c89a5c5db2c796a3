// The frame driver between any host and the controller: start once, fixed-step updates, the
// friendship-batch pacing and batches, and events in the controller's terms. A recording
// controller stands in for the real one so no OpenGL context is needed.
#include "app/host_driver.h"

#include "controller/sim_ctrl_nimbra.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every call the host makes; draws nothing.
class RecordingController : public UTL_SimCtrlNimbra {
public:
    void start(int w, int h) override { calls.push_back("start " + size(w, h)); }
    void update(int w, int h, float dt) override
    {
        calls.push_back("update " + size(w, h));
        steps.push_back(dt);
    }
    void mouse_moved(int x, int y, int a, int b, unsigned int state) override
    {
        calls.push_back("moved " + size(x, y) + " " + std::to_string(a) + std::to_string(b) + std::to_string(state));
    }
    void mouse_down(int x, int y, unsigned int) override { calls.push_back("down " + size(x, y)); }
    void mouse_up(int x, int y, unsigned int) override { calls.push_back("up " + size(x, y)); }
    void key_down(unsigned int key, unsigned int) override { keys.push_back(key); }

    static std::string size(int a, int b) { return std::to_string(a) + "," + std::to_string(b); }
    std::vector<std::string> calls;
    std::vector<float> steps;
    std::vector<unsigned int> keys;
};

struct Batch {
    std::vector<std::string> a, b;
};

// A driver over a recording controller with n friends "f0".."f{n-1}", recording its batches.
struct Rig {
    explicit Rig(int friends) : ctrl(new RecordingController()), driver(ctrl)
    {
        for (int i = 0; i < friends; ++i) ctrl->add_friend(("f" + std::to_string(i)).c_str(), "", "", "");
        driver.m_send_are_friends = [this](const std::vector<std::string>& a, const std::vector<std::string>& b) {
            batches.push_back({a, b});
        };
    }
    RecordingController* ctrl;  // owned by the driver
    UTL_HostDriver driver;
    std::vector<Batch> batches;
};

}  // namespace

TEST(AppDriver, KeysBecomeControllerCodesOnePerCharacter) {
    Rig r(0);
    r.driver.key_chars(decode_utf8("ab 1"));
    r.driver.key_chars({kKeyUpArrow, kKeyDownArrow, kKeyLeftArrow, kKeyRightArrow, kKeyF1, kKeyF1 + 4, kKeyF1 + 11});
    r.driver.key_chars({0xF710, 0x263A});  // F13 and a smiley pass unchanged; the controller ignores them
    EXPECT_EQ(r.ctrl->keys, (std::vector<unsigned int>{97, 98, 32, 49, 38, 40, 37, 39, 112, 116, 123, 0xF710, 0x263A}));

    // Several characters of one event each give their own call; malformed bytes one each.
    EXPECT_EQ(decode_utf8("h\xC3\xA9\xE2\x82\xAC"), (std::vector<std::uint32_t>{'h', 0xE9, 0x20AC}));
    EXPECT_EQ(decode_utf8("\xC3(\xF0\x9F"), (std::vector<std::uint32_t>{0xFFFD, '(', 0xFFFD, 0xFFFD}));
    EXPECT_EQ(decode_utf8("\xC0\xAF\xED\xA0\x80"), std::vector<std::uint32_t>(5, 0xFFFD));  // overlong, surrogate
}

TEST(AppDriver, StartOnceWithTheRealSizeThenFixedSteps) {
    Rig r(0);
    r.driver.redraw(800, 600);
    r.driver.redraw(800, 600);
    r.driver.redraw(1280, 700);  // the window was resized
    EXPECT_EQ(r.ctrl->calls, (std::vector<std::string>{"start 800,600", "update 800,600", "update 800,600",
                                                       "update 1280,700"}));
    EXPECT_EQ(r.ctrl->steps, std::vector<float>(3, 0.02f));
    EXPECT_TRUE(r.driver.started());
}

TEST(AppDriver, PointerStateAndViewCoordinates) {
    Rig r(0);
    r.driver.mouse_moved(10, 20, false);
    r.driver.mouse_down(10, 20);
    r.driver.mouse_moved(15, 22, true);
    r.driver.mouse_up(15, 22);
    EXPECT_EQ(r.ctrl->calls, (std::vector<std::string>{"moved 10,20 000", "down 10,20", "moved 15,22 001", "up 15,22"}));

    // Window coordinates from the top left become view pixels from the lower left, scaled to
    // the framebuffer and truncated toward zero.
    int x = 0, y = 0;
    window_to_view(100.7, 50.2, 800, 600, 800, 600, x, y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 549);
    window_to_view(100.7, 50.2, 800, 600, 1600, 1200, x, y);  // a screen of twice the density
    EXPECT_EQ(x, 201);
    EXPECT_EQ(y, 1099);
    window_to_view(-0.5, 600.5, 800, 600, 800, 600, x, y);  // just outside, while dragging
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    window_to_view(-1e300, 1e300, 800, 600, 800, 600, x, y);
    EXPECT_LT(x, -100000);
    EXPECT_LT(y, -100000);
}

TEST(AppDriver, WithoutControllerEverythingIsDropped) {
    UTL_HostDriver driver(nullptr);
    int sent = 0;
    driver.m_send_are_friends = [&](const std::vector<std::string>&, const std::vector<std::string>&) { ++sent; };
    driver.mouse_down(1, 2);
    driver.mouse_moved(1, 2, true);
    driver.mouse_up(1, 2);
    driver.key_chars({'a'});
    driver.tick(100, 100);
    driver.request_are_friends();
    EXPECT_FALSE(driver.started());
    EXPECT_EQ(sent, 0);

    // After teardown has deleted the controller, late events are dropped too.
    Rig r(3);
    r.driver.redraw(10, 10);
    r.driver.destroy_controller();
    r.driver.mouse_down(1, 1);
    r.driver.key_chars({'x'});
    r.driver.redraw(10, 10);
    EXPECT_EQ(r.driver.controller(), nullptr);
}

TEST(AppDriver, BatchesHoldWholeRowsPastEightHundredPairs) {
    // 0 or 1 friend: nothing to ask.
    for (int n : {0, 1}) {
        Rig r(n);
        r.driver.request_are_friends();
        EXPECT_TRUE(r.batches.empty()) << n;
        EXPECT_FALSE(r.driver.m_need_more_connections_request);
    }
    // Three friends: one batch of every pair, row by row.
    {
        Rig r(3);
        r.driver.request_are_friends();
        ASSERT_EQ(r.batches.size(), 1u);
        EXPECT_EQ(r.batches[0].a, (std::vector<std::string>{"f0", "f0", "f1"}));
        EXPECT_EQ(r.batches[0].b, (std::vector<std::string>{"f1", "f2", "f2"}));
        EXPECT_FALSE(r.driver.m_need_more_connections_request);
    }
    // 42 friends, 861 pairs: 31 whole rows (806 pairs), then the 55 left.
    {
        Rig r(42);
        r.driver.request_are_friends();
        ASSERT_EQ(r.batches.size(), 1u);
        EXPECT_EQ(r.batches[0].a.size(), 806u);
        EXPECT_EQ(r.driver.m_last_conn_idx, 31u);
        EXPECT_TRUE(r.driver.m_need_more_connections_request);
        r.driver.request_are_friends();
        ASSERT_EQ(r.batches.size(), 2u);
        EXPECT_EQ(r.batches[1].a.front(), "f31");
        EXPECT_EQ(r.batches[1].b.front(), "f32");
        EXPECT_EQ(r.batches[1].a.size(), 55u);
        EXPECT_FALSE(r.driver.m_need_more_connections_request);
    }
    // 100 friends: six batches, every pair asked exactly once.
    {
        Rig r(100);
        std::vector<unsigned> starts;
        do {
            starts.push_back(r.driver.m_last_conn_idx);
            r.driver.request_are_friends();
        } while (r.driver.m_need_more_connections_request);
        std::vector<size_t> sizes;
        size_t total = 0;
        for (const Batch& b : r.batches) sizes.push_back(b.a.size()), total += b.a.size();
        EXPECT_EQ(sizes, (std::vector<size_t>{855, 855, 825, 819, 816, 780}));
        EXPECT_EQ(starts, (std::vector<unsigned>{0, 9, 19, 30, 43, 60}));
        EXPECT_EQ(total, 100u * 99u / 2u);
    }
}

TEST(AppDriver, NextBatchOnThe501stFrameAfterAFullOne) {
    Rig r(42);
    r.driver.redraw(64, 64);  // the start frame
    r.driver.request_are_friends();
    ASSERT_EQ(r.batches.size(), 1u);
    for (int frame = 1; frame <= 500; ++frame) r.driver.redraw(64, 64);
    EXPECT_EQ(r.batches.size(), 1u) << "the 500th frame must not send";
    r.driver.redraw(64, 64);
    EXPECT_EQ(r.batches.size(), 2u) << "the 501st frame sends the rest";
    // The last, partial batch ends the sequence.
    for (int frame = 0; frame < 2000; ++frame) r.driver.redraw(64, 64);
    EXPECT_EQ(r.batches.size(), 2u);

    // A shorter pace from the command line: the batch after a full one on frame N + 1.
    Rig q(100);
    q.driver.m_batch_frames = 3;
    q.driver.request_are_friends();
    for (int frame = 0; frame < 3; ++frame) q.driver.redraw(8, 8);
    EXPECT_EQ(q.batches.size(), 1u);
    q.driver.redraw(8, 8);
    EXPECT_EQ(q.batches.size(), 2u);
}
