// The command line of nimbra and nimbra-offscreen, parsed by CLI11: every option with its checked
// value, and the help text CLI11 generates from the same declarations.
#include "app/options.h"

#include "sources/mastodon_source.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>
#include <memory>

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

// Seconds: a decimal number from 0 to a day, such as "10" or "0.5".
bool parse_seconds(const std::string& s, double& out) {
    if (s.empty() || s.size() > 20) return false;
    for (char c : s)
        if ((c < '0' || c > '9') && c != '.') return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0' || !(v >= 0.0) || v > 86400.0) return false;
    out = v;
    return true;
}

// A check that refuses what parse_number refuses, with a message naming the value.
CLI::Validator whole_number(const std::string& what, unsigned long long lo, unsigned long long hi) {
    return CLI::Validator(
        [=](std::string& value) {
            unsigned long long n = 0;
            if (parse_number(value, lo, hi, n)) return std::string();
            return "bad " + what + " '" + value + "': expected " + std::to_string(lo) + " to " +
                   std::to_string(hi);
        },
        "");
}

const CLI::Validator kNonEmpty(
    [](std::string& value) { return value.empty() ? "needs a non-empty value" : std::string(); },
    "");

// A person's id as graph files give them: 1 to 64 letters, digits, '_', '-', '.', '@' or ':'.
const CLI::Validator kUid(
    [](std::string& value) {
        const bool ok = !value.empty() && value.size() <= 64 &&
                        value.find_first_not_of(
                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                            "0123456789_-.@:") == std::string::npos;
        return ok ? std::string()
                  : "bad person id '" + value +
                        "': expected 1 to 64 letters, "
                        "digits, '_', '-', '.', '@' or ':'";
    },
    "");

const char* const kBlueskyGroup = "A Bluesky network (also NIMBRA_BLUESKY_HOST)";
const char* const kMastodonGroup = "A Mastodon network (also NIMBRA_MASTODON_TOKEN)";
const char* const kOffscreenGroup = "Offscreen rendering (no window; any of these selects it)";
const char* const kServiceGroup =
    "Another social service (also NIMBRA_SERVICE, NIMBRA_API_KEY, NIMBRA_SECRET, "
    "NIMBRA_AUTH_TOKEN)";

// The parser with every option bound to o; --size is bound to size_text and checked here too.
std::unique_ptr<CLI::App> make_parser(const std::string& program, UTL_HostOptions& o,
                                      std::string& size_text) {
    auto app = std::make_unique<CLI::App>(
        "Show a social network as an interactive 3D friend globe.\n\n"
        "Without options the window opens on a built-in demo network, served by a social\n"
        "service inside the program; --graph serves a file of yours instead.",
        program);
    // Unknown options and stray words are reported by parse_command_line in its own terms.
    app->allow_extras();
    app->get_formatter()->column_width(24);
    app->set_help_flag("-h,--help", "show this help and exit")->disable_flag_override();
    app->add_flag("-V,--version", o.version, "show the version and exit")->disable_flag_override();

    app->add_option("--size", size_text, "window or picture size in pixels (default 1024x768)")
        ->type_name("WxH")
        ->check(CLI::Validator(
            [&o](std::string& value) {
                if (parse_size(value, o.width, o.height)) return std::string();
                return "bad size '" + value + "': expected WIDTHxHEIGHT, each 1 to " +
                       std::to_string(kMaxViewSide);
            },
            ""));
    app->add_option("--data", o.data_dir, "the folder holding data/config (also NIMBRA_DATA)")
        ->type_name("DIR")
        ->check(kNonEmpty);
    app->add_option("--graph", o.graph_file,
                    "show a GraphML, GEXF, GML or Pajek file, or an edge list (\"a b\" lines)")
        ->type_name("FILE")
        ->check(kNonEmpty);
    app->add_option("--ego", o.ego, "whose friends to show (default: who has the most)")
        ->type_name("UID")
        ->check(kUid);
    app->add_flag("--mutual-only", o.mutual_only,
                  "of a directed graph, only the pairs that point both ways")
        ->disable_flag_override();
    app->add_option("--people", o.people_file,
                    "names and photos: CSV lines uid,name,pic,pic_square")
        ->type_name("FILE")
        ->check(kNonEmpty);
    app->add_option("--batch-interval", o.batch_interval,
                    "pause between friendship batches (default 10, 0 without a rate limit)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(
            [](std::string& value) {
                double unused = 0.0;
                if (parse_seconds(value, unused)) return std::string();
                return "bad interval '" + value + "': expected 0 to 86400 seconds";
            },
            ""));

    app->add_option("--layout", o.layout,
                    "place people in the order they arrive or by their circles (default arrival)")
        ->type_name("arrival|circles")
        ->check(CLI::Validator(
            [](std::string& value) {
                if (value == "arrival" || value == "circles") return std::string();
                return "bad layout '" + value + "': expected arrival or circles";
            },
            ""));
    app->add_option("--save-graph", o.save_graph,
                    "when the run ends, write the network shown as GraphML")
        ->type_name("FILE.graphml")
        ->check(kNonEmpty);
    app->add_flag("--no-photo-cache", o.no_photo_cache,
                  "keep no photos on disk (default: $XDG_CACHE_HOME/nimbra/photos)")
        ->disable_flag_override();

    app->add_option("--service", o.service_url, "its REST address")
        ->type_name("URL")
        ->group(kServiceGroup)
        ->check(kNonEmpty);
    app->add_option("--api-key", o.api_key, "the application's key there")
        ->type_name("KEY")
        ->group(kServiceGroup)
        ->check(kNonEmpty);
    app->add_option("--secret", o.secret, "the application's secret there")
        ->type_name("SECRET")
        ->group(kServiceGroup)
        ->check(kNonEmpty);
    app->add_option("--auth-token", o.auth_token,
                    "a login token approved there (else one is asked for)")
        ->type_name("TOKEN")
        ->group(kServiceGroup)
        ->check(kNonEmpty);

    app->add_option("--bluesky", o.bluesky,
                    "show this person's network: their friends are the accounts they follow "
                    "that follow them back")
        ->type_name("HANDLE")
        ->group(kBlueskyGroup)
        ->check(kNonEmpty);
    app->add_option("--bluesky-host", o.bluesky_host,
                    "the AppView to read it from (default https://public.api.bsky.app)")
        ->type_name("URL")
        ->group(kBlueskyGroup)
        ->check(kNonEmpty);
    app->add_flag("--refresh", o.refresh, "read the whole network again, not from the cache")
        ->group(kBlueskyGroup)
        ->disable_flag_override();

    app->add_option("--mastodon", o.mastodon,
                    "show this person's network: their friends are the accounts they follow "
                    "that follow them back, each read on their own server")
        ->type_name("USER@SERVER")
        ->group(kMastodonGroup)
        ->check(CLI::Validator(
            [](std::string& value) {
                if (!UTL_MastodonAnswers::normal_address(value).empty()) return std::string();
                return "bad account '" + value + "': expected an address such as " +
                       "alice@mastodon.social";
            },
            ""));
    app->add_option("--mastodon-resolve", o.mastodon_resolve,
                    "send a domain's requests to another address (repeatable)")
        ->type_name("DOMAIN=URL")
        ->group(kMastodonGroup)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check(CLI::Validator(
            [](std::string& value) {
                UTL_MastodonSourceOptions scratch;
                std::string error;
                if (scratch.add_resolve(value, error)) return std::string();
                return error;
            },
            ""));
    app->add_option("--mastodon-token", o.mastodon_token,
                    "an access token for servers that refuse anonymous reads; sent only to "
                    "the person's own server")
        ->type_name("TOKEN")
        ->group(kMastodonGroup)
        ->check(kNonEmpty);

    app->add_option("--snapshot", o.snapshot_file, "write the last frame as a PNG")
        ->type_name("FILE")
        ->group(kOffscreenGroup)
        ->check(kNonEmpty);
    app->add_option("--frames", o.frames, "frames to render (default 600)")
        ->type_name("N")
        ->group(kOffscreenGroup)
        ->check(whole_number("frame count", 1, 100000000));
    app->add_option("--script", o.script_file, "timed input events, one per line (below)")
        ->type_name("FILE")
        ->group(kOffscreenGroup)
        ->check(kNonEmpty);
    app->add_flag("--bench", o.bench, "print frames per second of the offscreen renderer")
        ->group(kOffscreenGroup)
        ->disable_flag_override();
    app->add_flag("--until-loaded", o.until_loaded,
                  "wait for the whole network; --frames and the script count from then")
        ->group(kOffscreenGroup)
        ->disable_flag_override();

    app->footer(
        "A script has one timed input event per line, positions in pixels from the top left:\n"
        "  frame 10 down 400 300\n"
        "  frame 12 move 420 300 drag\n"
        "  frame 14 up 420 300\n"
        "  frame 20 key a             (or up, F5, space, ...)\n"
        "  frame 30 snapshot out.png\n"
        "\n"
        "In the window: drag to turn the globe, flick to spin it, click a person to select.");
    return app;
}

// CLI11's reports of the command line's form, reworded like the program's other messages.
std::string explain(const CLI::ParseError& e) {
    const std::string what = e.what();
    if (e.get_name() == "ArgumentMismatch") {
        // "--size: 1 required WxH missing" and "bench was given a disallowed flag override"
        if (what.find("disallowed flag override") != std::string::npos)
            return "option '--" + what.substr(0, what.find(' ')) + "' takes no value";
        if (what.find("missing") != std::string::npos)
            return "option '" + what.substr(0, what.find(':')) + "' needs a value";
    }
    return what;
}

}  // namespace

UTL_FotoSettings photo_settings(const UTL_HostOptions& options, bool local_source,
                                const std::string& embedded_photos) {
    UTL_FotoSettings settings;
    settings.m_allow_local_paths = local_source;
    settings.m_use_disk_cache = !options.no_photo_cache;
    settings.m_uncached_prefix = embedded_photos;
    return settings;
}

bool parse_command_line(int argc, const char* const* argv, UTL_HostOptions& o, std::string& error) {
    std::string size_text;
    std::unique_ptr<CLI::App> app = make_parser("nimbra", o, size_text);
    try {
        app->parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        o.help = true;
        return true;
    } catch (const CLI::ParseError& e) {
        error = explain(e);
        return false;
    }
    for (const std::string& extra : app->remaining()) {
        if (extra.size() > 1 && extra[0] == '-') {
            error = "unknown option '" + extra.substr(0, extra.find('=')) + "'";
        } else {
            error = "unexpected argument '" + extra + "'";
        }
        return false;
    }
    o.has_ego = app->count("--ego") > 0;
    o.has_frames = app->count("--frames") > 0;
    if (o.has_ego && o.graph_file.empty()) {
        error = "--ego needs --graph: the demo network has no person ids to choose from";
        return false;
    }
    if (!o.bluesky.empty() && (!o.graph_file.empty() || !o.service_url.empty())) {
        error = "--bluesky shows a Bluesky network: it goes with neither --graph nor --service";
        return false;
    }
    if (!o.mastodon.empty() &&
        (!o.graph_file.empty() || !o.service_url.empty() || !o.bluesky.empty())) {
        error =
            "--mastodon shows a Mastodon network: it goes with none of --graph, --service "
            "and --bluesky";
        return false;
    }
    if (!o.bluesky_host.empty() && o.bluesky.empty()) {
        error = "--bluesky-host needs --bluesky: only a Bluesky network is read from a host";
        return false;
    }
    if ((!o.mastodon_resolve.empty() || !o.mastodon_token.empty()) && o.mastodon.empty()) {
        error = std::string(o.mastodon_token.empty() ? "--mastodon-resolve" : "--mastodon-token") +
                " needs --mastodon: only a Mastodon network is read from its servers";
        return false;
    }
    if (o.refresh && o.bluesky.empty() && o.mastodon.empty()) {
        error = "--refresh needs --bluesky or --mastodon: only their networks are cached";
        return false;
    }
    if (o.mutual_only && o.graph_file.empty()) {
        error = "--mutual-only needs --graph: the demo network has no directed edges";
        return false;
    }
    return true;
}

std::string usage_text(const std::string& program) {
    UTL_HostOptions unused;
    std::string size_text;
    return make_parser(program, unused, size_text)->help();
}

std::string version_text(const std::string& program) {
    return program + " " NIMBRA_VERSION_STRING "\n";
}
