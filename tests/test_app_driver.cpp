// The frame driver between any host and the controller: start once, fixed-step updates after
// the work between frames, and events in the controller's terms. A recording
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
    void update(int w, int h, float dt) override {
        calls.push_back("update " + size(w, h));
        steps.push_back(dt);
    }
    void mouse_moved(int x, int y, int a, int b, unsigned int state) override {
        calls.push_back("moved " + size(x, y) + " " + std::to_string(a) + std::to_string(b) +
                        std::to_string(state));
    }
    void mouse_down(int x, int y, unsigned int) override { calls.push_back("down " + size(x, y)); }
    void mouse_up(int x, int y, unsigned int) override { calls.push_back("up " + size(x, y)); }
    void key_down(unsigned int key, unsigned int) override { keys.push_back(key); }

    static std::string size(int a, int b) { return std::to_string(a) + "," + std::to_string(b); }
    std::vector<std::string> calls;
    std::vector<float> steps;
    std::vector<unsigned int> keys;
};

// A driver over a recording controller.
struct Rig {
    Rig() : ctrl(new RecordingController()), driver(ctrl) {}
    RecordingController* ctrl;  // owned by the driver
    UTL_HostDriver driver;
};

}  // namespace

TEST(AppDriver, KeysBecomeControllerCodesOnePerCharacter) {
    Rig r;
    r.driver.key_chars(decode_utf8("ab 1"));
    r.driver.key_chars({kKeyUpArrow, kKeyDownArrow, kKeyLeftArrow, kKeyRightArrow, kKeyF1,
                        kKeyF1 + 4, kKeyF1 + 11});
    r.driver.key_chars(
        {0xF710, 0x263A});  // F13 and a smiley pass unchanged; the controller ignores them
    EXPECT_EQ(r.ctrl->keys, (std::vector<unsigned int>{97, 98, 32, 49, 38, 40, 37, 39, 112, 116,
                                                       123, 0xF710, 0x263A}));

    // Several characters of one event each give their own call; malformed bytes one each.
    EXPECT_EQ(decode_utf8("h\xC3\xA9\xE2\x82\xAC"),
              (std::vector<std::uint32_t>{'h', 0xE9, 0x20AC}));
    EXPECT_EQ(decode_utf8("\xC3(\xF0\x9F"),
              (std::vector<std::uint32_t>{0xFFFD, '(', 0xFFFD, 0xFFFD}));
    EXPECT_EQ(decode_utf8("\xC0\xAF\xED\xA0\x80"),
              std::vector<std::uint32_t>(5, 0xFFFD));  // overlong, surrogate
}

TEST(AppDriver, StartOnceWithTheRealSizeThenFixedSteps) {
    Rig r;
    // The work between frames (answers, the batch pacing's frame count) runs once per tick,
    // before that tick's update.
    r.driver.m_between_frames = [&r]() { r.ctrl->calls.push_back("between"); };
    r.driver.tick(800, 600);
    r.driver.tick(800, 600);
    r.driver.tick(1280, 700);  // the window was resized
    EXPECT_EQ(r.ctrl->calls,
              (std::vector<std::string>{"between", "start 800,600", "update 800,600", "between",
                                        "update 800,600", "between", "update 1280,700"}));
    EXPECT_EQ(r.ctrl->steps, std::vector<float>(3, 0.02f));
    EXPECT_TRUE(r.driver.started());
}

TEST(AppDriver, PointerStateAndViewCoordinates) {
    Rig r;
    r.driver.mouse_moved(10, 20, false);
    r.driver.mouse_down(10, 20);
    r.driver.mouse_moved(15, 22, true);
    r.driver.mouse_up(15, 22);
    EXPECT_EQ(r.ctrl->calls, (std::vector<std::string>{"moved 10,20 000", "down 10,20",
                                                       "moved 15,22 001", "up 15,22"}));

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
    driver.mouse_down(1, 2);
    driver.mouse_moved(1, 2, true);
    driver.mouse_up(1, 2);
    driver.key_chars({'a'});
    driver.tick(100, 100);
    EXPECT_FALSE(driver.started());

    // After teardown has deleted the controller, late events are dropped too.
    Rig r;
    r.driver.redraw(10, 10);
    r.driver.destroy_controller();
    r.driver.mouse_down(1, 1);
    r.driver.key_chars({'x'});
    r.driver.redraw(10, 10);
    EXPECT_EQ(r.driver.controller(), nullptr);
}
