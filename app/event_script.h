// The offscreen host's script of timed input events: one event per line, "frame N what ...",
// with # comments. Positions are picture pixels with the origin at the top left, as the PNG
// and the window system show them; the host converts them like a window's pointer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct UTL_ScriptEvent {
    enum Kind { kDown, kUp, kMove, kKey, kWheel, kSnapshot };
    int frame = 0;  // delivered before the redraw of this frame (the first frame is 1)
    Kind kind = kMove;
    double x = 0.0, y = 0.0;
    bool drag = false;                 // kMove with the button held
    bool shift = false;                // kDown, kUp: with Shift held
    std::vector<std::uint32_t> chars;  // kKey: one key press each
    double steps = 0.0;                // kWheel: positive away from the user
    std::string path;                  // kSnapshot: the PNG written after this frame
    int line = 0;
};

// Parses the text of a script. Events come out ordered by frame, file order within a frame.
// False on the first bad line, with "line N: reason" in error; events is then undefined.
//   frame N down X Y [shift] | up X Y [shift] | move X Y [drag] | key TEXT | wheel STEPS |
//   snapshot PATH
// TEXT is a named key in any case (Up, Down, Left, Right, F1 to F12, Space, Return or Enter,
// Shift+Return or Shift+Enter, Tab, Escape or Esc, Backspace, Ctrl+F) or else the characters
// to type, each its own key
// press; any printable character can be typed. A # after a blank begins a comment, except as
// the first character of TEXT. STEPS is a number, 1 for one step of the wheel away from the
// user, -1 towards.
bool parse_event_script(const std::string& text, std::vector<UTL_ScriptEvent>& events,
                        std::string& error);

// Reads and parses a script file; error names the file.
bool read_event_script(const std::string& path, std::vector<UTL_ScriptEvent>& events,
                       std::string& error);
