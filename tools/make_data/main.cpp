// The data generator: draws every texture and writes the theme file into a data directory, and
// optionally renders a preview of the overlay and the globe made from them.
//   make_data <out_dir> [--preview <file.tga>]
#include <cstdio>
#include <cstring>
#include <string>

#include "preview.h"
#include "textures.h"
#include "themes.h"

int main(int argc, char** argv) {
    std::string out_dir, preview_path;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--preview") == 0 && i + 1 < argc) {
            preview_path = argv[++i];
        } else if (out_dir.empty() && argv[i][0] != '-') {
            out_dir = argv[i];
        } else {
            std::fprintf(stderr, "usage: make_data <out_dir> [--preview <file.tga>]\n");
            return 2;
        }
    }
    if (out_dir.empty()) {
        std::fprintf(stderr, "usage: make_data <out_dir> [--preview <file.tga>]\n");
        return 2;
    }

    for (const TextureRecipe& r : texture_recipes()) {
        std::string path = out_dir + "/" + r.file;
        Canvas c = r.make();
        if (!c.write_tga(path)) {
            std::fprintf(stderr, "make_data: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%-20s %4d x %-4d\n", r.file, c.width(), c.height());
    }

    std::string themes_path = out_dir + "/themes.txt";
    FILE* f = std::fopen(themes_path.c_str(), "wb");
    std::string text = themes_file_text();
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "make_data: cannot write %s\n", themes_path.c_str());
        return 1;
    }
    std::printf("%-20s %zu themes\n", "themes.txt", themes().size());

    if (!preview_path.empty()) {
        if (!render_preview(out_dir, preview_path)) {
            std::fprintf(stderr, "make_data: cannot write %s\n", preview_path.c_str());
            return 1;
        }
    }
    return 0;
}
