#pragma once
// Status texts of the device interfaces that are made at run time (failure messages): fix
// records only point at their status text, so each distinct text is kept for the life of the
// program and handed out as a lasting pointer. Any thread.
#include <string_view>

// The first 50 characters of text, kept.
const char* GarminStatusText(std::string_view text);
