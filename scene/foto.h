// GFX_Foto: one photo known by its address (a web address or a local path). It holds no pixels:
// every draw asks the controller's photo texture manager for the shared texture of the address.
#pragma once

#include <cstdint>
#include <string>

#include "gfx/math.h"

class OGL_TextureFoto;
class UTL_SimCtrlNimbra;

// Owned by its GFX_Friend. The texture belongs to the photo texture manager and is shared by
// every photo of the same address. Main thread only.
class GFX_Foto {
public:
    explicit GFX_Foto(UTL_SimCtrlNimbra* controller);
    virtual ~GFX_Foto() = default;
    GFX_Foto(const GFX_Foto&) = delete;
    GFX_Foto& operator=(const GFX_Foto&) = delete;

    // The texture once downloaded, else null (also without a controller, a manager or an
    // address). Asking queues the download the first time.
    OGL_TextureFoto* get_texture();

    // The texture's draws of the same name; nothing while there is no texture. Colour and
    // blending are the caller's.
    void draw_quad(Math_Vector3& p0, Math_Vector3& p1, Math_Vector3& p2, Math_Vector3& p3);
    void draw_quad(float left, float right, float top, float bottom);
    void draw_quad_cut(float left, float right, float top, float bottom);

    UTL_SimCtrlNimbra* m_controller;  // Borrowed.
    std::string m_url;
    // The longest side its texture is decoded at; 0: as large as the photo settings allow.
    uint32_t m_max_side = 0;
};
