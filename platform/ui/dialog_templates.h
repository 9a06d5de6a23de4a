#pragma once
// Dialog templates: a template id names a builder that lays out a dialog's controls in code,
// giving each its id with DialogWindow::AddControl:
//
//   RegisterDialogTemplate(kNameDialog, [](DialogWindow& d) {
//     d.setWindowTitle("Name");
//     auto* layout = new QVBoxLayout(&d);
//     layout->addWidget(d.AddControl(kNameEdit, new QLineEdit));
//     layout->addWidget(d.AddControl(kIdOk, new QPushButton("OK")));
//   });
//
// Registering and creating belong to the UI thread.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>

#include "platform/ui/dialog_window.h"

class QBoxLayout;
class QWidget;

namespace vd::ui {

using DialogBuilder = std::function<void(DialogWindow& dialog)>;

// The error of creating a dialog whose template id has no builder.
constexpr uint32_t kErrorTemplateNotFound = 0x716;

// Replaces the builder the id had.
void RegisterDialogTemplate(int id, DialogBuilder builder);
void UnregisterDialogTemplate(int id);
bool HasDialogTemplate(int id);

// A new dialog built from the template; null when the id has none. It stays the caller's
// until destroyed (NativeWindow::Destroy); a parent also frees it with itself.
DialogWindow* CreateDialogFromTemplate(int id, QWidget* parent);

// The row of push buttons at the foot of a dialog, right-aligned in the order given (id, text),
// appended to layout; default_id (0: none) becomes the default button.
void AddButtonRow(DialogWindow& dialog, QBoxLayout* layout,
                  std::initializer_list<std::pair<int, const char*>> buttons, int default_id);

}  // namespace vd::ui
