// GFX_Connection: a dotted glowing line between two points; GFX_ConnectionFriends: the line of
// a friendship, which finds the locators of its two people by user id.
#pragma once

#include <string>

#include "gfx/math.h"

class GFX_Billboard;
class GFX_LocationHolderFriend;
class UTL_SimCtrlNimbra;

// Owned by the controller. Drawing emits quads only: the caller binds the glow texture and opens
// the GL_QUADS batch. Main thread only.
class GFX_Connection {
public:
    explicit GFX_Connection(UTL_SimCtrlNimbra* controller);
    virtual ~GFX_Connection();
    GFX_Connection(const GFX_Connection&) = delete;
    GFX_Connection& operator=(const GFX_Connection&) = delete;

    void set_color(const Math_Vector3& c);
    void set_impostor_orientation(const Math_Vector3& up, const Math_Vector3& right);

    // The dots from m_start to m_end with the billboard's current size and opacity.
    virtual void draw();

    // Number of dot intervals on a line of that length: one per full 90 units; 0 for a zero,
    // negative or non-finite length. Dots sit at k * length / n for k = 1 .. n - 1.
    static int dot_count(float length);

    UTL_SimCtrlNimbra* m_controller;  // Borrowed.
    Math_Vector3 m_start;
    Math_Vector3 m_end;
    GFX_Billboard* m_billboard;  // Owned; one quad moved from dot to dot.

protected:
    // Emits the dots between m_start and m_end, each coloured by its place on the globe.
    void draw_dots();
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
    void draw() override;

    std::string m_uid1;
    std::string m_uid2;
    GFX_LocationHolderFriend* m_holder1 = nullptr;  // Borrowed.
    GFX_LocationHolderFriend* m_holder2 = nullptr;  // Borrowed.
    bool m_highlighted = false;
    float m_alpha = 0.3f;  // opacity of the dots when not highlighted

private:
    void find_ends();
};
