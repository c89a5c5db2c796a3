// Finding the resource folder: the folder whose data/config holds the textures and the theme
// file, since every path the program reads begins with ./data/. The search itself is free of
// platform calls; only the program's own path and the change of directory touch the system.
#pragma once

#include <string>
#include <vector>

// The folders to try, in order: the one given on the command line (--data), the one in the
// environment (NIMBRA_DATA), the program's folder and its parents (a build tree or an unpacked
// folder), the share folder next to the program's bin folder (an installation moved as a
// whole), then the install prefix and the source tree the program was built for.
std::vector<std::string> resource_candidates(const std::string& option_dir,
                                             const std::string& env_dir,
                                             const std::string& exe_dir);

// The resource folder a user-given folder means: the folder itself when it holds data/config,
// its parent when it is the data folder; empty when neither.
std::string resource_folder_of(const std::string& dir);

// The first candidate that holds data/config, or empty. When the user named a folder (option
// or environment) only that one counts, so a typing mistake is reported, not papered over by a
// folder found elsewhere; error then says what was wrong.
std::string find_resource_folder(const std::string& option_dir, const std::string& env_dir,
                                 const std::string& exe_dir, std::string& error);

// The folder of the running program (from /proc/self/exe), or empty.
std::string executable_dir();
// path made absolute against the current directory; empty stays empty.
std::string absolute_path(const std::string& path);
bool is_directory(const std::string& path);
