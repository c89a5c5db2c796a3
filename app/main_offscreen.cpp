// nimbra-offscreen: the globe rendered without a window (pictures, scripted input, timing).
// Started by nimbra for its offscreen options, or directly.
#include "app/host.h"
#include "app/host_offscreen.h"

#include <string>

int main(int argc, char** argv) {
    std::string program = argc > 0 && argv[0] ? argv[0] : "nimbra";
    const size_t slash = program.rfind('/');
    if (slash != std::string::npos) program = program.substr(slash + 1);
    UTL_HostOffscreen host;
    return nimbra_main(argc, argv, host, program);
}
