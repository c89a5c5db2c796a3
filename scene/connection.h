// GFX_Connection: a dotted glowing line between two points; GFX_ConnectionFriends: the line of
// a friendship, which finds the locators of its two people by user id; GFX_DotBatch: the vertex
// array all lines of a frame write their dots into.
#pragma once

#include <string>
#include <vector>

#include "gfx/math.h"

class GFX_Billboard;
class GFX_Frustum;
class GFX_LocationHolderFriend;
class UTL_SimCtrlNimbra;

// Camera-facing textured quads gathered into client-side arrays and drawn with glDrawArrays, a
// chunk at a time: tens of thousands of lines make millions of dots a frame, and one call per
// chunk costs the driver far less than a dozen calls per dot. Its storage is reserved once and
// reused every frame. The caller binds the texture and sets blending; flush() draws what is
// pending. Owned by its user (the controller keeps one for the glow). Main thread only.
class GFX_DotBatch {
public:
    static constexpr int k_default_capacity = 2048;  // dots per chunk

    explicit GFX_DotBatch(int capacity = k_default_capacity);
    GFX_DotBatch(const GFX_DotBatch&) = delete;
    GFX_DotBatch& operator=(const GFX_DotBatch&) = delete;

    // Appends one quad with corners centre -/+ right -/+ up (lower left first, counter-clockwise
    // like a billboard's) in one colour, texture (0,0) to (1,1); draws the chunk when it is full.
    void add(const Math_Vector3& centre, const Math_Vector3& right, const Math_Vector3& up,
             const Math_Vector3& color, float alpha);
    // Draws the pending dots as GL_QUADS and empties the batch; the client array state is
    // restored afterwards.
    void flush();

    // The view volume of the frame being drawn (borrowed; null for none): dots wholly outside it
    // cannot colour a pixel, so lines skip them before they reach the driver.
    void set_view(const GFX_Frustum* view) { m_view = view; }
    enum Where { OUTSIDE, PARTLY, INSIDE };
    // Where a sphere lies against the view volume; INSIDE when there is none.
    Where classify(const Math_Vector3& centre, float radius) const;
    // Counts dots a line left out for lying outside the view volume.
    void count_skipped(int n) { m_skipped += n; }

    int pending() const { return m_count; }
    int capacity() const { return m_capacity; }
    // Dots drawn by flush() since construction, for tests and figures.
    long long drawn() const { return m_drawn; }
    long long skipped() const { return m_skipped; }

private:
    // Position then colour with alpha, seven floats per corner; the texture coordinates are the
    // same for every quad and filled once.
    static constexpr int k_floats = 7;
    int m_capacity;
    int m_count = 0;
    long long m_drawn = 0;
    long long m_skipped = 0;
    const GFX_Frustum* m_view = nullptr;
    std::vector<float> m_vertices;
    std::vector<float> m_tex_coords;
};

// Owned by the controller. Drawing writes the dots into the caller's batch; the caller binds the
// glow texture and flushes the batch. Main thread only.
class GFX_Connection {
public:
    explicit GFX_Connection(UTL_SimCtrlNimbra* controller);
    virtual ~GFX_Connection();
    GFX_Connection(const GFX_Connection&) = delete;
    GFX_Connection& operator=(const GFX_Connection&) = delete;

    void set_color(const Math_Vector3& c);
    void set_impostor_orientation(const Math_Vector3& up, const Math_Vector3& right);

    // The dots from m_start to m_end with the billboard's current size and opacity.
    virtual void draw(GFX_DotBatch& batch);

    // Number of dot intervals on a line of that length: one per full 90 units; 0 for a zero,
    // negative or non-finite length. Dots sit at k * length / n for k = 1 .. n - 1.
    static int dot_count(float length);

    UTL_SimCtrlNimbra* m_controller;  // Borrowed.
    Math_Vector3 m_start;
    Math_Vector3 m_end;
    GFX_Billboard* m_billboard;  // Owned; one quad moved from dot to dot.

protected:
    // Adds the dots between m_start and m_end, each coloured by its place on the globe.
    void draw_dots(GFX_DotBatch& batch);
};

class GFX_ConnectionFriends : public GFX_Connection {
public:
    explicit GFX_ConnectionFriends(UTL_SimCtrlNimbra* controller);
    // Takes the line out of the lists of the locators it found.
    ~GFX_ConnectionFriends() override;

    void set_uids(const char* uid1, const char* uid2);
    // Forgets that end; called by a locator that is being deleted. The line looks again.
    void detach_holder(GFX_LocationHolderFriend* h);

    // Finds the ends while one is missing, then draws the dots between the two balls.
    void draw(GFX_DotBatch& batch) override;

    std::string m_uid1;
    std::string m_uid2;
    GFX_LocationHolderFriend* m_holder1 = nullptr;  // Borrowed.
    GFX_LocationHolderFriend* m_holder2 = nullptr;  // Borrowed.
    bool m_highlighted = false;
    float m_alpha = 0.3f;  // opacity of the dots when not highlighted

private:
    void find_ends();
};
