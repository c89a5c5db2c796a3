// Finding people on a started globe, driven through the controller's own handlers as the host
// delivers keys, the wheel and the pointer: a search typed key by key selects as a click does,
// the hover label names the person under the pointer, and the wheel and keys move the camera
// within its limits.
#include "controller/sim_ctrl_nimbra.h"

#include "scene/connection.h"
#include "scene/friend.h"
#include "tests/support/globe_fixture.h"
#include "util/utf8.h"
#include "widgets/dock.h"
#include "widgets/help_panel.h"
#include "widgets/hover_label.h"
#include "widgets/round_button.h"
#include "widgets/search_field.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int W = 640;
constexpr int H = 480;
constexpr unsigned int kSpecial = UTL_SimCtrlRoot::KEY_SPECIAL;

struct Finder : GlobeFixture {
    Finder() : GlobeFixture(W, H) { start(); }

    // The user, the named people, then plain friends up to count, with the user's lines.
    void people(const std::vector<std::string>& names, int count) {
        c.add_myself("0", "Me", "", "");
        for (int i = 1; i <= count; ++i) {
            const std::string name =
                i <= static_cast<int>(names.size()) ? names[i - 1] : "Friend " + std::to_string(i);
            c.add_friend(std::to_string(i).c_str(), name.c_str(), "", "");
        }
        c.create_friends_locators();
        c.add_connections_for_myself();
        frames(2);
    }
    // Each character a key press, as the host types a string, then the frame that acts.
    void type(const std::string& text) {
        for (std::uint32_t ch : decode_utf8(text)) c.key_down(ch, 0);
        frame();
    }
    void key(unsigned int code, unsigned int flags = 0) {
        c.key_down(code, flags);
        frame();
    }
    // Frames until done() holds after one, at most a generous number.
    bool until(const std::function<bool()>& done, int limit = 2000) {
        for (int i = 0; i < limit; ++i) {
            frame();
            if (done()) return true;
        }
        return false;
    }
    GFX_LocationHolderFriend* holder_of(const std::string& name) {
        for (GFX_LocationHolder* h : c.m_loc_holders)
            if (auto* hf = dynamic_cast<GFX_LocationHolderFriend*>(h))
                if (hf->m_friend && hf->m_friend->m_name == name) return hf;
        return nullptr;
    }
    std::vector<std::string> listed() {
        std::vector<std::string> names;
        for (GFX_Friend* f : c.m_search_field->matches()) names.push_back(f->m_name);
        return names;
    }
};

// What a selection changes on the globe and in the docks.
struct Selection {
    std::vector<float> sizes;
    std::vector<bool> selected, lit, thumbs;
    bool gliding;
    float lr, ud;
    GFX_LocationHolder* holder;
    bool operator==(const Selection& o) const {
        return sizes == o.sizes && selected == o.selected && lit == o.lit && thumbs == o.thumbs &&
               gliding == o.gliding && lr == o.lr && ud == o.ud && holder == o.holder;
    }
};

Selection selection_of(UTL_SimCtrlNimbra& c) {
    Selection s{{},
                {},
                {},
                {},
                c.m_cam_transition,
                c.m_cam_target_lr,
                c.m_cam_target_ud,
                c.m_selected_holder};
    for (GFX_LocationHolder* h : c.m_loc_holders) {
        s.sizes.push_back(h->m_billboard->m_width);
        s.selected.push_back(h->m_selected);
    }
    for (GFX_Connection* l : c.m_connections)
        s.lit.push_back(dynamic_cast<GFX_ConnectionFriends*>(l)->m_highlighted);
    for (GFX_Dock* d : {c.m_myself_dock, c.m_list_dock})
        for (GFX_WidgetDocked* w : d->m_widgets) s.thumbs.push_back(w->m_selected);
    return s;
}

}  // namespace

TEST(FindPeople, SearchTypedAsKeysSelectsAsAClickDoesIgnoringAccents) {
    Finder g;
    g.people({"Åsa Öberg", "Zoë Ñúñez", "Oberon King", "Nuno Silva"}, 40);
    UTL_SimCtrlNimbra& c = g.c;

    // A letter opens the field with itself typed; the list follows every key.
    g.type("o");
    ASSERT_TRUE(c.m_search_field->is_open());
    g.type("ber");
    EXPECT_EQ(c.m_search_field->text(), "ober");
    EXPECT_EQ(g.listed(), (std::vector<std::string>{"Oberon King", "Åsa Öberg"}));
    EXPECT_EQ(c.m_rotate_mode, 0);

    // Down, then Enter: Åsa is selected exactly as a click on her locator selects her.
    g.key(UTL_SimCtrlRoot::KEY_DOWN, kSpecial);
    EXPECT_EQ(c.m_search_field->highlight(), 1);
    g.key('\r');
    EXPECT_FALSE(c.m_search_field->is_open());
    GFX_LocationHolderFriend* asa = g.holder_of("Åsa Öberg");
    ASSERT_NE(asa, nullptr);
    ASSERT_EQ(c.m_selected_holder, asa);
    const Selection by_search = selection_of(c);
    EXPECT_TRUE(by_search.gliding);
    EXPECT_FLOAT_EQ(asa->m_billboard->m_width, 2250.0f);
    c.select_loc_holder(c.m_loc_holders[0]);
    c.select_loc_holder(asa);
    EXPECT_TRUE(selection_of(c) == by_search);

    // Typed accents and case do not matter either way round.
    g.type("/ÑU");
    EXPECT_EQ(g.listed(), (std::vector<std::string>{"Nuno Silva", "Zoë Ñúñez"}));
    g.key(127);  // Backspace
    g.type("z");
    EXPECT_EQ(g.listed(), std::vector<std::string>{});
    EXPECT_EQ(c.m_search_field->text(), "Ñz");

    // No match: Enter changes nothing and the field stays; Escape closes it.
    const Selection before = selection_of(c);
    g.key('\r');
    EXPECT_TRUE(selection_of(c) == before);
    EXPECT_TRUE(c.m_search_field->is_open());
    g.key(27);
    EXPECT_FALSE(c.m_search_field->is_open());

    // 'p' shares its code with F1 and '&' with the up arrow: only the host's flag tells them
    // apart. A typed p searches, F1 shows the help, and any key hides it again.
    g.type("p");
    EXPECT_TRUE(c.m_search_field->is_open());
    EXPECT_FALSE(c.m_help_panel->m_shown);
    g.key(27);
    g.key(UTL_SimCtrlRoot::KEY_F1, kSpecial);
    EXPECT_TRUE(c.m_help_panel->m_shown);
    g.key(27);
    EXPECT_FALSE(c.m_help_panel->m_shown);
    EXPECT_FALSE(c.m_search_field->is_open());
    ASSERT_TRUE(g.until([&] { return !c.m_cam_transition; }));
    const float ud = c.m_camera->m_up_down;
    g.type("&");
    g.frames(20);
    EXPECT_FLOAT_EQ(c.m_camera->m_up_down, ud);
}

TEST(FindPeople, HoverLabelNamesThePersonUnderThePointerAndTheThumbnail) {
    Finder g;
    std::string odd = "Odd\x01\xFF";
    for (int i = 0; i < 5000; ++i) odd += "W";
    g.people({odd}, 12);
    UTL_SimCtrlNimbra& c = g.c;
    auto shown = [&]() { return c.m_hover_label->shown(); };
    auto drawn = [&](const Rgba& p) { return !g.is_background(p); };

    // Over a person on the globe: their name after a short rest, beside the pointer. (The
    // cards slide to their sides of the balls first.)
    GFX_LocationHolder* h = g.front_holder(c.m_loc_holders[0], 150, 130, W - 150, H - 150);
    ASSERT_NE(h, nullptr);
    Math_Vector3 at = g.billboard_centre(h);
    ASSERT_TRUE(g.until([&] {
        const Math_Vector3 was = at;
        at = g.billboard_centre(h);
        return (at - was).length() < 0.01f;
    }));
    c.mouse_moved(int(at.m_x), int(at.m_y), 0, 0, 0);
    g.frame();
    EXPECT_EQ(shown(), nullptr) << "no label before the pointer has rested";
    ASSERT_TRUE(g.until([&] { return shown() != nullptr; }));
    EXPECT_EQ(shown(), dynamic_cast<GFX_LocationHolderFriend*>(h)->m_friend);
    g.frame();
    const GFX_HoverLabel& label = *c.m_hover_label;
    EXPECT_GT(label.m_left, at.m_x);
    EXPECT_LT(label.m_top, at.m_y);
    const Math_Vector4& box = c.m_color_theme.m_window_color;
    const Rgba inside = g.gl.pixel(int(label.m_left) + 2, int(label.m_bottom) + 2);
    EXPECT_NEAR(inside.r, box.m_x * 255, 20);
    EXPECT_GT(g.gl.count(int(label.m_left), int(label.m_bottom), int(label.m_right),
                         int(label.m_top), [&](const Rgba& p) { return p.r < 128; }),
              20)
        << "the name's ink";

    // Over a thumbnail of the list dock at the right edge: its person, the label on the
    // pointer's left, inside the window, and a name of 5,000 bad characters cut to fit.
    GFX_WidgetDocked* thumb = c.m_list_dock->m_widgets.at(0);
    const int tx = int(thumb->m_right) - 3, ty = int(thumb->m_top) - 3;
    c.mouse_moved(tx, ty, 0, 0, 0);
    ASSERT_TRUE(g.until([&] { return shown() != nullptr; }));
    EXPECT_EQ(shown()->m_name, odd);
    g.frame();
    EXPECT_LT(label.m_right, tx);
    EXPECT_GE(label.m_left, 0.0f);
    EXPECT_LE(label.m_top, H);
    EXPECT_GT(g.gl.count(int(label.m_left), int(label.m_bottom), int(label.m_right),
                         int(label.m_top), drawn),
              200);

    // Off everybody, or pressing: hidden at once.
    c.mouse_moved(W / 2, H - 10, 0, 0, 0);
    g.frame();
    EXPECT_EQ(shown(), nullptr);
}

TEST(FindPeople, WheelAndKeysMoveTheCameraWithinItsLimits) {
    Finder g;
    g.people({}, 20);
    UTL_SimCtrlNimbra& c = g.c;
    GFX_NimbraCamera& cam = *c.m_camera;
    c.mouse_moved(W / 2, H / 2, 0, 0, 0);
    auto settled = [&]() { return c.m_zoom_target == 0.0f; };

    // One step of the wheel comes 15 % closer, eased over frames.
    const float far = cam.m_distance;
    c.mouse_wheel(1);
    g.frame();
    EXPECT_LT(cam.m_distance, far);
    EXPECT_GT(cam.m_distance, far * 0.85f);
    ASSERT_TRUE(g.until(settled));
    EXPECT_NEAR(cam.m_distance, far * 0.85f, 1.0f);

    // Many steps stop at the nearest and the farthest distance, never beyond.
    c.mouse_wheel(40);
    float nearest = 1e9f;
    ASSERT_TRUE(g.until([&] { return nearest = std::min(nearest, cam.m_distance), settled(); }));
    EXPECT_FLOAT_EQ(nearest, cam.m_min_distance);
    c.mouse_wheel(-1000);
    ASSERT_TRUE(g.until(settled));
    EXPECT_FLOAT_EQ(cam.m_distance, cam.m_max_distance);
    g.key('+');
    ASSERT_TRUE(g.until(settled));
    EXPECT_NEAR(cam.m_distance, cam.m_max_distance * 0.85f, 1.0f);
    g.key('-');
    ASSERT_TRUE(g.until(settled));
    EXPECT_FLOAT_EQ(cam.m_distance, cam.m_max_distance);

    // Over the list dock the wheel scrolls the list instead.
    GFX_WidgetDocked* thumb = c.m_list_dock->m_widgets.at(2);
    c.mouse_moved(int(thumb->m_left) + 5, int(thumb->m_bottom) + 5, 0, 0, 0);
    c.mouse_wheel(-1);
    ASSERT_TRUE(g.until([&] { return c.m_list_dock->m_scroll > 10.0f; }));
    EXPECT_FLOAT_EQ(cam.m_distance, cam.m_max_distance);

    // The arrows turn and tilt as dragging the dial's globe that way does; the elevation
    // stops at its limit.
    c.mouse_moved(W / 2, H / 2, 0, 0, 0);
    auto turned = [&]() { return c.m_turn_left == 0.0f && c.m_tilt_left == 0.0f; };
    g.until(turned);
    const float lr = cam.m_left_right, ud = cam.m_up_down;
    g.key(UTL_SimCtrlRoot::KEY_RIGHT, kSpecial);
    g.key(UTL_SimCtrlRoot::KEY_UP, kSpecial);
    ASSERT_TRUE(g.until(turned));
    EXPECT_NEAR(std::remainder(cam.m_left_right - lr, 360.0f), 10.0f, 0.01f);
    EXPECT_NEAR(cam.m_up_down, ud - 6.0f, 0.01f);
    for (int i = 0; i < 40; ++i) c.key_down(UTL_SimCtrlRoot::KEY_UP, kSpecial);
    float lowest = 0.0f;
    ASSERT_TRUE(g.until([&] { return lowest = std::min(lowest, cam.m_up_down), turned(); }));
    EXPECT_FLOAT_EQ(lowest, cam.m_min_up_down);

    // Space starts the turning with its button lit, and stops it again.
    g.key(' ');
    EXPECT_EQ(c.m_rotate_mode, 2);
    EXPECT_TRUE(c.m_rotate_buttons[1]->m_active);
    g.key(' ');
    EXPECT_EQ(c.m_rotate_mode, 0);
    EXPECT_FALSE(c.m_rotate_buttons[1]->m_active);
}
