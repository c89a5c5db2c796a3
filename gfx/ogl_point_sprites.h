// OGL_PointSprites: the OpenGL state that draws each point of a GL_POINTS draw as a textured,
// screen-aligned square whose side shrinks with distance like a quad of a fixed world size.
#pragma once

// Stateless. Every call reads or changes the current OpenGL context: main (GL) thread only.
class OGL_PointSprites {
public:
    // True when the current context has point sprites (OpenGL 2.0, GL_ARB_point_sprite or
    // GL_NV_point_sprite) and point parameters (OpenGL 1.4).
    static bool supported();
    // The sides in pixels, smallest and largest, the implementation draws a point sprite at.
    // False (both 0) when the query gives nothing usable.
    static bool size_range(float& smallest, float& largest);

    // What one unit at depth 1 in front of the eye spans on screen, in pixels, under the current
    // projection and viewport (a perspective projection; 0 when there is none).
    static float pixels_per_unit();

    // Until end(), points are drawn as squares textured over their whole side, with (0, 0) at
    // the lower left where the driver lets that be chosen, clamped to size_range(). Saves the
    // point state it changes; the caller has checked supported().
    static void begin();
    // Sizes the points drawn next like quads world_size units wide: world_size * pixels_per_unit
    // / depth pixels, depth being the point's distance in front of the eye. NOTE: Mesa measures
    // it along the view axis, as a quad's projection does; a driver that takes the straight
    // distance draws points towards the window's corners a little smaller.
    static void set_world_size(float world_size, float pixels_per_unit);
    // Restores the point state begin() saved.
    static void end();
};
