// TTextBox: the plain text box of the dialogs. Qt 6.4 reads past the end of an empty format list
// when it pastes data that has no format at all, which is what the clipboard holds on X11 while
// no program owns it (the IDE crashed at Ctrl+V after a fresh login). Such a paste is ignored.
#pragma once

#include <QMimeData>
#include <QPlainTextEdit>

class TTextBox : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;

    // Public, so that a paste can be given without a clipboard.
    bool canInsertFromMimeData(const QMimeData* source) const override {
        return source && !source->formats().isEmpty() && QPlainTextEdit::canInsertFromMimeData(source);
    }
    void insertFromMimeData(const QMimeData* source) override {
        if (source && !source->formats().isEmpty()) QPlainTextEdit::insertFromMimeData(source);
    }
};
