// The event script reader: line splitting, the five event kinds and their checks.
#include "app/event_script.h"

#include "app/host_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

constexpr size_t kMaxScriptBytes = 16u << 20;
constexpr int kMaxFrame = 100000000;
constexpr double kMaxCoordinate = 1e6;
constexpr double kMaxWheelSteps = 1000.0;

bool parse_int(const std::string& s, int lo, int hi, int& out) {
    if (s.empty() || s.size() > 10) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    const long long v = std::atoll(s.c_str());
    if (v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

// A finite decimal such as 400, 400.5 or -3; nothing else on the token.
bool parse_coordinate(const std::string& s, double& out) {
    if (s.empty() || s.size() > 32) return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || std::fabs(v) > kMaxCoordinate) return false;
    // strtod also takes hexadecimal and "inf"; a coordinate is plain decimal.
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return false;
    out = v;
    return true;
}

bool named_key(std::string s, std::uint32_t& ch) {
    static const struct {
        const char* name;
        std::uint32_t ch;
    } kNames[] = {{"up", kKeyUpArrow},
                  {"down", kKeyDownArrow},
                  {"left", kKeyLeftArrow},
                  {"right", kKeyRightArrow},
                  {"space", ' '},
                  {"enter", '\r'},
                  {"return", '\r'},
                  {"tab", '\t'},
                  {"escape", 27},
                  {"esc", 27},
                  {"backspace", 127},
                  {"ctrl+f", 6},
                  {"shift+return", kKeyShiftReturn},
                  {"shift+enter", kKeyShiftReturn}};
    if (s.size() < 2) return false;  // a single character is typed as itself
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const auto& k : kNames)
        if (s == k.name) return ch = k.ch, true;
    if (s[0] == 'f') {
        int n = 0;
        if (parse_int(s.substr(1), 1, 12, n)) return ch = kKeyF1 + (n - 1), true;
    }
    return false;
}

}  // namespace

bool parse_event_script(const std::string& text, std::vector<UTL_ScriptEvent>& events,
                        std::string& error) {
    events.clear();
    std::istringstream in(text);
    std::string raw;
    int line_no = 0;
    while (std::getline(in, raw)) {
        ++line_no;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(line_no) + ": " + why;
            return false;
        };
        std::string full = raw;
        if (!full.empty() && full.back() == '\r') full.pop_back();
        // A # begins a comment at the start of a line or after a blank.
        size_t hash = 0;
        while ((hash = full.find('#', hash)) != std::string::npos &&
               !(hash == 0 || full[hash - 1] == ' ' || full[hash - 1] == '\t'))
            ++hash;
        std::string line = full.substr(0, hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string t; words >> t;) w.push_back(t);
        if (w.empty()) continue;

        UTL_ScriptEvent e;
        e.line = line_no;
        if (w[0] != "frame") return fail("expected 'frame N ...', found '" + w[0] + "'");
        if (w.size() < 3) return fail("expected 'frame N' and an event");
        if (!parse_int(w[1], 1, kMaxFrame, e.frame)) return fail("bad frame number '" + w[1] + "'");
        const std::string& what = w[2];
        if (what == "down" || what == "up" || what == "move") {
            e.kind = what == "down" ? UTL_ScriptEvent::kDown
                     : what == "up" ? UTL_ScriptEvent::kUp
                                    : UTL_ScriptEvent::kMove;
            const bool move = e.kind == UTL_ScriptEvent::kMove;
            const size_t want = w.size() == 6 ? 6 : 5;
            if (w.size() != want)
                return fail("expected '" + what + " X Y'" + (move ? " [drag]" : " [shift]"));
            if (!parse_coordinate(w[3], e.x) || !parse_coordinate(w[4], e.y))
                return fail("bad position '" + w[3] + " " + w[4] + "'");
            if (want == 6) {
                const std::string word = move ? "drag" : "shift";
                if (w[5] != word)
                    return fail("expected '" + word + "' after the position, found '" + w[5] + "'");
                (move ? e.drag : e.shift) = true;
            }
        } else if (what == "key") {
            // The rest of the line after "key", so that a space inside the text is typed too;
            // its first character is typed even when it is a #.
            const size_t at = full.find("key") + 3;
            const size_t from = full.find_first_not_of(" \t", at);
            if (from == std::string::npos) return fail("expected 'key TEXT'");
            size_t end = full.size();
            for (size_t k = from + 1; k < full.size(); ++k)
                if (full[k] == '#' && (full[k - 1] == ' ' || full[k - 1] == '\t')) {
                    end = k;
                    break;
                }
            const size_t to = full.find_last_not_of(" \t", end - 1);
            const std::string rest = full.substr(from, to - from + 1);
            e.kind = UTL_ScriptEvent::kKey;
            std::uint32_t ch = 0;
            if (named_key(rest, ch)) e.chars.push_back(ch);
            else e.chars = decode_utf8(rest);
        } else if (what == "wheel") {
            if (w.size() != 4) return fail("expected 'wheel STEPS'");
            if (!parse_coordinate(w[3], e.steps) || std::fabs(e.steps) > kMaxWheelSteps)
                return fail("bad wheel steps '" + w[3] + "'");
            e.kind = UTL_ScriptEvent::kWheel;
        } else if (what == "snapshot") {
            if (w.size() != 4) return fail("expected 'snapshot FILE' (a file name without spaces)");
            e.kind = UTL_ScriptEvent::kSnapshot;
            e.path = w[3];
        } else {
            return fail("unknown event '" + what + "' (down, up, move, key, wheel or snapshot)");
        }
        events.push_back(e);
    }
    std::stable_sort(
        events.begin(), events.end(),
        [](const UTL_ScriptEvent& a, const UTL_ScriptEvent& b) { return a.frame < b.frame; });
    return true;
}

bool read_event_script(const std::string& path, std::vector<UTL_ScriptEvent>& events,
                       std::string& error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        error = path + ": cannot open the script";
        return false;
    }
    std::string text;
    char buf[65536];
    while (f.read(buf, sizeof buf) || f.gcount() > 0) {
        text.append(buf, static_cast<size_t>(f.gcount()));
        if (text.size() > kMaxScriptBytes) {
            error = path + ": the script is larger than 16 MiB";
            return false;
        }
    }
    if (f.bad()) {
        error = path + ": cannot read the script";
        return false;
    }
    if (!parse_event_script(text, events, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}
