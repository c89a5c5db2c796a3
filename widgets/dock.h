// GFX_Dock: a scrolling column (or row) of square thumbnails along an edge of the overlay, with
// magnification under the pointer and an optional ruler; its thumbnails GFX_WidgetDocked and
// GFX_WidgetDockedFriend (a person's photo).
#pragma once

#include <vector>

class GFX_Friend;
class OGL_Texture;
class UTL_SimCtrlNimbra;

// One thumbnail. Not a GFX_Widget: its dock places it every frame through set_rect() and eases
// its size towards the target the dock gives it. Main thread only.
class GFX_WidgetDocked {
public:
    // The controller is borrowed; it gives the theme and the frame texture. May be null.
    explicit GFX_WidgetDocked(UTL_SimCtrlNimbra* controller);
    virtual ~GFX_WidgetDocked() = default;
    GFX_WidgetDocked(const GFX_WidgetDocked&) = delete;
    GFX_WidgetDocked& operator=(const GFX_WidgetDocked&) = delete;

    // The frame: the controller's widget texture tinted with the theme's button colour (the
    // selected one when selected).
    virtual void draw();
    // Moves the current size a third of the way to the target.
    virtual void update();
    // A press inside the rectangle grown by one pixel presses the thumbnail and is taken.
    virtual bool mouse_down(float x, float y);
    // Unpresses; taken (a click) when the thumbnail was pressed and the release is inside it.
    virtual bool mouse_up(float x, float y);

    // Set the current and the target value at once.
    void set_width(float width);
    void set_height(float height);
    void get_rect(float& left, float& right, float& top, float& bottom) const;
    void set_rect(float left, float right, float top, float bottom);
    // Inside the rectangle grown by one pixel on every side, so the one-pixel gaps between
    // thumbnails belong to both neighbours.
    bool is_inside(float x, float y) const;

    UTL_SimCtrlNimbra* m_controller;  // borrowed; may be null
    float m_left = 0.0f;
    float m_right = 0.0f;
    float m_top = 0.0f;
    float m_bottom = 0.0f;
    float m_width = 32.0f;  // current size, easing towards the target
    float m_height = 32.0f;
    float m_target_width = 32.0f;
    float m_target_height = 32.0f;
    bool m_selected = false;
    bool m_pressed = false;
};

// A thumbnail showing a person's square photo (or the large one when there is no square one).
class GFX_WidgetDockedFriend : public GFX_WidgetDocked {
public:
    // The friend is borrowed from the controller, which keeps it alive as long as the dock.
    explicit GFX_WidgetDockedFriend(UTL_SimCtrlNimbra* controller, GFX_Friend* f = nullptr);

    // The frame, then the photo inset by 4 pixels: the person's own photo in plain white, the
    // question-mark placeholder tinted with the theme's text colour. Nothing more without a
    // friend or a photo, or while the photo is not downloaded yet.
    void draw() override;

    GFX_Friend* m_friend = nullptr;  // borrowed; may be null
};

// The thumbnails run from the start of the edge (the top for a column, the left for a row),
// m_margin pixels in, one pixel apart. A positive scroll moves them back along the run (a
// column upwards, a row leftwards), revealing the thumbnails further on; the scroll stays
// between 0 and a limit set by the content. A drag moves the run with the pointer.
//
//   event        on a thumbnail               on the ruler            elsewhere
//   mouse_down   pressed; taken               ruler drag; taken       not taken
//   mouse_move   while pressed the run follows the pointer; the thumbnail under the pointer
//                and its neighbours swell (not during a ruler drag); taken over a thumbnail
//                or during a ruler drag
//   mouse_up     a click when released on the pressed thumbnail after less than 5 pixels of
//                scrolling: m_clicked_widget, taken; otherwise not taken
//
// Main thread only.
class GFX_Dock {
public:
    // m_orientation values.
    static constexpr int LEFT_COLUMN = 0;
    static constexpr int RIGHT_COLUMN = 1;
    static constexpr int TOP_ROW = 2;
    static constexpr int BOTTOM_ROW = 3;
    // Scrolling below this much between press and release still counts as a click.
    static constexpr float CLICK_DRAG_LIMIT = 5.0f;

    struct Rect {
        float m_left = 0.0f;
        float m_right = 0.0f;
        float m_top = 0.0f;
        float m_bottom = 0.0f;
    };

    // The controller is borrowed; it gives the view size and the theme. A dock without one
    // lays out on a screen of size zero and draws in the default theme.
    explicit GFX_Dock(UTL_SimCtrlNimbra* controller);
    virtual ~GFX_Dock();
    GFX_Dock(const GFX_Dock&) = delete;
    GFX_Dock& operator=(const GFX_Dock&) = delete;

    // Once per frame: eases the sizes and the scroll (dt is not used: every call is one step),
    // keeps the scroll within its limits, lays the thumbnails out and places the ruler.
    virtual void update(float dt);
    // The thumbnails in order, then the ruler when there is one.
    virtual void draw();
    virtual bool mouse_move(float x, float y);
    virtual bool mouse_down(float x, float y);
    virtual bool mouse_up(float x, float y);

    // Replaces the ruler texture with one read from the file (wrap mode GL_REPEAT) and uploads
    // it; a context must be current. Returns whether the upload happened.
    bool load_ruler_texture(const char* path);
    // Sizes the thumbnail to m_widget_size and appends it; the dock owns it from then on. A null
    // widget is ignored.
    void add_widget(GFX_WidgetDocked* widget);
    // Deletes the ruler texture and every thumbnail.
    void clear();

    // Sets the target sizes for the pointer over thumbnail index: the full magnified size there,
    // falling off with the distance along the run, the resting size six or more steps away.
    void increase_size(int index);
    // The scroll the content allows at most: 0 when everything fits.
    float scroll_limit() const;
    // Places the thumbnails from the current scroll and their current sizes.
    void layout();
    // The ruler's cells and their union m_ruler_rect, from the current scroll and sizes.
    void update_ruler();
    void draw_ruler();
    // Within a pixel of the ruler; never true for a dock without a ruler.
    bool is_inside_ruler(float x, float y) const;

    UTL_SimCtrlNimbra* m_controller;  // borrowed; may be null
    int m_orientation = RIGHT_COLUMN;
    float m_margin = 0.0f;
    float m_scroll = 0.0f;
    float m_scroll_target = 0.0f;
    float m_drag_distance = 0.0f;  // scrolling done since the last press
    bool m_ruler_drag = false;
    float m_ruler_width = 0.0f;  // 0: no ruler
    Rect m_ruler_rect;
    float m_widget_size = 64.0f;
    float m_widget_size_max = 96.0f;
    OGL_Texture* m_ruler_texture = nullptr;        // owned; may be null
    std::vector<GFX_WidgetDocked*> m_widgets;      // owned, in order from the start of the run
    GFX_WidgetDocked* m_clicked_widget = nullptr;  // one of m_widgets: the last click
    bool m_pressed = false;
    float m_last_x = 0.0f;
    float m_last_y = 0.0f;
    bool m_scroll_to_selected = false;

private:
    bool is_column() const { return m_orientation == LEFT_COLUMN || m_orientation == RIGHT_COLUMN; }
    bool is_row() const { return m_orientation == TOP_ROW || m_orientation == BOTTOM_ROW; }
    void view_size(float& width, float& height) const;
    void begin_press(float x, float y);
    // Visits the ruler's cells in widget order.
    template <typename Visit>
    void for_each_ruler_cell(Visit visit) const;
};
