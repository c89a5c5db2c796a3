// Photos per second from the first request to an uploaded texture, for 200 JPEG photos of
// 200 x 200 pixels served over HTTP from 127.0.0.1, against the command-line tools (curl, djpeg).
#include <GL/gl.h>
#include <GL/osmesa.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "photos/foto_texture_boss.h"
#include "photos/texture_foto.h"
#include "tests/support/photo_files.h"

// NOTE: the test HTTP server is compiled into this program directly; it lives with the tests'
// support code, which the benchmarks do not link.
#include "tests/support/http_server.cpp"

namespace {

const int kPhotos = 200;
const int kRuns = 3;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One pass of the application's road: every address requested in the first frame, each texture
// applied (uploaded) in the first frame it is returned. Frames follow each other after 1 ms.
double pipeline_seconds(const std::vector<std::string>& urls) {
    UTL_FotoTextureBoss boss;
    boss.start();
    std::vector<bool> uploaded(urls.size(), false);
    size_t left = urls.size();
    const auto start = std::chrono::steady_clock::now();
    while (left > 0) {
        for (size_t i = 0; i < urls.size(); ++i) {
            if (uploaded[i]) continue;
            if (OGL_TextureFoto* texture = boss.get_texture(urls[i].c_str())) {
                texture->apply();
                uploaded[i] = true;
                --left;
            }
        }
        if (left > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (seconds_since(start) > 120) return -1;
    }
    glFinish();
    const double seconds = seconds_since(start);
    boss.unload_textures();
    return seconds;
}

// The same files fetched with curl and decoded with djpeg, one after another, in one shell.
double baseline_seconds(const std::vector<std::string>& urls, const std::string& dir) {
    std::string script = "set -e; cd '" + dir + "'; ";
    for (const std::string& url : urls) {
        script += "curl -s -f -o got.jpg '" + url + "'; djpeg -outfile /dev/null got.jpg; ";
    }
    const std::string command = "sh -c \"" + script + "\"";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return seconds_since(start);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    PhotoDir dir;
    TestHttpServer server;
    if (dir.path().empty() || !server.ok()) {
        std::fprintf(stderr, "bench_photos: no temporary directory or no server\n");
        return 1;
    }
    std::vector<std::string> urls;
    for (int i = 0; i < kPhotos; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "p%03d.jpg", i);
        const std::string args = "-size 200x200 gradient:'rgb(" + std::to_string(i) +
                                 ",40,200)'-'rgb(250," + std::to_string(255 - i) + ",0)'";
        const std::string bytes = dir.make(name, args);
        if (bytes.empty()) {
            std::fprintf(stderr, "bench_photos: convert failed\n");
            return 1;
        }
        server.serve(std::string("/") + name, bytes);
        urls.push_back(server.url(std::string("/") + name));
    }

    std::vector<unsigned char> frame(64 * 64 * 4);
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (context == nullptr || !OSMesaMakeCurrent(context, frame.data(), GL_UNSIGNED_BYTE, 64, 64)) {
        std::fprintf(stderr, "bench_photos: no OSMesa context\n");
        return 1;
    }

    std::vector<double> ours, tools;
    for (int run = 0; run < kRuns; ++run) {
        ours.push_back(pipeline_seconds(urls));
        tools.push_back(baseline_seconds(urls, dir.path()));
        if (ours.back() < 0 || tools.back() < 0) {
            std::fprintf(stderr, "bench_photos: a run failed\n");
            return 1;
        }
    }
    OSMesaDestroyContext(context);

    const double ours_rate = kPhotos / median(ours);
    const double tools_rate = kPhotos / median(tools);
    std::printf("photos: %d JPEGs of 200 x 200 from 127.0.0.1, median of %d runs\n", kPhotos,
                kRuns);
    std::printf("  photo texture manager (request to uploaded texture): %8.1f photos/s\n",
                ours_rate);
    std::printf("  baseline curl + djpeg command line:                  %8.1f photos/s\n",
                tools_rate);
    std::printf("  ratio manager / baseline:                            %8.2f\n",
                ours_rate / tools_rate);
    return 0;
}
