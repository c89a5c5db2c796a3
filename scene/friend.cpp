// GFX_Friend: one person and the two photos it owns.
#include "scene/friend.h"

#include "scene/foto.h"

namespace {

// Replaces *slot with a new photo of that address.
void replace_foto(GFX_Foto*& slot, UTL_SimCtrlNimbra* controller, const char* url) {
    delete slot;
    slot = new GFX_Foto(controller);
    slot->m_url = url ? url : "";
}

}  // namespace

// --- Construction and destruction ----------------------------------------------------------

GFX_Friend::GFX_Friend(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}

GFX_Friend::~GFX_Friend() { clear(); }

void GFX_Friend::load_foto(const char* url) { replace_foto(m_foto, m_controller, url); }

void GFX_Friend::load_foto_square(const char* url) {
    replace_foto(m_foto_square, m_controller, url);
    m_foto_square->m_max_side = k_square_side;
}

void GFX_Friend::clear() {
    delete m_foto;
    m_foto = nullptr;
    delete m_foto_square;
    m_foto_square = nullptr;
}
