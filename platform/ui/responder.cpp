#include "platform/ui/responder.h"

#include <QAction>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <algorithm>
#include <map>

#include "platform/ui/message_box.h"
#include "platform/ui/popup_menu.h"
#include "platform/ui/window_messages.h"

namespace vd::ui {
namespace {

Responder* g_responder = nullptr;

Responder& DefaultResponder() {
  static DialogResponder responder;
  return responder;
}

QMessageBox::StandardButton StandardButton(int id) {
  switch (id) {
    case kIdOk: return QMessageBox::Ok;
    case kIdCancel: return QMessageBox::Cancel;
    case kIdAbort: return QMessageBox::Abort;
    case kIdRetry: return QMessageBox::Retry;
    case kIdIgnore: return QMessageBox::Ignore;
    case kIdYes: return QMessageBox::Yes;
    case kIdNo: return QMessageBox::No;
    default: return QMessageBox::NoButton;
  }
}

QMessageBox::Icon Icon(uint32_t flags) {
  switch (flags & kMbIconMask) {
    case kMbIconError: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case kMbIconWarning: return QMessageBox::Warning;
    case kMbIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

void FillMenu(QMenu& qmenu, const PopupMenu& menu) {
  for (const PopupMenu::Item& item : menu.items()) {
    const QString text = QString::fromStdString(item.text);
    if (item.separator) {
      qmenu.addSeparator();
    } else if (item.submenu) {
      FillMenu(*qmenu.addMenu(text), *item.submenu);
    } else {
      QAction* action = qmenu.addAction(text);
      action->setData(item.id);
      action->setCheckable((item.flags & PopupMenu::kChecked) != 0);
      action->setChecked((item.flags & PopupMenu::kChecked) != 0);
      action->setEnabled((item.flags & PopupMenu::kDisabled) == 0);
    }
  }
}

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

int DialogResponder::MessageBox(const MessageBoxRequest& request) {
  QMessageBox box(Icon(request.flags), FromUtf8(request.caption), FromUtf8(request.text),
                  QMessageBox::NoButton, request.owner);
  const std::vector<int> ids = MessageBoxButtons(request.flags);
  std::map<QAbstractButton*, int> by_button;
  for (const int id : ids) by_button[box.addButton(StandardButton(id))] = id;
  const size_t default_index = (request.flags & kMbDefaultMask) >> 8;
  if (default_index < ids.size()) box.setDefaultButton(StandardButton(ids[default_index]));
  box.exec();
  const auto it = by_button.find(box.clickedButton());
  return it == by_button.end() ? kIdCancel : it->second;
}

int DialogResponder::TrackPopupMenu(const PopupMenu& menu, QWidget* owner, QPoint screen_pos) {
  QMenu qmenu(owner);
  FillMenu(qmenu, menu);
  const QAction* chosen = qmenu.exec(screen_pos);
  return chosen ? chosen->data().toInt() : 0;
}

std::optional<std::string> DialogResponder::ChooseFile(const FileDialogRequest& request) {
  const QString title = FromUtf8(request.title);
  const QString initial = FromUtf8(request.initial_path);
  const QString filter = FromUtf8(request.filter);
  const QStringList filters = filter.split(";;");
  QString selected = request.filter_index >= 1 && request.filter_index <= filters.size()
                         ? filters[request.filter_index - 1]
                         : QString();
  const QString path =
      request.save ? QFileDialog::getSaveFileName(request.owner, title, initial, filter, &selected)
                   : QFileDialog::getOpenFileName(request.owner, title, initial, filter, &selected);
  if (path.isEmpty()) return std::nullopt;
  if (request.chosen_filter_index) {
    const qsizetype chosen = filters.indexOf(selected);
    if (chosen >= 0) *request.chosen_filter_index = static_cast<int>(chosen) + 1;
  }
  return path.toStdString();
}

std::optional<std::string> DialogResponder::ChooseFolder(QWidget* owner, const std::string& title,
                                                         const std::string& initial_folder) {
  const QString folder =
      QFileDialog::getExistingDirectory(owner, FromUtf8(title), FromUtf8(initial_folder));
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

std::optional<ColourRef> DialogResponder::ChooseColor(QWidget* owner, ColourRef initial) {
  const QColor color = QColorDialog::getColor(
      QColor(ColourRefRed(initial), ColourRefGreen(initial), ColourRefBlue(initial)), owner);
  if (!color.isValid()) return std::nullopt;
  return MakeColourRef(static_cast<uint8_t>(color.red()), static_cast<uint8_t>(color.green()),
                       static_cast<uint8_t>(color.blue()));
}

std::optional<Font> DialogResponder::ChooseFont(QWidget* owner, const Font& initial) {
  bool ok = false;
  const QFont font = QFontDialog::getFont(&ok, MakeQFont(initial), owner);
  if (!ok) return std::nullopt;
  Font chosen = initial;
  chosen.face = font.family().toStdString();
  // A size chosen in points becomes the character height in pixels at 96 per inch.
  const int pixels = font.pixelSize() > 0 ? font.pixelSize()
                                          : static_cast<int>(font.pointSizeF() * 96 / 72 + 0.5);
  chosen.height = -pixels;
  chosen.weight = font.weight();
  chosen.italic = font.italic();
  chosen.underline = font.underline();
  chosen.strike_out = font.strikeOut();
  return chosen;
}

bool Responder::PrintSetup(QWidget*, QPrinter&) { return true; }

bool Responder::PrintDialog(QWidget*, QPrinter& printer, int max_page) {
  printer.setPrintRange(QPrinter::AllPages);
  printer.setFromTo(1, std::max(max_page, 1));
  return true;
}

bool Responder::PrintPreview(QWidget*, QPrinter& printer,
                             const std::function<void(QPrinter&)>& paint) {
  paint(printer);
  return true;
}

bool DialogResponder::PrintSetup(QWidget* owner, QPrinter& printer) {
  QPageSetupDialog dialog(&printer, owner);
  return dialog.exec() == QDialog::Accepted;
}

bool DialogResponder::PrintDialog(QWidget* owner, QPrinter& printer, int max_page) {
  QPrintDialog dialog(&printer, owner);
  dialog.setMinMax(1, std::max(max_page, 1));
  dialog.setFromTo(1, std::max(max_page, 1));
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
  if (dialog.exec() != QDialog::Accepted) return false;
  if (printer.printRange() != QPrinter::PageRange) printer.setFromTo(1, std::max(max_page, 1));
  return true;
}

bool DialogResponder::PrintPreview(QWidget* owner, QPrinter& printer,
                                   const std::function<void(QPrinter&)>& paint) {
  QPrintPreviewDialog dialog(&printer, owner);
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                   [&paint](QPrinter* target) { paint(*target); });
  return dialog.exec() == QDialog::Accepted;
}

Responder& CurrentResponder() { return g_responder ? *g_responder : DefaultResponder(); }

Responder* SetResponder(Responder* responder) {
  Responder* previous = g_responder;
  g_responder = responder;
  return previous;
}

}  // namespace vd::ui
