// TModifyWin: the modal dialog that changes one tape cell of a paused program. The new value
// can be typed in hexadecimal, in decimal or as a character; each field keeps the other two
// showing the same value, and Ok gives the decimal field's value.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace cel {

// The readers of cel_NumberSyntax.h for the fields' texts, taken as Latin-1.
uint32_t ParseHex(const QString& text);
int ParseDecimal(const QString& text);

// True when the 8-bit code, taken as Latin-1, has a visible glyph. Control codes (below 32 and
// 127 to 159) and the soft hyphen have none: the memory rows show a space for them and the
// character field and label nothing.
bool HasGlyph(uint8_t code);

}  // namespace cel

class TModifyWin final : public QDialog {
    Q_OBJECT
public:
    explicit TModifyWin(QWidget* parent = nullptr);

    // Shows the dialog centred for the cell at address (0..32767) holding current. The value
    // of the decimal field on Ok; none when the dialog was cancelled or, after an error box,
    // when that field held no number.
    std::optional<int32_t> Ask(int address, uint32_t current);

    bool Updating = false;  // a change handler is rewriting the other fields

private:
    void HexEditChange();
    void DecEditChange();
    void CharEditChange();
    // Shows value in the two fields other than source.
    void ShowValue(const QLineEdit* source, uint32_t value);

    QLabel* HexLbl = nullptr;
    QLabel* DecLbl = nullptr;
    QLabel* CharLbl = nullptr;
    QLineEdit* HexEdit = nullptr;
    QLineEdit* DecEdit = nullptr;
    QLineEdit* CharEdit = nullptr;
};

extern TModifyWin* ModifyWin;
