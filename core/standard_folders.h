#pragma once
// The folders the program finds its own files and the user's documents in. No trailing '/'.
#include <string>

// Folder of the running program, worked out once.
const std::string& GetProgramFolder();
// True when `path` is the program folder or lies inside it.
bool IsInProgramFolder(const std::string& path);
// The magnetic model coefficients shipped beside the program.
std::string GetMagneticModelFile();
// The user's documents folder + "/Vardune" + sub_path (which brings its own leading '/').
std::string GetDocumentsFolder(const std::string& sub_path = "");
// The system's temporary folder ($TMPDIR, else /tmp).
std::string GetTempFolder();
