// `device-search --help`: the commands, the program's own options and the
// exit statuses.
#pragma once

#include <string>

std::string ProgramUsage();
