#pragma once
// The program's version and build texts, as the maker's servers see them in user agents and as
// overlay files written here name their creator. Both programs carry the same ones.
#include <string>

// "6.4.3"
std::string GetVersionString();
// "1278"
std::string GetBuildString();
