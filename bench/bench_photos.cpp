// Photos per second from the first request to an uploaded texture, for 200 JPEG photos of
// 200 x 200 pixels served over HTTP from 127.0.0.1: from one host against the command-line tools
// (curl, djpeg), and from four hosts, one of them slow, against one transfer at a time; and one
// 50-megapixel progressive JPEG decoded reduced against at full size (time and peak memory).
#include <GL/gl.h>
#include <GL/osmesa.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "photos/foto_texture_boss.h"
#include "photos/texture_foto.h"
#include "util/image.h"
#include "util/photo_decoder.h"
#include "tests/support/photo_files.h"

// NOTE: the test HTTP server is compiled into this program directly; it lives with the tests'
// support code, which the benchmarks do not link.
#include "tests/support/http_server.cpp"

namespace {

const int kPhotos = 200;
const int kRuns = 3;
const int kHosts = 4;
// The slow host answers each photo after this long, and then slowly.
const int kSlowDelayMs = 150;
const int kSlowBytesPerSecond = 40000;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One pass of the application's road: every address requested in the first frame, each texture
// applied (uploaded) in the first frame it is returned. Frames follow each other after 1 ms.
// limits: the transfers at once; fast: when the first `fast` addresses had all arrived.
double pipeline_seconds(const std::vector<std::string>& urls, const UTL_FotoDownloadLimits& limits,
                        size_t fast_count = 0, double* fast_seconds = nullptr) {
    UTL_FotoSettings settings;
    settings.m_use_disk_cache = false;  // every pass downloads
    UTL_FotoTextureBoss boss(settings);
    boss.set_download_limits(limits);
    boss.start();
    std::vector<bool> uploaded(urls.size(), false);
    size_t left = urls.size();
    size_t fast_left = fast_count;
    const auto start = std::chrono::steady_clock::now();
    while (left > 0) {
        for (size_t i = 0; i < urls.size(); ++i) {
            if (uploaded[i]) continue;
            if (OGL_TextureFoto* texture = boss.get_texture(urls[i].c_str())) {
                texture->apply();
                uploaded[i] = true;
                --left;
                if (i < fast_count && --fast_left == 0 && fast_seconds) {
                    *fast_seconds = seconds_since(start);
                }
            }
        }
        if (left > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (seconds_since(start) > 300) return -1;
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

// Decodes the photo in a child process, so that the child's peak memory is the decode's alone;
// answers the seconds (-1 when nothing decoded) and the peak resident size in MiB.
double decode_in_child(const std::string& bytes, uint32_t max_side, double& peak_mib) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(pipe_fds[0]);
        GFX_PhotoDecodeOptions options;
        options.m_max_side = max_side;
        const auto start = std::chrono::steady_clock::now();
        GFX_Image* image = decode_photo(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        bytes.size(), options);
        double seconds = image ? seconds_since(start) : -1;
        if (write(pipe_fds[1], &seconds, sizeof seconds) != sizeof seconds) _exit(1);
        _exit(0);
    }
    close(pipe_fds[1]);
    double seconds = -1;
    if (read(pipe_fds[0], &seconds, sizeof seconds) != sizeof seconds) seconds = -1;
    close(pipe_fds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    peak_mib = usage.ru_maxrss / 1024.0;
    return seconds;
}

// A 50-megapixel progressive 4:2:0 JPEG made by cjpeg: quarter bands of colour.
std::string huge_jpeg(const std::string& path) {
    const unsigned w = 8660, h = 5774;
    FILE* cjpeg =
        popen(("cjpeg -progressive -quality 85 -sample 2x2 -outfile '" + path + "'").c_str(), "w");
    if (cjpeg == nullptr) return "";
    std::fprintf(cjpeg, "P6\n%u %u\n255\n", w, h);
    std::vector<unsigned char> row(size_t(w) * 3);
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            row[3 * x] = static_cast<unsigned char>(x * 255 / w);
            row[3 * x + 1] = static_cast<unsigned char>(y * 255 / h);
            row[3 * x + 2] = static_cast<unsigned char>((x / 64 + y / 64) % 2 ? 200 : 40);
        }
        std::fwrite(row.data(), 1, row.size(), cjpeg);
    }
    if (pclose(cjpeg) != 0) return "";
    return PhotoDir::read(path);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    // First, while the process is small: a forked child's peak memory then is its decode's.
    PhotoDir huge_dir;
    const std::string huge = huge_jpeg(huge_dir.file("huge.jpg"));
    if (huge.empty()) {
        std::fprintf(stderr, "bench_photos: cjpeg failed\n");
        return 1;
    }
    std::vector<double> full_s, reduced_s;
    double full_mib = 0, reduced_mib = 0;
    for (int run = 0; run < kRuns; ++run) {
        full_s.push_back(decode_in_child(huge, 0, full_mib));
        reduced_s.push_back(decode_in_child(huge, 1024, reduced_mib));
    }
    std::printf("one progressive JPEG of 8660 x 5774 (50 MP, 4:2:0, %.1f MB):\n",
                huge.size() / 1e6);
    std::printf("  decoded at full size:                   %6.2f s, peak %6.0f MiB\n",
                median(full_s), full_mib);
    std::printf("  decoded reduced to at most 1024 a side: %6.2f s, peak %6.0f MiB\n",
                median(reduced_s), reduced_mib);
    std::printf("  ratio full / reduced:                   %6.2f x time, %5.2f x memory\n",
                median(full_s) / median(reduced_s), full_mib / reduced_mib);

    PhotoDir dir;
    TestHttpServer server;
    std::vector<std::unique_ptr<TestHttpServer>> hosts;
    for (int h = 0; h < kHosts; ++h) hosts.push_back(std::make_unique<TestHttpServer>());
    if (dir.path().empty() || !server.ok()) {
        std::fprintf(stderr, "bench_photos: no temporary directory or no server\n");
        return 1;
    }
    // The host whose addresses sort first is the slow one: its transfers start first.
    std::sort(hosts.begin(), hosts.end(),
              [](const auto& a, const auto& b) { return a->url("/") < b->url("/"); });
    std::vector<std::string> urls, fast_urls, slow_urls;
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
        const std::string path = std::string("/") + name;
        server.serve(path, bytes);
        urls.push_back(server.url(path));
        TestHttpServer& host = *hosts[size_t(i % kHosts)];
        if (i % kHosts == 0) {
            TestHttpServer::Response slow;
            slow.body = bytes;
            slow.delay_ms = kSlowDelayMs;
            slow.bytes_per_second = kSlowBytesPerSecond;
            host.serve(path, slow);
            slow_urls.push_back(host.url(path));
        } else {
            host.serve(path, bytes);
            fast_urls.push_back(host.url(path));
        }
    }
    // Fast hosts' addresses first, so that their arrival is timed on its own.
    std::vector<std::string> four_hosts = fast_urls;
    four_hosts.insert(four_hosts.end(), slow_urls.begin(), slow_urls.end());

    std::vector<unsigned char> frame(64 * 64 * 4);
    OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (context == nullptr || !OSMesaMakeCurrent(context, frame.data(), GL_UNSIGNED_BYTE, 64, 64)) {
        std::fprintf(stderr, "bench_photos: no OSMesa context\n");
        return 1;
    }

    UTL_FotoDownloadLimits parallel;
    UTL_FotoDownloadLimits single;
    single.m_max_transfers = 1;
    single.m_max_per_host = 1;
    std::vector<double> ours, tools, single_all, single_fast, parallel_all, parallel_fast;
    for (int run = 0; run < kRuns; ++run) {
        ours.push_back(pipeline_seconds(urls, parallel));
        tools.push_back(baseline_seconds(urls, dir.path()));
        double fast = 0;
        single_all.push_back(pipeline_seconds(four_hosts, single, fast_urls.size(), &fast));
        single_fast.push_back(fast);
        parallel_all.push_back(pipeline_seconds(four_hosts, parallel, fast_urls.size(), &fast));
        parallel_fast.push_back(fast);
        if (ours.back() < 0 || tools.back() < 0 || single_all.back() < 0 ||
            parallel_all.back() < 0) {
            std::fprintf(stderr, "bench_photos: a run failed\n");
            return 1;
        }
    }
    OSMesaDestroyContext(context);

    const double ours_rate = kPhotos / median(ours);
    const double tools_rate = kPhotos / median(tools);
    std::printf("photos: %d JPEGs of 200 x 200 from 127.0.0.1, median of %d runs\n", kPhotos,
                kRuns);
    std::printf("one host:\n");
    std::printf("  photo texture manager (request to uploaded texture): %8.1f photos/s\n",
                ours_rate);
    std::printf("  baseline curl + djpeg command line:                  %8.1f photos/s\n",
                tools_rate);
    std::printf("  ratio manager / baseline:                            %8.2f\n",
                ours_rate / tools_rate);
    const double fast_n = double(fast_urls.size());
    std::printf("%d hosts, one slow (%d ms, then %d bytes/s; %zu of the photos):\n", kHosts,
                kSlowDelayMs, kSlowBytesPerSecond, slow_urls.size());
    std::printf("  one transfer at a time, all photos:                  %8.1f photos/s\n",
                kPhotos / median(single_all));
    std::printf("  8 transfers, 2 per host, all photos:                 %8.1f photos/s\n",
                kPhotos / median(parallel_all));
    std::printf("  ratio parallel / one at a time:                      %8.2f\n",
                median(single_all) / median(parallel_all));
    std::printf("  one transfer at a time, fast hosts' photos:          %8.1f photos/s\n",
                fast_n / median(single_fast));
    std::printf("  8 transfers, 2 per host, fast hosts' photos:         %8.1f photos/s\n",
                fast_n / median(parallel_fast));
    std::printf("  ratio parallel / one at a time:                      %8.2f\n",
                median(single_fast) / median(parallel_fast));

    return 0;
}
