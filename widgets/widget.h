// The overlay's size in pixels, shared by every overlay control.
#pragma once

struct GFX_WidgetScreen { float m_width = 0, m_height = 0; };
