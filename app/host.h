// UTL_Host: what a platform provides to show the globe, a drawing surface with an OpenGL
// context and a loop of 0.02-second ticks that feeds its events to a UTL_HostDriver. Two
// implementations: the GLFW window (host_window.h) and the OSMesa offscreen frame
// (host_offscreen.h). nimbra_main() is the program around either.
#pragma once

#include <string>

class UTL_HostDriver;
struct UTL_HostOptions;

class UTL_Host {
public:
    virtual ~UTL_Host() = default;

    // Creates the surface (width x height pixels) with its context current. False, after the
    // reason is printed, when no context with a depth buffer can be had.
    virtual bool open(const UTL_HostOptions& options) = 0;
    // Runs ticks until the user closes the window or the frames are done; each tick calls
    // driver.tick(w, h), then finishes and presents the frame. Returns the exit status.
    virtual int run(UTL_HostDriver& driver) = 0;
    virtual void set_title(const std::string& title) = 0;
    // Makes the context current again (the controller deletes its textures in it).
    virtual void make_current() = 0;
    // Releases the surface and the context; the last step of the teardown.
    virtual void close() = 0;
};

// The system's log: one line on standard error.
void host_log(const std::string& message);

// The whole program around a host: options, the network to show, the resource folder, the
// controller, the loop and the teardown. program is the name used in messages.
int nimbra_main(int argc, char** argv, UTL_Host& host, const std::string& program);
