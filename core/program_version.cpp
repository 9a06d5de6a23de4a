#include "core/program_version.h"

std::string GetVersionString() { return "6.4.3"; }

std::string GetBuildString() { return "1278"; }
