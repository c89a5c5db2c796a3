// The cost of one key typed into the search box with 5,000 people: the lookup of the typed text
// among the folded names (through the controller, as a key runs it), against a plain
// case-sensitive substring scan of the same names as the baseline, the one-time folding of
// all names, and whole offscreen frames of the 5,000 people with a key typed against frames
// without one, alternating.
#include "controller/sim_ctrl_nimbra.h"

#include "util/name_index.h"
#include "util/utf8.h"

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int PEOPLE = 5000;
constexpr int WIDTH = 1024, HEIGHT = 768;
constexpr int FRAMES = 8;

using Clock = std::chrono::steady_clock;
double us_since(Clock::time_point t) {
    return std::chrono::duration<double, std::micro>(Clock::now() - t).count();
}

// Names of many origins and scripts, all different, the same every run.
std::vector<std::string> names() {
    const char* first[] = {"Anna",    "Björn", "Chloé", "Dmitri", "Élise", "Fatima", "Günter",
                           "Hana",    "Ígor",  "José",  "Kenji",  "Łucja", "María",  "Nikos",
                           "Øystein", "Priya", "Quinn", "Renée",  "Søren", "Tomás",  "Ümit",
                           "Vera",    "Wen",   "Xénia", "Yusuf",  "Zoë",   "Анна",   "Дмитрий",
                           "Νίκος",   "美咲",  "ليلى",  "민준"};
    const char* last[] = {"Öberg",        "Ñúñez",  "Müller", "García", "Dubois",
                          "Kowalski",     "Sato",   "Nguyễn", "Petrov", "Rossi",
                          "Smith",        "Yılmaz", "Jensen", "Chen",   "Соколов",
                          "Παπαδόπουλος", "田中",   "حداد",   "Kim",    "Silva"};
    std::vector<std::string> out;
    for (int i = 0; i < PEOPLE; ++i) {
        const int f = i % 32, l = (i / 32) % 20, n = i / 640;
        out.push_back(std::string(first[f]) + " " + last[l] + (n ? " " + std::to_string(n) : ""));
    }
    return out;
}

}  // namespace

int main() {
    const std::vector<std::string> people = names();
    // What a person types, one key at a time: the cost of each prefix is one keystroke.
    const std::vector<std::string> typed = {"m",  "ma",  "mar",  "mari", "maria", "o",
                                            "ob", "obe", "ober", "nu",   "zoe n", "a",
                                            "田", "ан",  "xyz",  "s"};

    // Folding every name once: what the first key after new people arrive pays.
    auto t = Clock::now();
    UTL_NameIndex index;
    for (const std::string& n : people) index.add(n);
    const double build_us = us_since(t);

    UTL_SimCtrlNimbra c;  // not started: the search needs no OpenGL
    c.add_myself("0", "Maya Lindqvist", "", "");
    for (int i = 0; i < PEOPLE; ++i)
        c.add_friend(std::to_string(i + 1).c_str(), people[i].c_str(), "", "");
    c.find_people("warm", 8);

    const int rounds = 200;
    std::vector<double> per_key;
    size_t sink = 0;
    for (const std::string& q : typed) {
        t = Clock::now();
        for (int r = 0; r < rounds; ++r) sink += c.find_people(q, 8).size();
        per_key.push_back(us_since(t) / rounds);
    }
    // The baseline: the plainest search one could write, a byte-wise substring test of every
    // name for the same texts, case and accents counting.
    double scan_total = 0.0;
    for (const std::string& q : typed) {
        t = Clock::now();
        for (int r = 0; r < rounds; ++r) {
            std::vector<size_t> hits;
            for (size_t i = 0; i < people.size() && hits.size() < 8; ++i)
                if (people[i].find(q) != std::string::npos) hits.push_back(i);
            sink += hits.size();
        }
        scan_total += us_since(t) / rounds;
    }
    double total = 0.0, worst = 0.0;
    for (double us : per_key) total += us, worst = std::max(worst, us);
    const double mean = total / per_key.size(), scan_mean = scan_total / typed.size();

    std::printf("bench_search: %d people, %zu typed texts, %d rounds each (sink %zu)\n", PEOPLE,
                typed.size(), rounds, sink);
    std::printf("  folding all names once:          %9.1f us\n", build_us);
    std::printf("  one key (lookup, 8 best):   mean %7.1f us, worst %7.1f us\n", mean, worst);
    std::printf("  baseline, plain substring scan:  %7.1f us  (a key costs %.1f times the scan)\n",
                scan_mean, mean / scan_mean);
    std::printf("  a key is %.2f %% of the 20 ms tick\n", 100.0 * worst / 20000.0);

    // Whole frames: the same 5,000 people on the globe, with a key typed in every frame (the
    // box open, eight rows drawn) against the same frames with the box closed.
    if (chdir(NIMBRA_SOURCE_DIR) != 0) std::printf("bench_search: cannot enter the sources\n");
    std::vector<unsigned char> buffer(WIDTH * HEIGHT * 4);
    const int attribs[] = {OSMESA_FORMAT,
                           OSMESA_RGBA,
                           OSMESA_DEPTH_BITS,
                           24,
                           OSMESA_PROFILE,
                           OSMESA_COMPAT_PROFILE,
                           0};
    OSMesaContext context = OSMesaCreateContextAttribs(attribs, nullptr);
    if (!context || !OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, WIDTH, HEIGHT)) {
        std::fprintf(stderr, "bench_search: no OSMesa context\n");
        return 1;
    }
    {
        UTL_SimCtrlNimbra g;
        g.start(WIDTH, HEIGHT);
        g.add_myself("0", "Maya Lindqvist", "", "");
        for (int i = 0; i < PEOPLE; ++i)
            g.add_friend(std::to_string(i + 1).c_str(), people[i].c_str(), "", "");
        g.create_friends_locators();
        for (int i = 0; i < 3; ++i) g.update(WIDTH, HEIGHT, 0.02f);  // textures, glyphs
        // The box open in both; frames with and without a key alternate, so that the load of
        // a shared machine falls on both alike.
        g.key_down('/', 0);
        g.update(WIDTH, HEIGHT, 0.02f);
        std::vector<double> quiet, typing;
        for (int i = 0; i < 2 * FRAMES; ++i) {
            const bool key = i % 2 == 1;
            if (key) g.key_down(i % 4 == 1 ? 'm' : 127u, 0);  // 'm', Backspace, 'm', ...
            const auto f = Clock::now();
            g.update(WIDTH, HEIGHT, 0.02f);
            glFinish();
            (key ? typing : quiet).push_back(us_since(f) / 1000.0);
        }
        std::sort(quiet.begin(), quiet.end());
        std::sort(typing.begin(), typing.end());
        const double q = quiet[quiet.size() / 2], k = typing[typing.size() / 2];
        std::printf(
            "  frames of %d people at %dx%d, search box open: median %.1f ms without a"
            " key, %.1f ms with one (ratio %.3f)\n",
            PEOPLE, WIDTH, HEIGHT, q, k, k / q);
    }
    OSMesaDestroyContext(context);
    return 0;
}
