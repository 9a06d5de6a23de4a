#pragma once
// The overlay explorer's form: the name, times, category, lock and visibility of the object
// selected in the tree, edited at once (each edit sends the object's change hint); Show centres
// the object in the chart, Delete deletes it after asking. Empty and disabled without an object.
#include <QWidget>
#include <string>

#include "corvex/ostrel_doc.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CViewObjExplorerDialog : public QWidget, public CDocHintListener {
 public:
  static constexpr int kPaneId = 134;
  static constexpr int kNameEdit = 1011;
  static constexpr int kCreatedText = 1025;
  static constexpr int kModifiedText = 1026;
  static constexpr int kCategoryText = 1029;
  static constexpr int kCategoryCombo = 1122;
  static constexpr int kLockedCheck = 1015;
  static constexpr int kVisibleCheck = 1037;
  static constexpr int kShowButton = 1022;
  static constexpr int kDeleteButton = 1017;
  static constexpr int kHelpButton = 1198;

  explicit CViewObjExplorerDialog(COstrelDocBase& document, QWidget* parent = nullptr);
  ~CViewObjExplorerDialog() override;

  // Shows an object (null: none).
  void ShowObject(COstrelObject* object);
  COstrelObject* object() const { return object_; }
  // A control by id (as above), null when there is none.
  QWidget* Control(int id) const;

  void OnDocumentHint(int hint, COstrelObject* object) override;
  void OnDocumentCleared() override { ShowObject(nullptr); }
  void OnDocumentDestroyed() override;

 private:
  void Fill();
  void OnNameEdited(const QString& text);
  // The category from the combo's text (chosen or typed); false when the name can't be used.
  bool TakeCategory(const std::string& name);

  COstrelDocBase& document_;
  COstrelDoc* followed_ = nullptr;
  COstrelObject* object_ = nullptr;  // one reference held
  QLineEdit* name_ = nullptr;
  QLabel* created_ = nullptr;
  QLabel* modified_ = nullptr;
  QLabel* category_name_ = nullptr;
  QComboBox* category_ = nullptr;
  QCheckBox* locked_ = nullptr;
  QCheckBox* visible_ = nullptr;
  QPushButton* show_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* help_ = nullptr;
  bool category_edited_ = false;
  bool filling_ = false;
};
