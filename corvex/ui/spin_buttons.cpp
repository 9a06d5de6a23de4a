#include "corvex/ui/spin_buttons.h"

#include <QLineEdit>

CSpinButtons::CSpinButtons(QWidget* parent) : QAbstractSpinBox(parent) {
  lineEdit()->setReadOnly(true);
  setFixedWidth(24);
}

void CSpinButtons::stepBy(int steps) {
  if (on_step_ && steps != 0) on_step_(steps);
}
