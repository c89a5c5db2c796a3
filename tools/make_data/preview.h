// A mock-up of the program's window drawn on the CPU from the files just written, one panel per
// theme, to judge the textures where they are used.
#pragma once

#include <string>

// Reads the textures back from data_dir and writes the mock-up as a 24-bit TGA.
bool render_preview(const std::string& data_dir, const std::string& out_path);
