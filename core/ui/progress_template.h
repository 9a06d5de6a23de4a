#pragma once
// What the two progress dialogs (CDlgProgress, CProgress) share: the layout (a status line, a
// bar, a time estimate and a Cancel button) and the wording of their estimates.
class DialogBase;
class QProgressBar;

constexpr int kProgressTemplate = 148;
constexpr int kProgressBarControl = 1000;
constexpr int kProgressMessageControl = 1001;
constexpr int kProgressEstimateControl = 1351;

// Registers the template once; later calls do nothing.
void RegisterProgressTemplate();

// The bar of a dialog built from the template; null while it has no window.
QProgressBar* ProgressBarOf(const DialogBase& dialog);

// The letter after a count in the estimate texts: 's', or a space for exactly 1.
inline char PluralLetter(int count) { return count == 1 ? ' ' : 's'; }
