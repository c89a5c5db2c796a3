// UTL_HostOffscreen: the globe rendered by OSMesa into memory, no display needed. It runs a
// fixed number of ticks (after the whole network has arrived, if asked), delivers a script's
// timed input events like a window's, writes frames as PNG files, can time its frames, and ends
// by naming the selected person.
#pragma once

#include "app/event_script.h"
#include "app/host.h"

#include <GL/osmesa.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class UTL_HostOffscreen : public UTL_Host {
public:
    ~UTL_HostOffscreen() override;

    // Also reads the script named by the options, so its relative paths are the user's.
    bool open(const UTL_HostOptions& options) override;
    int run(UTL_HostDriver& driver) override;
    void set_title(const std::string& title) override { m_title = title; }
    void make_current() override;
    void close() override;

    // Replaces the script read by open().
    void set_script(const std::vector<UTL_ScriptEvent>& events) { m_script = events; }
    // The current frame as an opaque RGB PNG, top row first. False when it cannot be written.
    bool write_png(const std::string& path);

    const std::string& title() const { return m_title; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // RGBA, bottom row first, as OpenGL addresses it.
    const std::vector<std::uint8_t>& pixels() const { return m_pixels; }

    // Called after each frame (numbered from 1) has been drawn and its snapshots written.
    std::function<void(int frame)> m_after_frame;

private:
    // What one frame cost and what it held, for --bench.
    struct FrameRecord {
        double ms = 0.0;
        size_t people = 0;
        size_t lines = 0;
        bool loaded = false;  // everything was in when the frame began
    };
    using Clock = std::chrono::steady_clock;

    FrameRecord frame(UTL_HostDriver& driver);
    void deliver(const UTL_ScriptEvent& e, UTL_HostDriver& driver);
    void print_bench(const std::vector<FrameRecord>& frames, UTL_HostDriver& driver) const;
    void print_selection(UTL_HostDriver& driver) const;

    OSMesaContext m_context = nullptr;
    std::vector<std::uint8_t> m_pixels;
    int m_width = 0;
    int m_height = 0;
    int m_frames = 0;
    bool m_bench = false;
    bool m_until_loaded = false;
    // The program's start, and the end of the first frame that showed everything.
    Clock::time_point m_launch = Clock::now();
    Clock::time_point m_loaded_at;
    int m_loaded_frame = 0;  // that frame's number, counted from the first; 0: never
    std::string m_snapshot_file;
    std::vector<UTL_ScriptEvent> m_script;
    std::string m_title = "Nimbra";
};
