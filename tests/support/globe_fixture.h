// A controller started in its own offscreen context, with the helpers the frame and overlay
// tests share: frames, people laid out as the acquisition does, and where things land on screen.
#pragma once

#include "controller/sim_ctrl_nimbra.h"
#include "gfx/ogl_wrapper.h"
#include "scene/billboard.h"
#include "scene/camera.h"
#include "scene/location_holder.h"
#include "tests/support/offscreen_gl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

struct GlobeFixture {
    OffscreenGL gl;
    UTL_SimCtrlNimbra c;

    // The controller is not started yet, so a test can set it up first (see start()).
    GlobeFixture(int width, int height) : gl(width, height) {
        EXPECT_TRUE(gl.ok()) << "no offscreen context";
    }

    void start() { c.start(gl.width(), gl.height()); }
    void frame(float dt = 0.02f) { c.update(gl.width(), gl.height(), dt); }
    void frames(int n, float dt = 0.02f) {
        for (int i = 0; i < n; ++i) frame(dt);
    }

    // User "0" and friends "1" .. "n", laid out after each friend as the acquisition does.
    void people(int friends) {
        c.add_myself("0", "Me", "", "");
        c.create_friends_locators();
        for (int i = 1; i <= friends; ++i) {
            c.add_friend(std::to_string(i).c_str(), ("Friend " + std::to_string(i)).c_str(), "",
                         "");
            c.create_friends_locators();
        }
    }

    // Window position of a world point under the last frame's camera.
    Math_Vector3 window_of(const Math_Vector3& p) {
        Math_Vector3 win;
        c.m_ogl->model_to_window(p, win);
        return win;
    }
    Math_Vector3 billboard_centre(GFX_LocationHolder* h) {
        Math_Vector3 m;
        for (const Math_Vector3& v : h->m_billboard->m_vertices) m += v * 0.25f;
        return window_of(m);
    }

    // The locator on the near side of the globe whose billboard is nearest the middle of the
    // window and inside [x0, x1] x [y0, y1], other than skip; null when there is none.
    GFX_LocationHolder* front_holder(GFX_LocationHolder* skip, float x0, float y0, float x1,
                                     float y1) {
        GFX_LocationHolder* best = nullptr;
        float best_d = 1e30f;
        for (GFX_LocationHolder* h : c.m_loc_holders) {
            if (h == skip) continue;
            Math_Vector3 w = billboard_centre(h);
            if (w.m_z <= 0 || w.m_z >= 1 || w.m_x < x0 || w.m_x > x1 || w.m_y < y0 || w.m_y > y1)
                continue;
            if (h->m_position.dot(c.m_camera->m_eye) <= 0) continue;
            const float d = std::hypot(w.m_x - gl.width() / 2, w.m_y - gl.height() / 2);
            if (d < best_d) best_d = d, best = h;
        }
        return best;
    }

    // Within 2 of the theme's background in every channel.
    bool is_background(const Rgba& p) {
        const Math_Vector3& b = c.m_color_theme.m_background_color;
        return std::abs(p.r - std::lround(b.m_x * 255)) <= 2 &&
               std::abs(p.g - std::lround(b.m_y * 255)) <= 2 &&
               std::abs(p.b - std::lround(b.m_z * 255)) <= 2;
    }
};
