#pragma once
// Test support of the property windows: a document that records what its views are told, an
// application object, a parent window and a profile of the test's own.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <string>
#include <vector>

#include "app/app_common.h"
#include "app/shell_services.h"
#include "core/persistent_value.h"
#include "corvex/ui/object_props_dialog.h"
#include "overlays/ostrel_object.h"
#include "platform/ui/dialog_window.h"
#include "tests/temp_dir.h"

namespace vd::test {

struct ViewNotice {
  int hint;
  COstrelObject* object;
  friend bool operator==(const ViewNotice&, const ViewNotice&) = default;
};

class PropsDoc : public COstrelDocBase {
 public:
  ~PropsDoc() override {
    // A released route may take orphaned marks out of the list with it: always take the front
    // of the live list.
    while (!objects.empty()) {
      COstrelObject* object = objects.front();
      objects.pop_front();
      object->Release();
    }
  }
  void UpdateAllViews(COstrelViewBase*, int hint, COstrelObject* object) override {
    notices.push_back({hint, object});
  }
  ObjectList* GetObjectList() override { return &objects; }
  template <class T>
  T* Add(T* object) {
    object->AddRef();
    objects.push_back(object);
    return object;
  }
  bool Told(int hint, COstrelObject* object) const {
    for (const ViewNotice& n : notices)
      if (n.hint == hint && n.object == object) return true;
    return false;
  }
  ObjectList objects;
  std::vector<ViewNotice> notices;
};

class PropsApp : public CAppCommon {
 public:
  COstrelDocBase* FindFirstDocument() override { return document; }
  COstrelDocBase* document = nullptr;
};

// The world every property-window test runs in. Members are destroyed in reverse: the
// document (and its objects) before the profile folder.
class PropsWorld {
 public:
  PropsWorld() : scope_(&doc) {
    vd::SetProfileLocation(vd::kDefaultProfileKey, dir.path());
    app.document = &doc;
    app.temp_folder = dir.path();
    app.program_folder = dir.path();
  }

  // Types into a line edit as the user does (the edit holds the focus meanwhile).
  static void Type(CObjectPropsDialog& dialog, int id, const std::string& text) {
    auto* edit = qobject_cast<QLineEdit*>(dialog.GetItem(id));
    edit->setText(QString::fromStdString(text));
  }
  static void Choose(CObjectPropsDialog& dialog, int id, int index) {
    auto* combo = qobject_cast<QComboBox*>(dialog.GetItem(id));
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }
  static void Click(CObjectPropsDialog& dialog, int id) {
    qobject_cast<QAbstractButton*>(dialog.GetItem(id))->click();
  }
  static std::string Text(CObjectPropsDialog& dialog, int id) { return dialog.GetItemText(id); }
  // Gives the control the keyboard focus, as a click into it would.
  static void Focus(CObjectPropsDialog& dialog, int id) {
    QWidget* window = dialog.widget();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    dialog.GetItem(id)->setFocus();
    QApplication::processEvents();
  }
  static std::optional<int32_t> Setting(const char* name) {
    return vd::OpenAppProfile().GetInt("settings", name);
  }

  TempDir dir;
  PropsApp app;
  QWidget parent;
  PropsDoc doc;

 private:
  CCurrentOwnerScope scope_;
};

}  // namespace vd::test
