// The command line of both programs: GNU-style long options parsed into UTL_HostOptions, with
// the help and version texts. No platform calls, so it is tested without a window.
#pragma once

#include <string>
#include <vector>

#include "photos/foto_settings.h"

struct UTL_HostOptions {
    bool help = false;
    bool version = false;
    int width = 1024;  // the window's or the offscreen frame's size in pixels
    int height = 768;
    std::string data_dir;    // --data: the resource folder, or its data/ folder
    std::string graph_file;  // --graph: a graph file instead of the demo network
    bool has_ego = false;
    std::string ego;           // --ego: the uid of the user in the graph file
    bool mutual_only = false;  // --mutual-only: directed edges count for pairs both ways only
    // --batch-interval: seconds from one full friendship batch to the next; negative: as the
    // service asks (none for a service without a rate limit, otherwise 10).
    double batch_interval = -1.0;
    std::string people_file;      // --people: names and photos for --graph
    bool no_photo_cache = false;  // --no-photo-cache: keep no downloaded photos on disk
    std::string service_url;      // --service: another social service instead of the embedded one
    std::string api_key;          // --api-key, --secret, --auth-token: the login at that service
    std::string secret;
    std::string auth_token;
    // --bluesky: a Bluesky handle or DID whose network is shown, read from the AppView at
    // --bluesky-host (else NIMBRA_BLUESKY_HOST, else the public one); --refresh reads it all
    // again whatever the cache holds.
    std::string bluesky;
    std::string bluesky_host;
    // --mastodon: an account address (user@server.example) whose network is shown, each
    // friend read on their own server; --mastodon-resolve DOMAIN=URL (repeatable) sends a
    // domain's requests to another address; --mastodon-token (else NIMBRA_MASTODON_TOKEN) goes
    // to the person's own server only. --refresh serves both sources.
    std::string mastodon;
    std::vector<std::string> mastodon_resolve;
    std::string mastodon_token;
    bool refresh = false;
    // --save-graph: the network shown when the run ends is written there as GraphML.
    std::string save_graph;
    // --layout: how people are placed at the start: "arrival" (the spiral, in the order they
    // arrive) or "circles" (arranged by the circles among the friends).
    std::string layout = "arrival";
    // Offscreen only: any of these runs the offscreen renderer instead of the window.
    std::string snapshot_file;
    bool has_frames = false;
    int frames = 600;
    std::string script_file;
    bool bench = false;
    // The frames, the script and the timing start once everything is in (or has failed).
    bool until_loaded = false;

    bool offscreen() const {
        return !snapshot_file.empty() || has_frames || !script_file.empty() || bench ||
               until_loaded;
    }
};

// Parses argv[1..argc-1]. False with a one-line reason in error on an unknown option, a missing
// or bad value, or a stray argument; options is then partly filled and must not be used.
bool parse_command_line(int argc, const char* const* argv, UTL_HostOptions& options,
                        std::string& error);

// How the photos of this start are fetched: local paths are read only when the people come from
// a local source (the embedded service with the demo, a graph or a people file; not another
// service), downloads are kept on disk unless --no-photo-cache says otherwise, and never the
// embedded service's own portraits, whose addresses start with embedded_photos ("" when another
// service is used): they are made afresh at a new port on every start.
UTL_FotoSettings photo_settings(const UTL_HostOptions& options, bool local_source,
                                const std::string& embedded_photos);

std::string usage_text(const std::string& program);
std::string version_text(const std::string& program);

// The largest frame either host accepts on each side; OpenGL implementations of this age stop
// at 16384 and an offscreen frame of that size is already a gigabyte.
constexpr int kMaxViewSide = 16384;
