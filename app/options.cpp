// The command line: long options with "--name value" or "--name=value", checked values, and the
// help and version texts.
#include "app/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifndef NIMBRA_VERSION_STRING
#define NIMBRA_VERSION_STRING "0.0.0"
#endif

namespace {

// A whole decimal number within [lo, hi]; no sign, no spaces, nothing after it.
bool parse_number(const std::string& s, unsigned long long lo, unsigned long long hi,
                  unsigned long long& out) {
    if (s.empty() || s.size() > 20) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parse_size(const std::string& s, int& w, int& h) {
    const size_t x = s.find_first_of("xX");
    if (x == std::string::npos) return false;
    unsigned long long a = 0, b = 0;
    if (!parse_number(s.substr(0, x), 1, kMaxViewSide, a) ||
        !parse_number(s.substr(x + 1), 1, kMaxViewSide, b))
        return false;
    w = static_cast<int>(a);
    h = static_cast<int>(b);
    return true;
}

}  // namespace

bool parse_command_line(int argc, const char* const* argv, UTL_HostOptions& o, std::string& error) {
    static const char* const kWithValue[] = {
        "--size",     "--data",   "--graph",     "--ego",    "--batch-frames",
        "--snapshot", "--frames", "--script",    "--people", "--service",
        "--api-key",  "--secret", "--auth-token"};
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        std::string value;
        bool has_value = false;
        const size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            has_value = true;
        }
        bool wants_value = false;
        for (const char* name : kWithValue)
            if (arg == name) wants_value = true;
        if (arg == "-h") arg = "--help";
        if (arg == "-V") arg = "--version";

        if (!wants_value) {
            if (has_value) {
                error = "option '" + arg + "' takes no value";
                return false;
            }
            if (arg == "--help") o.help = true;
            else if (arg == "--version") o.version = true;
            else if (arg == "--bench") o.bench = true;
            else if (arg.size() > 1 && arg[0] == '-') {
                error = "unknown option '" + arg + "'";
                return false;
            } else {
                error = "unexpected argument '" + arg + "'";
                return false;
            }
            continue;
        }
        if (!has_value) {
            if (i + 1 >= argc || !argv[i + 1]) {
                error = "option '" + arg + "' needs a value";
                return false;
            }
            value = argv[++i];
        }

        unsigned long long n = 0;
        if (arg == "--size") {
            if (!parse_size(value, o.width, o.height)) {
                error = "bad size '" + value + "': expected WIDTHxHEIGHT, each 1 to " +
                        std::to_string(kMaxViewSide);
                return false;
            }
        } else if (arg == "--ego") {
            if (!parse_number(value, 0, ~0ull, n)) {
                error = "bad person id '" + value + "': expected a whole number";
                return false;
            }
            o.has_ego = true;
            o.ego = n;
        } else if (arg == "--batch-frames") {
            if (!parse_number(value, 0, 1000000, n)) {
                error = "bad frame count '" + value + "' for --batch-frames: expected 0 to 1000000";
                return false;
            }
            o.batch_frames = static_cast<unsigned int>(n);
        } else if (arg == "--frames") {
            if (!parse_number(value, 1, 100000000, n)) {
                error = "bad frame count '" + value + "' for --frames: expected 1 to 100000000";
                return false;
            }
            o.has_frames = true;
            o.frames = static_cast<int>(n);
        } else {
            if (value.empty()) {
                error = "option '" + arg + "' needs a non-empty value";
                return false;
            }
            if (arg == "--data") o.data_dir = value;
            else if (arg == "--graph") o.graph_file = value;
            else if (arg == "--snapshot") o.snapshot_file = value;
            else if (arg == "--people") o.people_file = value;
            else if (arg == "--service") o.service_url = value;
            else if (arg == "--api-key") o.api_key = value;
            else if (arg == "--secret") o.secret = value;
            else if (arg == "--auth-token") o.auth_token = value;
            else o.script_file = value;
        }
    }
    if (o.has_ego && o.graph_file.empty()) {
        error = "--ego needs --graph: the demo network has no person ids to choose from";
        return false;
    }
    return true;
}

std::string usage_text(const std::string& program) {
    return "Usage: " + program +
           " [OPTION]...\n"
           "Show a social network as an interactive 3D friend globe.\n"
           "\n"
           "Without options the window opens on a built-in demo network.\n"
           "\n"
           "  --size WxH          size of the window or picture in pixels (default 1024x768)\n"
           "  --data DIR          the folder holding data/config (or the data folder itself);\n"
           "                      also taken from NIMBRA_DATA\n"
           "  --graph FILE        show a SNAP edge list (\"a b\" per line, # comments)\n"
           "  --ego N             whose friends to show from --graph (default: the person\n"
           "                      with the most friends)\n"
           "  --people FILE       names and photos for --graph: CSV lines uid,name,pic,pic_square\n"
           "  --batch-frames N    frames between batches of friendships (default 500)\n"
           "\n"
           "The people come from a social service on this computer that serves the demo or\n"
           "--graph. To ask another one (also NIMBRA_SERVICE, NIMBRA_API_KEY, NIMBRA_SECRET,\n"
           "NIMBRA_AUTH_TOKEN):\n"
           "  --service URL       its REST address\n"
           "  --api-key KEY       the application's key and secret there\n"
           "  --secret SECRET\n"
           "  --auth-token TOKEN  a login token approved at the service (without it the\n"
           "                      application asks the service for one)\n"
           "\n"
           "Offscreen rendering (no window; any of these selects it):\n"
           "  --snapshot FILE     write the last frame as a PNG\n"
           "  --frames N          frames to render (default 600)\n"
           "  --script FILE       timed input events, one per line:\n"
           "                        frame 10 down 400 300      (pixels, origin top left)\n"
           "                        frame 12 move 420 300 drag\n"
           "                        frame 14 up 420 300\n"
           "                        frame 20 key a             (or up, F5, space, ...)\n"
           "                        frame 30 snapshot out.png\n"
           "  --bench             print frames per second of the offscreen renderer\n"
           "\n"
           "  -h, --help          show this help and exit\n"
           "  -V, --version       show the version and exit\n"
           "\n"
           "In the window: drag to turn the globe, flick to spin it, click a person to select.\n";
}

std::string version_text(const std::string& program) {
    return program + " " NIMBRA_VERSION_STRING "\n";
}
