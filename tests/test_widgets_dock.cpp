// Docks of thumbnails: the layout of both system docks on an 800 x 600 view, size and scroll
// easing, the magnification profile, scroll limits, click against drag, the ruler, bringing the
// selected thumbnail into view, rows, empty and very long docks, and drawing read back.
#include "widgets/dock.h"

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_texture.h"
#include "photos/foto_texture_boss.h"
#include "scene/foto.h"
#include "scene/friend.h"
#include "tests/support/offscreen_gl.h"
#include "tests/support/photo_files.h"
#include "tests/support/wait.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

// The controller only lends its view size and theme to the docks.
struct ViewController : UTL_SimCtrlNimbra {
    ViewController(int w, int h) {
        m_view_width = w;
        m_view_height = h;
    }
};

// The list dock as the controller makes it, with n thumbnails.
GFX_Dock* list_dock(UTL_SimCtrlNimbra* controller, int n) {
    GFX_Dock* dock = new GFX_Dock(controller);
    dock->m_margin = 25;
    dock->m_widget_size = 48;
    dock->m_widget_size_max = 96;
    dock->m_ruler_width = 16;
    for (int i = 0; i < n; ++i) dock->add_widget(new GFX_WidgetDockedFriend(controller));
    return dock;
}

void expect_rect(const GFX_WidgetDocked* w, float left, float right, float top, float bottom) {
    EXPECT_NEAR(w->m_left, left, 1e-3f);
    EXPECT_NEAR(w->m_right, right, 1e-3f);
    EXPECT_NEAR(w->m_top, top, 1e-3f);
    EXPECT_NEAR(w->m_bottom, bottom, 1e-3f);
}

void settle(GFX_Dock* dock, int frames = 200) {
    for (int i = 0; i < frames; ++i) dock->update(0.02f);
}

bool near(const Rgba& p, int r, int g, int b, int tolerance = 3) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance &&
           std::abs(p.b - b) <= tolerance;
}

void pixel_projection(int w, int h) {
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, w, 0, h, -100, 100);
    glMatrixMode(GL_MODELVIEW);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
}

}  // namespace

TEST(GFX_Dock, BothSystemDocksLayOutAtRestOnAn800By600View) {
    ViewController controller(800, 600);
    GFX_Dock* list = list_dock(&controller, 3);
    list->update(0.02f);
    expect_rect(list->m_widgets[0], 734, 782, 573, 525);
    expect_rect(list->m_widgets[1], 734, 782, 524, 476);
    expect_rect(list->m_widgets[2], 734, 782, 475, 427);
    // The ruler: one cell per thumbnail at the screen edge, from 574 down in steps of 49.
    EXPECT_FLOAT_EQ(list->m_ruler_rect.m_left, 783);
    EXPECT_FLOAT_EQ(list->m_ruler_rect.m_right, 799);
    EXPECT_FLOAT_EQ(list->m_ruler_rect.m_top, 574);
    EXPECT_FLOAT_EQ(list->m_ruler_rect.m_bottom, 574 - 3 * 49);
    EXPECT_TRUE(list->is_inside_ruler(800, 426));
    EXPECT_FALSE(list->is_inside_ruler(790, 424));

    // The myself dock: a left column of 64-pixel thumbnails and no ruler, so the screen edge
    // beside the thumbnail is nothing to grab.
    GFX_Dock myself(&controller);
    myself.m_orientation = GFX_Dock::LEFT_COLUMN;
    myself.m_margin = 25;
    myself.m_widget_size = 64;
    myself.m_widget_size_max = 128;
    myself.add_widget(new GFX_WidgetDockedFriend(&controller));
    myself.update(0.02f);
    expect_rect(myself.m_widgets[0], 2, 66, 573, 509);
    EXPECT_FALSE(myself.mouse_down(0.5f, 550));
    EXPECT_TRUE(myself.mouse_down(30, 550));
    delete list;
}

TEST(GFX_Dock, SizesEaseByAThirdAndTheScrollByATenthCappedAt128) {
    ViewController controller(800, 600);
    GFX_Dock* dock = list_dock(&controller, 40);
    GFX_WidgetDocked* w = dock->m_widgets[0];
    w->m_target_width = w->m_target_height = 96;
    dock->update(0.02f);
    EXPECT_NEAR(w->m_width, 63.84f, 1e-3f);
    EXPECT_NEAR(w->m_height, 63.84f, 1e-3f);
    settle(dock, 60);
    // Grown, it pushes the next one down.
    expect_rect(dock->m_widgets[1], 734, 782, 573 - 96 - 1, 573 - 96 - 1 - 48);

    // A far target: 128 pixels per update at first, then a tenth of what is left. A positive
    // scroll moves the column up.
    dock->m_scroll_target = 1500;
    dock->update(0.02f);
    EXPECT_FLOAT_EQ(dock->m_scroll, 128);
    dock->m_scroll = 1400;
    dock->update(0.02f);
    EXPECT_FLOAT_EQ(dock->m_scroll, 1410);
    expect_rect(dock->m_widgets[0], 686, 782, 573 + 1410, 573 + 1410 - 96);
    delete dock;
}

TEST(GFX_Dock, ThePointerSwellsItsThumbnailAndTheNeighboursFallingOffWithDistance) {
    ViewController controller(800, 1200);
    GFX_Dock* dock = list_dock(&controller, 14);
    dock->update(0.02f);
    const GFX_WidgetDocked* five = dock->m_widgets[5];
    EXPECT_TRUE(dock->mouse_move(760, (five->m_top + five->m_bottom) / 2));
    const float expected[14] = {48,     48.06f, 49.16f, 57.19f, 79.75f, 96, 79.75f,
                                57.19f, 49.16f, 48.06f, 48,     48,     48, 48};
    for (int j = 0; j < 14; ++j) {
        SCOPED_TRACE(j);
        EXPECT_NEAR(dock->m_widgets[j]->m_target_width, expected[j], 0.01f);
        EXPECT_EQ(dock->m_widgets[j]->m_target_height, dock->m_widgets[j]->m_target_width);
    }
    EXPECT_GT(dock->m_widgets[0]->m_target_width, 48.0f);   // five steps: a trace
    EXPECT_EQ(dock->m_widgets[11]->m_target_width, 48.0f);  // six steps: none

    // Pointer off the thumbnails: every target back to rest, and the move is not taken.
    EXPECT_FALSE(dock->mouse_move(100, 100));
    for (GFX_WidgetDocked* w : dock->m_widgets) EXPECT_EQ(w->m_target_width, 48.0f);
    dock->increase_size(-3);  // indexes off the list swell only what is within reach
    EXPECT_NEAR(dock->m_widgets[0]->m_target_width, 49.16f, 0.01f);
    delete dock;
}

TEST(GFX_Dock, TheScrollStaysBetweenZeroAndTheContentLimit) {
    ViewController controller(800, 600);
    GFX_Dock* dock = list_dock(&controller, 20);
    EXPECT_FLOAT_EQ(dock->scroll_limit(), 21 * 48 + 96 - 600);  // 504
    // Dragged past either end, the scroll snaps back at the next update.
    dock->update(0.02f);
    ASSERT_TRUE(dock->mouse_down(760, 550));
    dock->mouse_move(760, 1450);
    EXPECT_FLOAT_EQ(dock->m_scroll, 900);
    dock->update(0.02f);
    EXPECT_FLOAT_EQ(dock->m_scroll, 504);
    EXPECT_FLOAT_EQ(dock->m_scroll_target, 504);
    dock->mouse_move(760, -1450);
    dock->update(0.02f);
    EXPECT_FLOAT_EQ(dock->m_scroll, 0);
    EXPECT_FLOAT_EQ(dock->m_scroll_target, 0);
    delete dock;

    // So many thumbnails that their one-pixel gaps matter: the end of the run is reachable.
    GFX_Dock* huge = list_dock(&controller, 600);
    EXPECT_FLOAT_EQ(huge->scroll_limit(), 25 + 2 + 600 * 49 - 1 + 48 - 600);
    huge->m_widgets[599]->m_selected = true;
    huge->m_scroll_to_selected = true;
    settle(huge, 600);
    EXPECT_NEAR(huge->m_widgets[599]->m_bottom, 0, 0.05f);  // float steps near 28000
    delete huge;
}

TEST(GFX_Dock, APressAndReleaseWithLessThanFivePixelsOfScrollingIsAClick) {
    ViewController controller(800, 600);
    GFX_Dock* dock = list_dock(&controller, 10);
    dock->update(0.02f);
    GFX_WidgetDocked* second = dock->m_widgets[1];
    // Three pixels of drag: still a click on the thumbnail.
    ASSERT_TRUE(dock->mouse_down(760, 500));
    dock->mouse_move(760, 503);
    EXPECT_TRUE(dock->mouse_up(760, 503));
    EXPECT_EQ(dock->m_clicked_widget, second);
    EXPECT_FALSE(second->m_pressed || dock->m_pressed);

    // Five pixels there and back: ten of scrolling, no click, the last click stays.
    dock->update(0.02f);
    ASSERT_TRUE(dock->mouse_down(760, 450));
    dock->mouse_move(760, 455);
    dock->mouse_move(760, 450);
    EXPECT_FLOAT_EQ(dock->m_drag_distance, 10);
    EXPECT_FALSE(dock->mouse_up(760, 450));
    EXPECT_EQ(dock->m_clicked_widget, second);
    EXPECT_FALSE(dock->m_widgets[2]->m_pressed);

    // Released on another thumbnail than the pressed one, or with no press: no click. A
    // press beside the dock is not taken.
    settle(dock);
    ASSERT_TRUE(dock->mouse_down(760, 550));
    EXPECT_FALSE(dock->mouse_up(760, 450));
    EXPECT_FALSE(dock->mouse_up(760, 550));
    EXPECT_FALSE(dock->mouse_down(400, 300));
    delete dock;
}

TEST(GFX_Dock, GrabbingTheRulerScrollsTheListWithoutSwellingTheThumbnails) {
    ViewController controller(800, 600);
    GFX_Dock* dock = list_dock(&controller, 20);
    dock->update(0.02f);
    ASSERT_TRUE(dock->mouse_down(790, 500));
    EXPECT_TRUE(dock->m_ruler_drag);
    EXPECT_TRUE(dock->mouse_move(790, 530));
    // Over a thumbnail during a ruler drag: nothing swells, the move is still the dock's.
    EXPECT_TRUE(dock->mouse_move(760, 540));
    for (GFX_WidgetDocked* w : dock->m_widgets) EXPECT_EQ(w->m_target_width, 48.0f);
    EXPECT_FLOAT_EQ(dock->m_scroll, 40);
    EXPECT_FALSE(dock->mouse_up(760, 540));
    EXPECT_FALSE(dock->m_ruler_drag);
    dock->update(0.02f);
    EXPECT_FLOAT_EQ(dock->m_ruler_rect.m_top, 574 + 40);  // the ruler moves with the list
    // A ruler drag whose release was lost ends at the next press, here on a thumbnail.
    ASSERT_TRUE(dock->mouse_down(790, 500));
    ASSERT_TRUE(dock->mouse_down(760, 560));
    EXPECT_FALSE(dock->m_ruler_drag);
    delete dock;
}

TEST(GFX_Dock, TheSelectedThumbnailIsBroughtIntoViewFromBelowOrAbove) {
    ViewController controller(800, 600);
    GFX_Dock* dock = list_dock(&controller, 20);
    dock->update(0.02f);
    GFX_WidgetDocked* w = dock->m_widgets[15];
    w->m_selected = true;
    dock->m_scroll_to_selected = true;
    dock->update(0.02f);
    EXPECT_FALSE(dock->m_scroll_to_selected);
    EXPECT_FLOAT_EQ(dock->m_scroll_target, 210);  // its bottom was at -210
    // The scroll eases upwards until the thumbnail's bottom is at the screen's.
    dock->update(0.02f);
    EXPECT_FLOAT_EQ(dock->m_scroll, 21);
    settle(dock);
    EXPECT_NEAR(w->m_bottom, 0, 0.01f);

    // From down the list, the first thumbnail comes back down to the top edge; one in view
    // stays where it is.
    w->m_selected = false;
    dock->m_widgets[0]->m_selected = true;
    dock->m_scroll_to_selected = true;
    settle(dock);
    EXPECT_NEAR(dock->m_widgets[0]->m_top, 600, 0.01f);
    dock->m_widgets[0]->m_selected = false;
    dock->m_widgets[3]->m_selected = true;
    dock->m_scroll_to_selected = true;
    settle(dock, 20);
    EXPECT_NEAR(dock->m_widgets[0]->m_top, 600, 0.01f);
    delete dock;
}

TEST(GFX_Dock, RowsScrollLikeColumnsAlongTheirEdge) {
    ViewController controller(800, 600);
    GFX_Dock* dock = list_dock(&controller, 30);
    dock->m_orientation = GFX_Dock::BOTTOM_ROW;
    EXPECT_FLOAT_EQ(dock->scroll_limit(), 31 * 48 + 96 - 800);
    dock->update(0.02f);
    expect_rect(dock->m_widgets[0], 27, 75, 66, 18);
    expect_rect(dock->m_widgets[1], 76, 124, 66, 18);
    EXPECT_FLOAT_EQ(dock->m_ruler_rect.m_left, 26);
    EXPECT_FLOAT_EQ(dock->m_ruler_rect.m_top, 17);

    // Dragging left moves the row left with the pointer, revealing the far thumbnails: the
    // scroll grows, as a column's does when dragged up.
    ASSERT_TRUE(dock->mouse_down(50, 40));
    dock->mouse_move(30, 40);
    EXPECT_FLOAT_EQ(dock->m_scroll, 20);
    dock->mouse_up(30, 40);
    dock->mouse_move(400, 300);
    settle(dock);
    expect_rect(dock->m_widgets[0], 7, 55, 66, 18);

    // A selected thumbnail past the right edge comes in to the right edge, one past the left
    // edge to the left edge.
    dock->m_widgets[25]->m_selected = true;
    dock->m_scroll_to_selected = true;
    settle(dock);
    EXPECT_NEAR(dock->m_widgets[25]->m_right, 800, 0.01f);
    dock->m_widgets[25]->m_selected = false;
    dock->m_widgets[2]->m_selected = true;
    dock->m_scroll_to_selected = true;
    settle(dock);
    EXPECT_NEAR(dock->m_widgets[2]->m_left, 0, 0.01f);

    // The top row hangs from the top edge, its ruler above it.
    dock->m_orientation = GFX_Dock::TOP_ROW;
    dock->update(0.02f);
    EXPECT_FLOAT_EQ(dock->m_widgets[0]->m_top, 582);
    EXPECT_FLOAT_EQ(dock->m_ruler_rect.m_top, 599);
    delete dock;
}

TEST(GFX_Dock, EmptyOddAndControllerlessDocksLayOutScrollAndDrawWithoutError) {
    OffscreenGL gl(100, 100);
    ASSERT_TRUE(gl.ok());
    ViewController controller(800, 600);
    GFX_Dock* empty = list_dock(&controller, 0);
    empty->add_widget(nullptr);
    EXPECT_TRUE(empty->m_widgets.empty());
    empty->update(0.02f);
    EXPECT_FLOAT_EQ(empty->m_ruler_rect.m_top, 574);
    EXPECT_FLOAT_EQ(empty->m_ruler_rect.m_bottom, 574);
    empty->mouse_down(790, 574);
    empty->mouse_move(790, 600);
    empty->mouse_up(790, 600);
    empty->m_scroll_to_selected = true;
    empty->update(0.02f);
    EXPECT_FLOAT_EQ(empty->m_scroll, 0);
    empty->increase_size(0);
    empty->draw();
    delete empty;

    // Unknown orientations neither lay out nor scroll; no controller means a screen of zero.
    GFX_Dock odd(&controller);
    odd.m_orientation = 7;
    odd.add_widget(new GFX_WidgetDocked(&controller));
    odd.m_scroll_target = 50;
    odd.update(0.02f);
    EXPECT_FLOAT_EQ(odd.m_scroll, 0);
    EXPECT_FALSE(odd.mouse_down(10, 10));
    GFX_Dock bare(nullptr);
    bare.m_ruler_width = 16;
    bare.add_widget(new GFX_WidgetDockedFriend(nullptr));
    bare.update(0.02f);
    bare.mouse_move(-20, 5);
    bare.draw();
    EXPECT_EQ(bare.m_widgets[0]->m_right, -18);
}

TEST(GFX_Dock, DrawsThumbnailsAndRulerWhereTheyAreLaidOutInTheButtonColours) {
    OffscreenGL gl(200, 200);
    ASSERT_TRUE(gl.ok());
    pixel_projection(200, 200);
    ViewController controller(200, 200);
    controller.m_color_theme.m_button_color = Math_Vector4(0, 1, 0, 1);
    controller.m_color_theme.m_button_color_sel = Math_Vector4(1, 0, 0, 1);
    GFX_Dock* dock = list_dock(&controller, 4);
    // A friend without photos, and one whose photo has no texture (no photo manager here):
    // both draw their frame alone.
    GFX_Friend nobody(&controller);
    GFX_Friend someone(&controller);
    someone.load_foto_square("http://example.com/someone.jpg");
    static_cast<GFX_WidgetDockedFriend*>(dock->m_widgets[0])->m_friend = &nobody;
    static_cast<GFX_WidgetDockedFriend*>(dock->m_widgets[2])->m_friend = &someone;
    dock->m_widgets[1]->m_selected = true;
    dock->update(0.02f);
    dock->draw();
    // Thumbnails from x 134 to 182: 0 at y 173..125, 1 at 124..76, 2 at 75..27.
    EXPECT_TRUE(near(gl.pixel(158, 150), 0, 255, 0));
    EXPECT_TRUE(near(gl.pixel(158, 100), 255, 0, 0));
    EXPECT_TRUE(near(gl.pixel(158, 50), 0, 255, 0));
    EXPECT_TRUE(near(gl.pixel(158, 124), 0, 0, 0));  // the gap between 0 and 1
    EXPECT_TRUE(near(gl.pixel(120, 150), 0, 0, 0));
    // The ruler cells from x 183 to 199, from y 174 down.
    EXPECT_TRUE(near(gl.pixel(190, 150), 0, 255, 0));
    EXPECT_TRUE(near(gl.pixel(190, 180), 0, 0, 0));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    // While dragged the ruler takes the highlight colour; an image that does not read leaves
    // it in its plain colour.
    EXPECT_FALSE(dock->load_ruler_texture("./data/config/no_such_ruler.tga"));
    ASSERT_TRUE(dock->mouse_down(190, 150));
    dock->draw();
    EXPECT_TRUE(near(gl.pixel(190, 150), 255, 0, 0));
    EXPECT_TRUE(near(gl.pixel(158, 150), 0, 255, 0));
    EXPECT_TRUE(dock->load_ruler_texture("./data/config/ruler.tga"));
    EXPECT_EQ(dock->m_ruler_texture->get_wrap_mode(), GL_REPEAT);
    delete dock;
}

TEST(GFX_WidgetDockedFriend, OwnPhotosDrawPlainAndPlaceholdersInTheNameColourInsideTheFrame) {
    OffscreenGL gl(200, 100);
    ASSERT_TRUE(gl.ok());
    pixel_projection(200, 100);
    PhotoDir dir;
    ASSERT_FALSE(dir.make("grey.jpg", "-size 32x32 xc:'rgb(128,128,128)' -type TrueColor").empty());
    ViewController controller(200, 100);
    UTL_FotoSettings local;
    local.m_allow_local_paths = true;
    controller.m_foto_texture_boss = new UTL_FotoTextureBoss(local);  // the controller deletes it
    controller.m_foto_texture_boss->start();
    controller.m_color_theme.m_button_color = Math_Vector4(0, 0, 1, 1);
    controller.m_color_theme.m_locator_text_color = Math_Vector3(1, 0, 0);
    controller.m_color_theme.m_locator_text_color_sel = Math_Vector3(0, 1, 0);

    // The same grey photo as one person's own square photo and as another's placeholder, who
    // has only the large photo (its square flag says nothing then).
    GFX_Friend own(&controller);
    own.load_foto_square(dir.file("grey.jpg").c_str());
    GFX_Friend placeholder(&controller);
    placeholder.load_foto(dir.file("grey.jpg").c_str());
    placeholder.m_has_foto = false;
    // Two textures: the square photo is decoded at its own, smaller size.
    ASSERT_TRUE(wait_until([&] {
        return own.m_foto_square->get_texture() != nullptr &&
               placeholder.m_foto->get_texture() != nullptr;
    })) << "the photo worker did not load grey.jpg within 60 s";

    GFX_WidgetDockedFriend a(&controller, &own);
    a.set_rect(10, 58, 90, 42);
    GFX_WidgetDockedFriend b(&controller, &placeholder);
    b.set_rect(110, 158, 90, 42);
    a.draw();
    b.draw();
    // The photo fills the frame but for a 4-pixel border in the button colour.
    EXPECT_TRUE(near(gl.pixel(34, 66), 128, 128, 128, 6));
    EXPECT_TRUE(near(gl.pixel(12, 66), 0, 0, 255));
    EXPECT_TRUE(near(gl.pixel(134, 66), 128, 0, 0, 6));
    EXPECT_TRUE(near(gl.pixel(134, 88), 0, 0, 255));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    b.m_selected = true;
    b.draw();
    EXPECT_TRUE(near(gl.pixel(134, 66), 0, 128, 0, 6));
    // A thumbnail too small for the inset draws its frame and no photo.
    GFX_WidgetDockedFriend tiny(&controller, &own);
    tiny.set_rect(180, 186, 20, 14);
    tiny.draw();
    EXPECT_TRUE(near(gl.pixel(183, 17), 0, 0, 255));
}
