#pragma once
// The desktop's standard key sequences of the program's menu commands (Undo, Save, Print...),
// as the platform's theme defines them: the same keys the user's other programs use.
#include <QKeySequence>
#include <optional>

// The standard key of a menu command; nullopt for a command that has none.
std::optional<QKeySequence::StandardKey> StandardKeyOfCommand(int id);
