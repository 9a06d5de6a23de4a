#pragma once
// The property window that belongs to an overlay object: marks, routes, tracks, notes and the
// own vessel have one; null for any other object.
#include <memory>

#include "corvex/ui/object_props_dialog.h"

class COstrelObject;

std::unique_ptr<CObjectPropsDialog> CreateObjectPropsDialog(COstrelObject& object, QWidget* parent);
