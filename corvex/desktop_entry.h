#pragma once
// The desktop's entry for a program (the stand-in for registering its document types with the
// shell): the shipped entry text names the program folder as @PROGRAM_DIR@ inside the quoted
// argument of its Exec key; the installer and the program fill it in the same way.
#include <string>

// The folder written inside the Exec key's double quotes: ", `, $ and \ escaped with a
// backslash, then every backslash doubled (the key is a string value), and % as %%.
std::string DesktopExecFolder(const std::string& folder);

// The entry text with every @PROGRAM_DIR@ replaced by DesktopExecFolder(program_folder).
std::string FillDesktopEntry(const std::string& entry_template, const std::string& program_folder);
