// UTL_SimCtrlRoot: construction, the OpenGL start every controller shares, and the raw mouse
// and key state the host feeds in.
#include "controller/sim_ctrl_root.h"

#include "gfx/ogl_wrapper.h"
#include "scene/camera.h"

#include <GL/gl.h>

// ---------------------------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------------------------

UTL_SimCtrlRoot::UTL_SimCtrlRoot() = default;

UTL_SimCtrlRoot::~UTL_SimCtrlRoot() {
    delete m_camera;
    m_camera = nullptr;
    delete m_ogl;
    m_ogl = nullptr;
}

// Fixed-function lighting with one white directional light from +y, colour material following
// glColor, depth test and back-face culling; the camera at the root's defaults.
void UTL_SimCtrlRoot::start(int w, int h) {
    m_view_width = w;
    m_view_height = h;
    m_num_frames = 0;
    delete m_ogl;
    m_ogl = new OGL_Wrapper();

    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT, black);
    glMaterialfv(GL_FRONT, GL_SPECULAR, black);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, white);
    glMaterialf(GL_FRONT, GL_SHININESS, 100.0f);

    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, white);

    const GLfloat light_dir[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, white);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glLightfv(GL_LIGHT0, GL_POSITION, light_dir);

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_CULL_FACE);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);

    create_camera_center();

    glEnable(GL_TEXTURE_2D);

    m_clear_color = Math_Vector3(0.0f, 0.2f, 0.6f);
    glClearColor(m_clear_color.m_x, m_clear_color.m_y, m_clear_color.m_z, 0.0f);
    glShadeModel(GL_SMOOTH);
    glViewport(0, 0, m_view_width, m_view_height);
}

// ---------------------------------------------------------------------------------------------
// Per-frame update
// ---------------------------------------------------------------------------------------------

// A controller that draws replaces this frame; the root only counts it.
void UTL_SimCtrlRoot::update(int w, int h, float) {
    m_view_width = w;
    m_view_height = h;
    m_num_frames++;
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlRoot::mouse_moved(int x, int y, int, int, unsigned int) {
    m_mouse_x = x;
    m_mouse_y = y;
}

void UTL_SimCtrlRoot::mouse_down(int x, int y, unsigned int) {
    m_mouse_x = m_mouse_down_x = x;
    m_mouse_y = m_mouse_down_y = y;
}

void UTL_SimCtrlRoot::mouse_up(int, int, unsigned int) {}

void UTL_SimCtrlRoot::mouse_dbl_clk(int x, int y, unsigned int) {
    m_mouse_x = m_mouse_down_x = x;
    m_mouse_y = m_mouse_down_y = y;
    m_dbl_clicked = true;
}

void UTL_SimCtrlRoot::key_down(unsigned int key, unsigned int) {
    if (key < 256) m_key_states[key] = true;
}

void UTL_SimCtrlRoot::key_up(unsigned int key, unsigned int) {
    if (key < 256) m_key_states[key] = false;
}

bool UTL_SimCtrlRoot::get_key_status(unsigned int key) const {
    return key < 256 && m_key_states[key];
}

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

void UTL_SimCtrlRoot::create_camera_center() {
    delete m_camera;
    m_camera = new GFX_NimbraCamera();
    m_camera->m_max_distance = 100.0f;
    m_camera->m_min_distance = 0.0f;
    m_camera->m_distance = 40.0f;
    m_camera->set_up_down(0.0f);
    m_camera->m_min_up_down = -90.0f;
    m_camera->m_zoom_speed = 2.0f;
    m_camera->m_center = Math_Vector3(0.0f, 0.0f, 0.0f);
}
