#pragma once
// The property window of a note on the chart: its text and position (both refused while the
// note is locked), font, text and background colours, and the layout of its lines.
#include <string>

#include "corvex/ui/object_props_dialog.h"
#include "overlays/obj_text.h"

class CDlgTextProps : public CObjectPropsDialog {
 public:
  static constexpr int kTemplate = 215;
  static constexpr int kTextEdit = 1001;
  static constexpr int kPositionEdit = 1002;
  static constexpr int kFontButton = 1003;        // "Font..."
  static constexpr int kTextColourButton = 1004;  // "Font color..."
  static constexpr int kBackgroundButton = 1005;  // "Background..."
  static constexpr int kSolidCheck = 1006;
  static constexpr int kMultiLineCheck = 1007;
  static constexpr int kLeftRadio = 1008;
  static constexpr int kCentreRadio = 1009;
  static constexpr int kRightRadio = 1010;

  CDlgTextProps(CObjText* note, QWidget* parent);

  static void RegisterTemplate();
  bool OnInitDialog(QWidget* focus, intptr_t param) override;
  void Refresh() override;
  std::string HelpTopic() const override { return "Text_Properties"; }

 protected:
  void OnControl(int id, int code) override;

 private:
  CObjText& note() const { return *static_cast<CObjText*>(object()); }
  void ChooseFont();
  // The two low layout bits: 0 left, 1 centre, 2 right.
  void SetAlignment(uint32_t alignment);
  // Hint 2 and the controls the change enables.
  void Changed();

  bool filling_ = false;  // controls are being written from the object
};
