// TBreakConditionWin: the small modal dialog of one breakpoint: a condition on the current cell,
// the one hit it stops at, and whether it is enabled.
#pragma once

#include "cel_Debugging.h"

#include <QDialog>
#include <QString>

#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

class TBreakConditionWin final : public QDialog {
    Q_OBJECT
public:
    explicit TBreakConditionWin(QWidget* parent = nullptr);

    // Shows the settings of the breakpoint at line : column (1-based, for the caption). The
    // settings on Ok (Offset as given); none on Cancel.
    std::optional<cel::TBreakpoint> Ask(const cel::TBreakpoint& breakpoint, int line, int column);
    // The fields into breakpoint; false, with the reason, when the value is no number in 0..65535.
    bool Read(cel::TBreakpoint& breakpoint, QString& problem) const;
    void Show(const cel::TBreakpoint& breakpoint);

    QComboBox* Condition = nullptr;  // none, =, ≠, <, > in TBreakCondition's order
    QLineEdit* Value = nullptr;      // decimal or hexadecimal, as the output window's number field
    QCheckBox* HitOnly = nullptr;    // stop only at the hit Hit counts
    QSpinBox* Hit = nullptr;
    QCheckBox* Enabled = nullptr;

private:
    void OkClick();
    void UpdateFields();
};
