#pragma once
// Everything that waits for the user's answer — message boxes, popup menus, the file, folder,
// colour and font choosers — asks the current Responder. The default one shows the toolkit's
// own boxes, menus and dialogs; tests put one in place that answers by itself.
//
//   struct SayNo : vd::ui::DialogResponder {
//     int MessageBox(const vd::ui::MessageBoxRequest&) override { return vd::ui::kIdNo; }
//   } no;
//   vd::ui::ScopedResponder scope(&no);
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QPoint>

#include "platform/ui/colour.h"
#include "platform/ui/font.h"

class QPrinter;
class QWidget;

namespace vd::ui {

class PopupMenu;

struct MessageBoxRequest {
  QWidget* owner = nullptr;
  std::string text;
  std::string caption;
  uint32_t flags = 0;  // message_box.h
};

struct FileDialogRequest {
  QWidget* owner = nullptr;
  bool save = false;
  std::string title;
  std::string filter;  // the toolkit's form: "Charts (*.qct *.QCT);;All files (*)"
  std::string initial_path;
  // The filter shown first, counted from 1 (0 or one past the last: the first); a responder
  // that knows which filter the user left chosen writes its number (from 1) here.
  int filter_index = 0;
  int* chosen_filter_index = nullptr;
};

class Responder {
 public:
  virtual ~Responder() = default;
  // The id of the button pressed (kIdOk, kIdYes, ...).
  virtual int MessageBox(const MessageBoxRequest& request) = 0;
  // The id of the chosen item; 0 when dismissed.
  virtual int TrackPopupMenu(const PopupMenu& menu, QWidget* owner, QPoint screen_pos) = 0;
  // Each: nothing when cancelled.
  virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> ChooseFolder(QWidget* owner, const std::string& title,
                                                  const std::string& initial_folder) = 0;
  virtual std::optional<ColourRef> ChooseColor(QWidget* owner, ColourRef initial) = 0;
  virtual std::optional<Font> ChooseFont(QWidget* owner, const Font& initial) = 0;
  // The printer's dialogs, each false when cancelled. Unless a responder shows them, the
  // set-up and the print dialog are taken as they stand (all pages, 1 to max_page) and a
  // preview paints its pages once without showing them.
  virtual bool PrintSetup(QWidget* owner, QPrinter& printer);
  // On OK the printer's print range says which pages to print.
  virtual bool PrintDialog(QWidget* owner, QPrinter& printer, int max_page);
  virtual bool PrintPreview(QWidget* owner, QPrinter& printer,
                            const std::function<void(QPrinter&)>& paint);
};

// Shows the toolkit's boxes, menus and dialogs and waits for the user.
class DialogResponder : public Responder {
 public:
  int MessageBox(const MessageBoxRequest& request) override;
  int TrackPopupMenu(const PopupMenu& menu, QWidget* owner, QPoint screen_pos) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(QWidget* owner, const std::string& title,
                                          const std::string& initial_folder) override;
  std::optional<ColourRef> ChooseColor(QWidget* owner, ColourRef initial) override;
  std::optional<Font> ChooseFont(QWidget* owner, const Font& initial) override;
  bool PrintSetup(QWidget* owner, QPrinter& printer) override;
  bool PrintDialog(QWidget* owner, QPrinter& printer, int max_page) override;
  bool PrintPreview(QWidget* owner, QPrinter& printer,
                    const std::function<void(QPrinter&)>& paint) override;
};

// UI thread.
Responder& CurrentResponder();
// Puts responder in charge (null: a DialogResponder); returns the one it replaces.
Responder* SetResponder(Responder* responder);

// Puts a responder in charge for its lifetime.
class ScopedResponder {
 public:
  explicit ScopedResponder(Responder* responder) : previous_(SetResponder(responder)) {}
  ~ScopedResponder() { SetResponder(previous_); }
  ScopedResponder(const ScopedResponder&) = delete;
  ScopedResponder& operator=(const ScopedResponder&) = delete;

 private:
  Responder* previous_;
};

}  // namespace vd::ui
