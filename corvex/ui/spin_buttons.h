#pragma once
// The bare up/down arrows that sit beside an edit: no value of their own, each step is handed
// to the owner as a signed count (up positive).
#include <QAbstractSpinBox>
#include <functional>

class CSpinButtons : public QAbstractSpinBox {
  Q_OBJECT

 public:
  using StepHandler = std::function<void(int steps)>;

  explicit CSpinButtons(QWidget* parent = nullptr);
  void SetStepHandler(StepHandler handler) { on_step_ = std::move(handler); }

  // The arrows, the keyboard and the wheel all come here.
  void stepBy(int steps) override;

 protected:
  StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

 private:
  StepHandler on_step_;
};
