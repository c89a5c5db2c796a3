// The overlay controls driven through the controller's own event handlers at pixel positions,
// frame by frame, as the host delivers a user's mouse: rotate buttons, the dial, the docks and
// the maker logo, and what the user then sees on the globe and on the screen.
#include "controller/sim_ctrl_nimbra.h"

#include "gfx/ogl_wrapper.h"
#include "scene/billboard.h"
#include "scene/camera.h"
#include "scene/connection.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "tests/support/globe_fixture.h"
#include "widgets/dock.h"
#include "widgets/navigation_dial.h"
#include "widgets/person_card.h"
#include "widgets/round_button.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int W = 640;
constexpr int H = 480;

// Rotate button centres (28 x 28 at x = 1, 93, 121, y = 1) and the dial's centre.
constexpr int kButtonX[3] = {15, 107, 135};
constexpr int kButtonY = 15;
constexpr int kDialX = 61;
constexpr int kDialY = 61;

struct Globe : GlobeFixture {
    std::vector<std::string> opened;

    Globe() : GlobeFixture(W, H) {
        c.m_open_url = [this](const std::string& page) { opened.push_back(page); };
        start();
    }

    // The user and friends "1" .. "n" with the user's lines and a chain of friendships among
    // the friends.
    void people(int friends) {
        GlobeFixture::people(friends);
        c.add_connections_for_myself();
        for (int i = 1; i < friends; ++i)
            c.add_connection(std::to_string(i).c_str(), std::to_string(i + 1).c_str(), 0.4f, false);
        frames(2);
    }

    // Each handler call is followed by the frame that acts on it.
    void move(int x, int y, bool drag = false) {
        c.mouse_moved(x, y, 0, 0, drag ? 1u : 0u), frame();
    }
    void press(int x, int y) { c.mouse_down(x, y, 0), frame(); }
    void release(int x, int y) { c.mouse_up(x, y, 0), frame(); }
    // Press and release between two frames, as a quick click arrives.
    void click(int x, int y) {
        c.mouse_moved(x, y, 0, 0, 0);
        c.mouse_down(x, y, 0);
        c.mouse_up(x, y, 0);
        frame();
    }

    GFX_WidgetDockedFriend* thumb(GFX_Dock* dock, size_t i) {
        return dynamic_cast<GFX_WidgetDockedFriend*>(dock->m_widgets.at(i));
    }
    void click_thumb(GFX_Dock* dock, size_t i) {
        GFX_WidgetDocked* w = dock->m_widgets.at(i);
        click(int((w->m_left + w->m_right) / 2), int((w->m_top + w->m_bottom) / 2));
    }

    // A locator on the near side, well inside the 3D area, other than skip.
    GFX_LocationHolder* front_holder(GFX_LocationHolder* skip = nullptr) {
        return GlobeFixture::front_holder(skip, 150, 130, W - 150, H - 150);
    }

    int drawn(int x0, int y0, int x1, int y1) {
        return gl.count(x0, y0, x1, y1, [this](const Rgba& p) { return !is_background(p); });
    }
};

// Everything a selection changes, on the globe and in the docks.
struct Selection {
    std::vector<float> billboard_sizes;
    std::vector<bool> selected;
    std::vector<bool> lines_lit;
    std::vector<bool> thumbs_selected;
    bool gliding = false;
    float target_lr = 0, target_ud = 0;
    GFX_LocationHolder* holder = nullptr;
};

Selection selection_of(UTL_SimCtrlNimbra& c) {
    Selection s;
    for (GFX_LocationHolder* h : c.m_loc_holders) {
        s.billboard_sizes.push_back(h->m_billboard->m_width);
        s.selected.push_back(h->m_selected);
    }
    for (GFX_Connection* l : c.m_connections)
        s.lines_lit.push_back(dynamic_cast<GFX_ConnectionFriends*>(l)->m_highlighted);
    for (GFX_Dock* d : {c.m_myself_dock, c.m_list_dock})
        for (GFX_WidgetDocked* w : d->m_widgets) s.thumbs_selected.push_back(w->m_selected);
    s.gliding = c.m_cam_transition;
    s.target_lr = c.m_cam_target_lr;
    s.target_ud = c.m_cam_target_ud;
    s.holder = c.m_selected_holder;
    return s;
}

void expect_same(const Selection& a, const Selection& b) {
    EXPECT_EQ(a.billboard_sizes, b.billboard_sizes);
    EXPECT_EQ(a.selected, b.selected);
    EXPECT_EQ(a.lines_lit, b.lines_lit);
    EXPECT_EQ(a.thumbs_selected, b.thumbs_selected);
    EXPECT_EQ(a.gliding, b.gliding);
    EXPECT_EQ(a.target_lr, b.target_lr);
    EXPECT_EQ(a.target_ud, b.target_ud);
    EXPECT_EQ(a.holder, b.holder);
}

std::vector<bool> active_buttons(UTL_SimCtrlNimbra& c) {
    std::vector<bool> a;
    for (GFX_WidgetRoundButton* b : c.m_rotate_buttons) a.push_back(b->m_active);
    return a;
}

}  // namespace

TEST(Overlay, RotateButtonsStartTheirMotionAndAnyPressStopsIt) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    g.people(6);

    // Fifty idle seconds start a motion and light its button alone.
    for (int i = 0; i < 102 && c.m_rotate_mode == 0; ++i) c.update(W, H, 0.5f);
    ASSERT_GE(c.m_rotate_mode, 1);
    std::vector<bool> lit(3, false);
    lit[c.m_rotate_mode - 1] = true;
    EXPECT_EQ(active_buttons(c), lit);

    // Each button: the press stops the running motion, the release starts the button's own.
    for (int k = 0; k < 3; ++k) {
        g.move(kButtonX[k], kButtonY);
        g.press(kButtonX[k], kButtonY);
        EXPECT_EQ(c.m_rotate_mode, 0);
        EXPECT_EQ(active_buttons(c), std::vector<bool>(3, false));
        EXPECT_FALSE(c.m_dragging) << "the press went to the scene as well";
        g.release(kButtonX[k], kButtonY);
        EXPECT_EQ(c.m_rotate_mode, k + 1);
        std::vector<bool> only(3, false);
        only[k] = true;
        EXPECT_EQ(active_buttons(c), only);
    }
    // Mode 3 jumps to a person at once rather than after the usual wait.
    // (The person is random; it may be the one the camera already faces, so no glide is due.)
    g.frame();
    ASSERT_NE(c.m_selected_holder, nullptr);
    EXPECT_TRUE(c.m_selected_holder->m_selected);

    // Button 1 turns the camera the other way from button 0; the click ends the glide.
    g.click(kButtonX[0], kButtonY);
    float lr = c.m_camera->m_left_right;
    g.frames(10);
    EXPECT_NEAR(std::remainder(c.m_camera->m_left_right - lr, 360.0f), -3.5f, 0.01);
    g.click(kButtonX[1], kButtonY);
    lr = c.m_camera->m_left_right;
    g.frames(10);
    EXPECT_NEAR(std::remainder(c.m_camera->m_left_right - lr, 360.0f), 3.5f, 0.01);

    // A press that leaves the button before the release clicks nothing.
    g.press(kButtonX[2], kButtonY);
    g.move(kButtonX[2], 60, true);
    g.release(kButtonX[2], 60);
    EXPECT_EQ(c.m_rotate_mode, 0);
    EXPECT_EQ(active_buttons(c), std::vector<bool>(3, false));

    // Button 0 under the dial's square: its corner outside the round zones is the button's,
    // a point inside the ring is the dial's.
    g.click(8, 8);
    EXPECT_EQ(c.m_rotate_mode, 1);
    g.press(25, 25);  // 51 pixels from the dial's centre
    EXPECT_TRUE(c.m_nav_dial->m_drag_dial);
    g.release(25, 25);
    EXPECT_EQ(c.m_rotate_mode, 0);
    EXPECT_FALSE(c.m_rotate_buttons[0]->m_active);
}

TEST(Overlay, DialDragsTurnTheCameraAndTheReleaseGoesOnToTheScene) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    g.people(6);
    GFX_LocationHolder* selected = c.m_selected_holder;

    // Globe zone: 10 pixels right and 4 up turn by +4 and -1 degrees.
    const float lr = c.m_camera->m_left_right, ud = c.m_camera->m_up_down;
    g.move(kDialX, kDialY + 20);
    g.press(kDialX, kDialY + 20);
    EXPECT_TRUE(c.m_nav_dial->m_drag_globe);
    EXPECT_FALSE(c.m_dragging);
    g.move(kDialX + 10, kDialY + 24, true);
    EXPECT_NEAR(c.m_camera->m_left_right, lr + 4, 1e-3);
    EXPECT_NEAR(c.m_camera->m_up_down, ud - 1, 1e-3);
    // The dial shows the camera it turned.
    EXPECT_FLOAT_EQ(c.m_nav_dial->m_left_right, c.m_camera->m_left_right);

    // Out over the scene in a fast sweep, released there: the dial lets go, and the scene,
    // which never dragged, neither spins nor picks.
    g.move(300, 200, true);
    g.release(330, 200);
    EXPECT_FALSE(c.m_nav_dial->m_drag_globe);
    EXPECT_FALSE(c.m_dragging);
    EXPECT_EQ(c.m_rotate_mode, 0);
    EXPECT_EQ(c.m_selected_holder, selected);

    // Ring zone: a quarter turn clockwise about the centre turns the camera by +90 degrees.
    const float lr2 = c.m_camera->m_left_right;
    g.move(kDialX + 50, kDialY);
    g.press(kDialX + 50, kDialY);
    EXPECT_TRUE(c.m_nav_dial->m_drag_dial);
    g.move(kDialX, kDialY - 50, true);
    EXPECT_NEAR(std::remainder(c.m_camera->m_left_right - (lr2 + 90), 360.0f), 0, 0.05);
    g.release(kDialX, kDialY - 50);
    EXPECT_FALSE(c.m_nav_dial->m_drag_dial);
    g.move(kDialX + 50, kDialY);  // a move without a press turns nothing
    EXPECT_NEAR(std::remainder(c.m_camera->m_left_right - (lr2 + 90), 360.0f), 0, 0.05);
}

TEST(Overlay, ThumbnailClickSelectsExactlyAsAClickOnTheGlobe) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    g.people(8);

    GFX_LocationHolder* target = g.front_holder(c.m_loc_holders[0]);
    ASSERT_NE(target, nullptr);
    auto* tf = dynamic_cast<GFX_LocationHolderFriend*>(target);
    size_t index = 0;
    while (c.m_friends[index] != tf->m_friend) ++index;
    const Math_Vector3 at = g.billboard_centre(target);

    // On the globe.
    g.click(int(at.m_x), int(at.m_y));
    ASSERT_EQ(c.m_selected_holder, target);
    const Selection by_globe = selection_of(c);
    EXPECT_TRUE(g.thumb(c.m_list_dock, index)->m_selected);

    // Back to the user through the myself dock; that is the user's locator selected.
    g.frames(100);
    g.click_thumb(c.m_myself_dock, 0);
    EXPECT_EQ(c.m_selected_holder, c.m_loc_holders[0]);
    EXPECT_TRUE(c.m_loc_holders[0]->m_selected);
    EXPECT_FALSE(g.thumb(c.m_list_dock, index)->m_selected);
    EXPECT_TRUE(g.thumb(c.m_myself_dock, 0)->m_selected);
    g.frames(100);

    // Through the thumbnail: the very same state.
    g.click_thumb(c.m_list_dock, index);
    const Selection by_thumb = selection_of(c);
    expect_same(by_globe, by_thumb);
    EXPECT_EQ(by_thumb.billboard_sizes[0], 750);
    EXPECT_EQ(target->m_billboard->m_width, 2250);

    // And the camera glides over the person.
    g.frames(150);
    EXPECT_FALSE(c.m_cam_transition);
    EXPECT_NEAR(c.m_camera->m_up_down, target->m_latitude, 1.01);
    EXPECT_NEAR(std::remainder(c.m_camera->m_left_right - target->m_longitude, 360.0f), 0, 1.01);
}

TEST(Overlay, ThumbnailDragScrollsAndClicksNothing) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    g.people(30);
    GFX_Dock* dock = c.m_list_dock;
    const Selection before = selection_of(c);
    const float lr = c.m_camera->m_left_right;

    // 6 pixels of drag in two steps: the list follows, nothing is selected, the globe stays.
    GFX_WidgetDocked* w = dock->m_widgets[2];
    const int x = int((w->m_left + w->m_right) / 2), y = int((w->m_top + w->m_bottom) / 2);
    g.move(x, y);
    g.press(x, y);
    EXPECT_FALSE(c.m_dragging);
    g.move(x, y + 3, true);
    g.move(x, y + 6, true);
    g.release(x, y + 6);
    EXPECT_NEAR(dock->m_scroll, 6, 0.01);
    expect_same(before, selection_of(c));
    EXPECT_EQ(c.m_camera->m_left_right, lr);

    // 3 pixels is still a click.
    w = dock->m_widgets[4];
    const int x2 = int((w->m_left + w->m_right) / 2), y2 = int((w->m_top + w->m_bottom) / 2);
    g.move(x2, y2);
    g.press(x2, y2);
    g.move(x2, y2 + 3, true);
    g.release(x2, y2 + 3);
    EXPECT_TRUE(g.thumb(dock, 4)->m_selected);
    EXPECT_EQ(dynamic_cast<GFX_LocationHolderFriend*>(c.m_selected_holder)->m_friend,
              c.m_friends[4]);
}

TEST(Overlay, MakerLogoBrightensUnderThePointerAndOpensTheAboutPage) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    g.people(4);
    auto logo_light = [&] {
        long sum = 0;
        for (int x = W - 200; x < W - 70; ++x)
            for (int y = 0; y < 26; ++y) sum += g.gl.pixel(x, y).r;
        return sum;
    };

    g.move(W / 2, 10);
    EXPECT_FALSE(c.m_top_bar_highlighted);
    const long dim = logo_light();
    g.move(W - 100, 10);
    EXPECT_TRUE(c.m_top_bar_highlighted);
    EXPECT_GT(logo_light(), dim + 1000);
    g.move(W - 100, 27);
    EXPECT_FALSE(c.m_top_bar_highlighted);
    g.move(W - 201, 10);
    EXPECT_FALSE(c.m_top_bar_highlighted);

    // A flick from the globe that ends on the logo: the page opens and the scene still gets
    // its release, which starts the spin.
    g.move(300, 200);
    g.press(300, 200);
    for (int x = 310; x < W - 100; x += 30) g.move(x, 200 - (x - 300) * 190 / (W - 400), true);
    g.move(W - 105, 10, true);
    g.release(W - 100, 10);
    ASSERT_EQ(g.opened.size(), 1u);
    EXPECT_EQ(g.opened[0], UTL_SimCtrlNimbra::ABOUT_PAGE);
    EXPECT_EQ(c.m_rotate_mode, 2);

    // Elsewhere a release opens nothing; without an opener the logo does nothing.
    g.click(W / 2, 10);
    EXPECT_EQ(g.opened.size(), 1u);
    c.m_open_url = nullptr;
    g.move(W - 100, 10);
    g.click(W - 100, 10);
    EXPECT_EQ(g.opened.size(), 1u);
}

TEST(Overlay, MissingControlsAreSkippedAndLatePeopleGetThumbnails) {
    OffscreenGL gl(W, H);
    UTL_SimCtrlNimbra c;
    // Before start: no controls at all.
    c.add_myself("0", "Me", "", "");
    c.add_friend("1", "Ann", "", "");
    c.add_friend("2", "Bob", "", "");
    c.create_friends_locators();
    EXPECT_FALSE(c.mouse_down_buttons(15, 15));
    EXPECT_FALSE(c.mouse_move_buttons(15, 15));
    EXPECT_FALSE(c.mouse_up_buttons(15, 15));
    c.update_buttons(0.02f);
    c.update_navigation_widgets(0.02f);
    c.activate_rotate_button(2);
    c.select_dock_friend(c.m_loc_holders[1]);
    c.draw_buttons();

    // The people who came first still get their thumbnails.
    c.start(W, H);
    ASSERT_EQ(c.m_myself_dock->m_widgets.size(), 1u);
    ASSERT_EQ(c.m_list_dock->m_widgets.size(), 2u);
    EXPECT_EQ(dynamic_cast<GFX_WidgetDockedFriend*>(c.m_list_dock->m_widgets[1])->m_friend,
              c.m_friends[1]);

    // Deleted controls, and a hole among the buttons: every event and frame skips them.
    delete c.m_rotate_buttons[1];
    c.m_rotate_buttons[1] = nullptr;
    c.activate_rotate_button(1);
    auto drive = [&] {
        const int spots[][2] = {{15, 15},         {107, 15},       {61, 61},     {34, H - 60},
                                {W - 40, H - 50}, {W - 9, H - 40}, {W - 100, 10}};
        for (const auto& s : spots) {
            c.mouse_moved(s[0], s[1], 0, 0, 0);
            c.mouse_down(s[0], s[1], 0);
            c.update(W, H, 0.02f);
            c.mouse_moved(s[0] + 7, s[1] + 7, 0, 0, 1);
            c.update(W, H, 0.02f);
            c.mouse_up(s[0] + 7, s[1] + 7, 0);
            c.update(W, H, 0.02f);
        }
    };
    drive();
    c.delete_docks();
    c.delete_navigation_widgets();
    drive();
    c.delete_rotate_buttons();
    drive();
    c.select_loc_holder(c.m_loc_holders[2]);
    EXPECT_EQ(c.m_selected_holder, c.m_loc_holders[2]);

    // Made again, the docks show everyone.
    c.create_docks();
    c.update(W, H, 0.02f);
    EXPECT_EQ(c.m_list_dock->m_widgets.size(), 2u);
    // Clearing the scene takes the thumbnails with the people they show.
    c.clear_scene();
    EXPECT_TRUE(c.m_list_dock->m_widgets.empty());
    EXPECT_TRUE(c.m_myself_dock->m_widgets.empty());
    c.update(W, H, 0.02f);
}

TEST(Overlay, ThumbnailsFollowThePeopleAndANewUserReplacesTheOwn) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    g.people(3);
    ASSERT_EQ(c.m_myself_dock->m_widgets.size(), 1u);
    EXPECT_TRUE(g.thumb(c.m_myself_dock, 0)->m_selected);
    ASSERT_EQ(c.m_list_dock->m_widgets.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(g.thumb(c.m_list_dock, i)->m_friend, c.m_friends[i]);

    g.click_thumb(c.m_list_dock, 1);
    c.add_myself("0", "Me, renamed", "", "");
    c.create_friends_locators();
    g.frames(2);
    ASSERT_EQ(c.m_myself_dock->m_widgets.size(), 1u);
    EXPECT_EQ(g.thumb(c.m_myself_dock, 0)->m_friend, c.m_myself);
    g.frames(200);
    g.click_thumb(c.m_myself_dock, 0);
    EXPECT_EQ(c.m_selected_holder, c.m_loc_holders[0]);
    EXPECT_TRUE(g.thumb(c.m_myself_dock, 0)->m_selected);
    EXPECT_FALSE(g.thumb(c.m_list_dock, 1)->m_selected);
}

TEST(Overlay, HundredsOfFriendsLayOutScrollAndComeIntoView) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    const int n = 200;
    g.people(n);
    GFX_Dock* dock = c.m_list_dock;
    ASSERT_EQ(dock->m_widgets.size(), size_t(n));
    for (size_t i = 1; i < dock->m_widgets.size(); ++i)
        ASSERT_NEAR(dock->m_widgets[i]->m_top, dock->m_widgets[i - 1]->m_bottom - 1, 0.01) << i;

    // Grab the ruler and pull far up: the list stops with its last thumbnail on screen.
    g.move(W - 9, H - 60);
    g.press(W - 9, H - 60);
    EXPECT_TRUE(dock->m_ruler_drag);
    g.move(W - 9, H - 60 + 30000, true);
    g.release(W - 9, H - 60 + 30000);
    g.move(W / 2, H / 2);
    g.frames(40);
    GFX_WidgetDocked* last = dock->m_widgets.back();
    EXPECT_GE(last->m_bottom, 0);
    EXPECT_LE(last->m_top, H);
    g.click_thumb(dock, n - 1);
    EXPECT_EQ(dynamic_cast<GFX_LocationHolderFriend*>(c.m_selected_holder)->m_friend,
              c.m_friends[n - 1]);

    // Selecting the first friend on the globe brings its thumbnail back into view.
    c.select_loc_holder(c.m_loc_holders[1]);
    g.frames(200);
    EXPECT_TRUE(dock->m_widgets[0]->m_selected);
    EXPECT_LE(dock->m_widgets[0]->m_top, H + 0.5f);
    EXPECT_GE(dock->m_widgets[0]->m_bottom, 0);
}

TEST(Overlay, ControlsAreDrawnWhereTheyArePlaced) {
    Globe g;
    UTL_SimCtrlNimbra& c = g.c;
    g.people(5);
    g.click_thumb(c.m_list_dock, 2);
    g.move(W / 2, H / 2);  // away from the docks, so nothing is swollen
    g.frames(60);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // The dial's square at the lower left, the top bar along the top (under the product logo
    // at the left, alone at the right), the friends' column at the right edge.
    EXPECT_GT(g.drawn(10, 35, 110, 110), 100 * 75 * 8 / 10);
    EXPECT_GT(g.drawn(200, H - 30, W - 200, H), (W - 400) * 30 * 9 / 10);
    // (Left of the selected friend's card, which hangs below the top bar at the right.)
    const int card_left = static_cast<int>(c.m_person_card->m_left) - 1;
    EXPECT_EQ(g.drawn(200, H - 60, std::min(W - 200, card_left), H - 40), 0)
        << "the top bar reaches too low";
    EXPECT_GT(g.drawn(W - 66, H - 75, W - 18, H - 27), 48 * 48 * 9 / 10);
    EXPECT_GT(g.drawn(2, H - 91, 66, H - 27), 64 * 64 * 9 / 10);

    // Thumbnail frames: the selected one in the theme's selected button colour, the others in
    // the plain one. The frame ring is the 4 pixels outside the photo.
    const UTL_ColorTheme& theme = c.m_color_theme;
    auto frame_pixel = [&](GFX_WidgetDocked* w) {
        return g.gl.pixel(int(w->m_left + 2), int((w->m_top + w->m_bottom) / 2));
    };
    const Rgba sel = frame_pixel(c.m_list_dock->m_widgets[2]);
    const Rgba plain = frame_pixel(c.m_list_dock->m_widgets[1]);
    auto ratio = [](const Rgba& p) { return float(p.r) / float(std::max<int>(p.b, 1)); };
    const float want_sel = theme.m_button_color_sel.m_x / theme.m_button_color_sel.m_z;
    const float want_plain = theme.m_button_color.m_x / theme.m_button_color.m_z;
    EXPECT_NEAR(ratio(sel), want_sel, 0.12) << int(sel.r) << " " << int(sel.g) << " " << int(sel.b);
    EXPECT_NEAR(ratio(plain), want_plain, 0.12)
        << int(plain.r) << " " << int(plain.g) << " " << int(plain.b);
    EXPECT_GT(std::abs(ratio(sel) - ratio(plain)), 0.2);

    // A lit rotate button in the dial's selected colour, an unlit one in the plain colour.
    g.click(kButtonX[2], kButtonY);
    c.m_cam_transition = false;
    c.m_rotate_mode = 0;  // stays lit; just keep the camera still
    g.move(W / 2, H / 2);
    const Rgba lit = g.gl.pixel(kButtonX[2], kButtonY + 8);
    const Rgba unlit = g.gl.pixel(kButtonX[1] - 2, kButtonY + 8);
    EXPECT_GT(std::abs(ratio(lit) - ratio(unlit)), 0.1)
        << int(lit.r) << " " << int(lit.b) << " / " << int(unlit.r) << " " << int(unlit.b);

    // The whole picture, for a person to look at.
    if (const char* path = std::getenv("NIMBRA_OVERLAY_PNG")) {
        Globe big;
        big.people(150);
        big.click_thumb(big.c.m_list_dock, 3);
        big.move(W - 30, H - 250);
        big.frames(80);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        EXPECT_TRUE(big.gl.write_png(path));
    }
}
