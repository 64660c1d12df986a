#pragma once
// The options that name files and directories, checked together before a
// window opens or a map is read: a name that leads nowhere stops the start
// at once, one line the same way for each, rather than after a whole run.

#include <string>

#include "app/command_line.h"

namespace q {

// Relative names are taken from the working directory (the directory the
// viewer was started from). False with "--OPTION expects ...: 'NAME' ..." in
// *error when --dir or a --textures directory is not a directory, the --input
// script is not a file, or the --screenshot or --trace file cannot be made
// because its directory does not exist (or the name is a directory).
bool checkPathOptions(const Options& options, std::string* error);

}  // namespace q
