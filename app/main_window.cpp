// nimbra: the globe in a window. Any offscreen option hands the whole command line to
// nimbra-offscreen beside this program, which cannot share a process with the window's libGL.
#include "app/host.h"
#include "app/host_window.h"
#include "app/options.h"
#include "app/resource_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    UTL_HostOptions options;
    std::string error;
    if (parse_command_line(argc, argv, options, error) && !options.help && !options.version &&
        options.offscreen()) {
        const std::string dir = executable_dir();
        const std::string path = (dir.empty() ? std::string(".") : dir) + "/nimbra-offscreen";
        execv(path.c_str(), argv);
        std::cerr << "nimbra: cannot run the offscreen renderer " << path << ": "
                  << std::strerror(errno) << "\n";
        return 1;
    }
    UTL_HostWindow host;
    return nimbra_main(argc, argv, host, "nimbra");
}
