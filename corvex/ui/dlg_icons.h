#pragma once
// "Waypoint/Mark Icons": the icons of the icon library; Add... loads an image file as a new
// icon, Remove deletes the chosen one (the marks that showed it fall back to the first symbol).
#include "app/shell_services.h"
#include "core/ui/dialog_f1_help.h"

class CDlgIcons : public CDialogF1Help {
 public:
  static constexpr int kTemplate = 216;
  static constexpr int kIconCombo = 1001;
  static constexpr int kAddButton = 1002;
  static constexpr int kRemoveButton = 1003;
  static constexpr int kCloseButton = 2;  // closes as Cancel does
  static constexpr char kFilter[] = "PNG|*.png|JPG|*.jpg|GIF|*.gif|TIF|*.tif|BMP|*.bmp||";

  // objects: the document's list, whose marks follow a removed icon.
  CDlgIcons(QWidget* parent, ObjectList& objects, float scale);
  static void RegisterTemplate();
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void OnCommand(int id, QWidget* control, int code) override;

 private:
  void FillList();

  ObjectList& objects_;
  float scale_;
};
