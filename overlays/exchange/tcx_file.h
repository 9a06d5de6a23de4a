#pragma once
// Training activity files (TCX), read only: every track of every lap of every activity becomes
// a track named "<activity id> lap <n> section <m>" in the category "Training:<sport>", with
// heart rate and, as its extra value, power or else cadence.
//
// User-interface thread only (the objects are).
#include <string>

#include "app/shell_services.h"
#include "core/work_progress.h"

class CXmlNode;

// Reads the activities below a "TrainingCenterDatabase" element; the new tracks, each with one
// reference, are appended to list. Returns the number of tracks (0 when there is no
// "Activities" element: the caller tells the user that the file holds no activities).
// progress hears of each track point read; when it asks to stop, the reading ends there (the
// caller drops what was read).
int ReadTcx(const CXmlNode& database, ObjectList& list, const ProgressFn& progress = {});
