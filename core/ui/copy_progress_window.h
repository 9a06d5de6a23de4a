#pragma once
// The window file copies show (see CopyFileWithProgress): a progress dialog with the copy's
// title, its bar moving with the bytes copied, and Cancel. Copies made off the user-interface
// thread show none.
void InstallCopyProgressWindow();
