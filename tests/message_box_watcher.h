#pragma once
// Watches for the application's real message boxes (the toolkit's QMessageBox, as the user sees
// it) while the program runs, keeps what each said and which window owned it, and presses a
// button in it: the button the first matching rule names, else OK (or the box's default). Other
// dialogs (progress dialogs, choosers) are left alone. Use it without a test responder, so that
// the program's boxes are the toolkit's own.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <string>
#include <utility>
#include <vector>

namespace vd::test {

class MessageBoxWatcher {
 public:
  struct Seen {
    std::string caption;
    std::string text;
    QWidget* owner = nullptr;  // the window the box belongs to; null for none
  };

  MessageBoxWatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(5);
  }

  // Boxes whose text contains key are answered with button.
  void Answer(std::string key, QMessageBox::StandardButton button) {
    rules_.emplace_back(std::move(key), button);
  }

  // The boxes seen so far whose text contains key.
  std::vector<Seen> WithText(const std::string& key) const {
    std::vector<Seen> found;
    for (const Seen& box : seen)
      if (box.text.find(key) != std::string::npos) found.push_back(box);
    return found;
  }

  std::vector<Seen> seen;

 private:
  void Poll() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(window);
      if (!box || !box->isVisible() || answered_.contains(box)) continue;
      answered_.push_back(box);
      Seen record{box->windowTitle().toStdString(), box->text().toStdString(),
                  box->parentWidget() ? box->parentWidget()->window() : nullptr};
      seen.push_back(record);
      QAbstractButton* button = nullptr;
      for (const auto& [key, standard] : rules_) {
        if (record.text.find(key) != std::string::npos) {
          button = box->button(standard);
          break;
        }
      }
      if (!button) button = box->button(QMessageBox::Ok);
      if (!button) button = box->defaultButton();
      if (button) {
        button->click();
      } else {
        box->reject();
      }
    }
  }

  QTimer timer_;
  std::vector<std::pair<std::string, QMessageBox::StandardButton>> rules_;
  QList<QPointer<QMessageBox>> answered_;
};

}  // namespace vd::test
