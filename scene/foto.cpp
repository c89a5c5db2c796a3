// GFX_Foto: a photo that asks the photo texture manager for the shared texture of its address
// every time it is drawn, and draws nothing until the texture has arrived.
#include "scene/foto.h"

#include "controller/sim_ctrl_nimbra.h"
#include "photos/foto_texture_boss.h"
#include "photos/texture_foto.h"

// --- Construction --------------------------------------------------------------------------

GFX_Foto::GFX_Foto(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

// --- Per-frame update ----------------------------------------------------------------------

OGL_TextureFoto* GFX_Foto::get_texture() {
    if (!m_controller || !m_controller->m_foto_texture_boss || m_url.empty()) return nullptr;
    return m_controller->m_foto_texture_boss->get_texture(m_url.c_str(), m_max_side);
}

// --- Drawing -------------------------------------------------------------------------------

void GFX_Foto::draw_quad(Math_Vector3& p0, Math_Vector3& p1, Math_Vector3& p2, Math_Vector3& p3) {
    if (OGL_TextureFoto* texture = get_texture()) texture->draw_quad(p0, p1, p2, p3);
}

void GFX_Foto::draw_quad(float left, float right, float top, float bottom) {
    if (OGL_TextureFoto* texture = get_texture()) texture->draw_quad(left, right, top, bottom);
}

void GFX_Foto::draw_quad_cut(float left, float right, float top, float bottom) {
    if (OGL_TextureFoto* texture = get_texture()) texture->draw_quad_cut(left, right, top, bottom);
}
