#pragma once
// The desktop's folder chooser as the program's dialogs use it.
#include <cstdint>
#include <string>

class QWidget;

// Shows the folder chooser titled `title` over owner, starting at `folder`. When a folder is
// chosen, it goes into `folder` without a trailing '/' or '\' (the root folder stays "/") and
// the result is true; on cancel, or when nothing was chosen, false and `folder` is unchanged.
// flags (the chooser's options of the stored settings) choose nothing here: every chooser
// offers only folders of the file system and lets the user type a name.
bool BrowseForFolder(std::string& folder, const std::string& title, QWidget* owner,
                     uint32_t flags = 0);
