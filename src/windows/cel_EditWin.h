// TEditWin: the source editor window: one tab per document, one editing control holding the
// selected document, and a status bar of five panels.
#pragma once

#include "cel_TabRows.h"

#include <QByteArray>
#include <QWidget>

class QLabel;
class QsciScintilla;
class TContent;

class TEditWin final : public QWidget {
    Q_OBJECT
public:
    explicit TEditWin(QWidget* parent = nullptr);
    ~TEditWin() override;

    TTabRows* Tabs = nullptr;
    QsciScintilla* Editor = nullptr;
    QWidget* Status = nullptr;      // the status bar, height 19
    QLabel* Panels[5] = {};         // its five panels
    bool FirstPaint = true;

    // Panel 0 := "line : column"; panel 1 := "Ready" when no program exists, otherwise
    // "Running" unless it reads "Paused".
    void UpdateStatus();
    // Creates an untitled document (storing the selected one first), selects its tab, empties
    // the editor with its undo history, focuses it, and empties panels 3 and 4.
    void NewDocument();
    // "Source Editor - " + the document's path, or its tab caption when it has none.
    void UpdateCaption();
    // Before a tab change: refused (false) while a program exists; otherwise stores the editor's
    // text, the output window's text, caret, first visible line and selection in the selected
    // document.
    bool TabsChanging();
    // After a tab change: loads the selected document into the editor and the output window.
    void TabsChange();
    // Appends a tab for a new document record (already appended to the main window's list by the
    // caller or about to be), selects it and names it (NameTab).
    void AppendTab(TContent* document);
    // Tab caption := the file name of path, or "Unknown" + the untitled counter (which grows).
    void NameTab(const QString& path, int index);
    // The caption of tab index as the user reads it (the tab bar itself holds "&" as "&&").
    QString TabCaption(int index) const;
    // Deletes tab index (its document already removed from the list) and selects tab select.
    void RemoveTab(int index, int select);
    void SetPanel(int index, const QString& text);
    QString PanelText(int index) const;

    // The editing control, in the editor's own terms: 8-bit text whose lines are joined by
    // CR LF; positions are 0-based character offsets with line breaks counting two.
    QByteArray Text() const;
    // Replaces the whole text (empties undo and redo; does not mark the document modified).
    void SetText(const QByteArray& text);
    int SelStart() const;
    int SelLength() const;
    void SetSelection(int start, int length);
    void SetReadOnly(bool readOnly);
    int CaretLine() const;    // 1-based
    int CaretColumn() const;  // 1-based
    void SetCaret(int line, int column);
    int TopLine() const;      // 1-based first visible line
    void SetTopLine(int line);
    // Text in textColor on backColor; the selection in backColor on the complement of backColor.
    void ApplyColors(uint32_t textColor, uint32_t backColor);
    void SetGutterVisible(bool visible);
    void SetRightEdge(int column);  // 0: no edge line
    int RightEdge() const;
    void SetEditorFont(const QString& name, int size);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EditorChange();
    // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+F5, Ctrl+F6: previous or next tab, wrapping around.
    bool EditorKeyDown(int key, Qt::KeyboardModifiers modifiers);
    bool SmartTab();
    void EnhancedEnd(bool extend);
    // Gutter font, colours and width.
    void ApplyMargins();
    // Gutter width for the digits of the line count (at least two) and a margin; 0 when hidden.
    void UpdateGutterWidth();
    bool Loading = false;  // the program is replacing the text
    int EdgeColumn = 80;
    bool GutterVisible = true;
};

extern TEditWin* EditWin;
