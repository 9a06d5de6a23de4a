#include "platform/ui/dialog_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <algorithm>

namespace vd::ui {

DialogWindow::DialogWindow(QWidget* parent) : QDialog(parent), NativeWindow(this) {}

DialogWindow::~DialogWindow() { DestroyedByOwner(); }

void DialogWindow::RegisterControl(int id, QWidget* control) {
  controls_[id] = control;
  const auto command = [this, id](int code) { return [this, id, code] { SendCommand(id, code); }; };
  if (auto* push = qobject_cast<QPushButton*>(control)) {
    // Enter is this dialog's business (keyPressEvent), not the buttons'.
    push->setAutoDefault(false);
    push->setDefault(false);
  }
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    connect(button, &QAbstractButton::clicked, this, command(kBnClicked));
  } else if (auto* line = qobject_cast<QLineEdit*>(control)) {
    connect(line, &QLineEdit::textChanged, this, command(kEnChange));
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
    connect(plain, &QPlainTextEdit::textChanged, this, command(kEnChange));
  } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
    connect(rich, &QTextEdit::textChanged, this, command(kEnChange));
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    connect(combo, &QComboBox::activated, this, command(kCbnSelChange));
  } else if (auto* list = qobject_cast<QListWidget*>(control)) {
    connect(list, &QListWidget::currentRowChanged, this, command(kCbnSelChange));
    connect(list, &QListWidget::itemDoubleClicked, this, command(kLbnDblClk));
  }
}

QWidget* DialogWindow::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.data();
}

std::string DialogWindow::ItemText(int id) const {
  QWidget* control = Control(id);
  QString text;
  if (auto* line = qobject_cast<QLineEdit*>(control)) {
    text = line->text();
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
    text = plain->toPlainText();
  } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
    text = rich->toPlainText();
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    text = label->text();
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    text = button->text();
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    text = combo->currentText();
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    text = group->title();
  }
  return text.toStdString();
}

bool DialogWindow::SetItemText(int id, const std::string& utf8) {
  QWidget* control = Control(id);
  const QString text = QString::fromStdString(utf8);
  if (auto* line = qobject_cast<QLineEdit*>(control)) {
    line->setText(text);
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) {
    plain->setPlainText(text);
  } else if (auto* rich = qobject_cast<QTextEdit*>(control)) {
    rich->setPlainText(text);
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(text);
  } else if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->isEditable()) {
    combo->setEditText(text);
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    group->setTitle(text);
  } else {
    return false;
  }
  return true;
}

int DialogWindow::CheckState(int id) const {
  QWidget* control = Control(id);
  if (auto* check = qobject_cast<QCheckBox*>(control)) {
    switch (check->checkState()) {
      case Qt::Unchecked: return 0;
      case Qt::Checked: return 1;
      case Qt::PartiallyChecked: return 2;
    }
  }
  auto* button = qobject_cast<QAbstractButton*>(control);
  if (!button || !button->isCheckable()) return -1;
  return button->isChecked() ? 1 : 0;
}

bool DialogWindow::SetCheckState(int id, int state) {
  QWidget* control = Control(id);
  if (auto* check = qobject_cast<QCheckBox*>(control)) {
    check->setCheckState(state == 0 ? Qt::Unchecked
                         : state == 2 ? Qt::PartiallyChecked
                                      : Qt::Checked);
    return true;
  }
  auto* button = qobject_cast<QAbstractButton*>(control);
  if (!button || !button->isCheckable() || state == 2) return false;
  button->setChecked(state != 0);
  return true;
}

bool DialogWindow::EnableItem(int id, bool enable) {
  QWidget* control = Control(id);
  if (!control) return false;
  control->setEnabled(enable);
  return true;
}

bool DialogWindow::SetDefaultButton(int id) {
  QWidget* control = Control(id);
  if (!control) return false;
  if (default_button_ == id) return true;
  if (auto* old = ControlAs<QPushButton>(default_button_)) old->setDefault(false);
  default_button_ = id;
  if (auto* push = qobject_cast<QPushButton*>(control)) push->setDefault(true);
  return true;
}

int DialogWindow::RunModal() {
  if (!ended_) exec();
  return result_;
}

void DialogWindow::End(int result) {
  ended_ = true;
  result_ = result;
  done(result);
}

void DialogWindow::SendCommand(int id, int code) {
  Deliver(kWmCommand, MakeWParam(id, code), reinterpret_cast<intptr_t>(Control(id)));
}

intptr_t DialogWindow::DefaultProc(const Message& message) {
  if (message.msg != kWmClose) return NativeWindow::DefaultProc(message);
  reject();
  return 0;
}

void DialogWindow::reject() { SendCommand(kIdCancel, kBnClicked); }

void DialogWindow::accept() { SendCommand(kIdOk, kBnClicked); }

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
    QDialog::keyPressEvent(event);
    return;
  }
  int id = kIdOk;
  QWidget* focus = focusWidget();
  const auto focused = std::find_if(controls_.begin(), controls_.end(), [focus](const auto& c) {
    return c.second == focus && qobject_cast<QPushButton*>(focus);
  });
  if (focused != controls_.end()) {
    id = focused->first;
  } else if (QWidget* def = Control(default_button_)) {
    if (!def->isEnabled()) return;
    id = default_button_;
  } else if (QWidget* ok = Control(kIdOk); ok && !ok->isEnabled()) {
    return;  // a greyed OK is not pressed by the key either
  }
  event->accept();
  SendCommand(id, kBnClicked);
}

bool DialogWindow::TranslateEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) return false;
      Deliver(kWmHelp);
      return true;
    case QEvent::KeyRelease:
    case QEvent::Close:  // QDialog turns it into reject()
      return false;
    default:
      return NativeWindow::TranslateEvent(event);
  }
}

}  // namespace vd::ui
