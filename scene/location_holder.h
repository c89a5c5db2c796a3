// GFX_LocationHolder: the locator of a place on the globe, a ball with a camera-facing frame
// beside it; GFX_LocationHolderFriend adds a person's photo, name and friendship lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "gfx/glyph_atlas.h"
#include "gfx/math.h"

class GFX_Billboard;
class GFX_ConnectionFriends;
class GFX_Friend;
class OGL_TextureFoto;
class UTL_SimCtrlNimbra;

// Created, laid out, selected and deleted by the controller. Main thread only.
class GFX_LocationHolder {
public:
    explicit GFX_LocationHolder(UTL_SimCtrlNimbra* controller);
    virtual ~GFX_LocationHolder();
    GFX_LocationHolder(const GFX_LocationHolder&) = delete;
    GFX_LocationHolder& operator=(const GFX_LocationHolder&) = delete;

    void set_longitude(float longitude) { m_longitude = longitude; }
    void set_latitude(float latitude) { m_latitude = latitude; }

    // Glides to a new place in the given seconds, along the great circle, easing in and out;
    // a glide under way starts again from where the locator is now. No time (or a place it is
    // at) puts it there at once.
    void glide_to(float longitude, float latitude, float seconds);
    // Advances a glide by dt seconds: longitude and latitude follow it, and land exactly on the
    // new place at its end. False when the locator is not gliding.
    bool update_glide(float dt);
    bool gliding() const { return m_glide_seconds > 0.0f; }
    // Ends a glide where the locator is now.
    void stop_glide() { m_glide_seconds = 0.0f; }
    // Where the locator is going: the end of its glide, else where it is.
    float target_longitude() const { return gliding() ? m_glide_longitude : m_longitude; }
    float target_latitude() const { return gliding() ? m_glide_latitude : m_latitude; }
    void set_billboard_size(float width, float height);
    void set_impostor_orientation(const Math_Vector3& up, const Math_Vector3& right);

    // Ball on the globe from longitude and latitude, then the frame beside it.
    void compute_position();
    // Puts the frame on the outer side of the ball as seen on screen, easing a quarter of the
    // remaining way per call; the first call jumps straight to its side.
    void place_billboard();

    // Places the ball and frame for this frame and finds whether they are in the camera's view
    // (m_in_view, returned). Every drawing of a locator starts with it.
    bool place();
    // The ball, lit, in the locator's colour; the caller binds the ball's texture.
    void draw_ball();
    // The ball's colour: the theme's, or the person's circle's.
    Math_Vector3 ball_color() const;
    // The frame's four corners in its colour, between the caller's glBegin(GL_QUADS) and glEnd,
    // with the frame's texture bound and lighting off.
    void emit_frame();
    // Places the person, then draws it when it is in the camera's view (m_in_view); one out of
    // view draws nothing and asks for no photo. The controller draws many at once with the
    // pieces above, grouped by the state they need.
    virtual void draw();

    // The frame's hit test; the ball itself is not hit-tested.
    bool line_collide(const Math_Vector3& origin, const Math_Vector3& dir, float range,
                      float& t) const;

    UTL_SimCtrlNimbra* m_controller;  // Borrowed.
    float m_longitude = 0.0f;
    float m_latitude = 0.0f;
    // Eased side factors of the frame along screen up and right, in [-1, 1] once placed; a
    // value above 1 means not placed yet.
    float m_offset_up = 10.0f;
    float m_offset_right = 10.0f;
    float m_ball_size = 1.0f;
    Math_Vector3 m_position;
    bool m_selected = false;
    bool m_in_view = true;       // the last draw() found it in view
    GFX_Billboard* m_billboard;  // Owned.

private:
    // A glide: from and to as unit vectors, its length and the time gone; none while
    // m_glide_seconds is 0.
    Math_Vector3 m_glide_from;
    Math_Vector3 m_glide_to;
    float m_glide_longitude = 0.0f;
    float m_glide_latitude = 0.0f;
    float m_glide_seconds = 0.0f;
    float m_glide_time = 0.0f;
};

class GFX_LocationHolderFriend : public GFX_LocationHolder {
public:
    explicit GFX_LocationHolderFriend(UTL_SimCtrlNimbra* controller);
    // Tells every line still listed that this end is gone, so neither side keeps a dangling
    // pointer whichever of the two the controller deletes first.
    ~GFX_LocationHolderFriend() override;

    bool find_friend(GFX_Friend* f) const { return f != nullptr && m_friend == f; }
    void set_connections_highlighted(bool on);
    // Removes every entry of the line; called by a line that is being deleted.
    void detach_connection(GFX_ConnectionFriends* c);

    void draw() override;

    // The photo in front of the frame: the large one on the selected locator, else the square
    // one, fitted to the frame. own is false for the question-mark placeholder; a null texture
    // (no photo, or not arrived yet) draws nothing. Asking queues the photo's download.
    struct PhotoQuad {
        OGL_TextureFoto* texture = nullptr;
        bool own = true;
        Math_Vector3 corners[4];
    };
    PhotoQuad photo_quad() const;
    // Draws it in the state the caller set: lighting off, the texture's target enabled, and
    // blending for the placeholder only. Binds the texture and sets the colour.
    void draw_photo(const PhotoQuad& q) const;
    // The name on the frame, shown when the locator is selected or has no photo of the person's
    // own. With the glyph atlas, in the state GFX_GlyphAtlas::begin_billboard_lines() sets;
    // with the bitmap font, in the state it sets itself.
    void draw_name(bool own);

    // Half width and half height of the photo rectangle as fractions of the frame's width and
    // height. Image size zero (or negative) means there is no image.
    static void photo_extent(float scale, int image_width, int image_height, float& a, float& b);
    // Character width and height of a name of n bytes on a frame of that size.
    static void name_extent(float width, float height, std::size_t n, float& cw, float& ch);

    GFX_Friend* m_friend = nullptr;  // Borrowed from the controller.
    // Borrowed; filled by the lines that found this locator as one of their ends.
    std::vector<GFX_ConnectionFriends*> m_connections;

private:
    // The name as last laid out, kept while the name, its size and the atlas stay the same:
    // laying out thousands of names every frame costs more than drawing them.
    GFX_TextLine m_name_line;
    std::string m_name_laid_out;
    int m_name_px = 0;
    float m_name_max_width = 0.0f;
    int m_name_generation = -1;
};
