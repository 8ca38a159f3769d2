// TEditWin: the source editor window: one tab per document, one editing control holding the
// selected document, and a status bar of five panels.
#pragma once

#include "cel_Debugging.h"
#include "cel_TabRows.h"

#include <QByteArray>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QLabel;
class QsciScintilla;
class QTextDocument;

// One open document: a tab of the editor window.
class TContent {
public:
    QByteArray Lines;        // the stored source text, lines joined by CR LF
    // The output window's text; stored (brought up to date) when the tab is left. Tabs may
    // share one until it is changed (the output window copies it first).
    std::shared_ptr<QTextDocument> OutputLines;
    bool Modified = false;
    QString FileName;        // full path; empty for an untitled document
    int CaretX = 1;
    int CaretY = 1;
    int TopLine = 1;
    int SelStart = 0;
    int SelLength = 0;
    // The breakpoints (with their settings) while another document is in the editor.
    std::vector<cel::TBreakpoint> Breakpoints;
    // The document's watchpoints, one per cell, in the order they were set.
    std::vector<cel::TWatchpoint> Watchpoints;
};

class TEditWin final : public QWidget {
    Q_OBJECT
public:
    explicit TEditWin(QWidget* parent = nullptr);
    ~TEditWin() override;

    TTabRows* Tabs = nullptr;
    QsciScintilla* Editor = nullptr;
    QWidget* Status = nullptr;      // the status bar, height 19
    QLabel* Panels[5] = {};         // its five panels
    QLabel* PanelNote = nullptr;    // right of the panels: a note about the run, usually empty
    bool FirstPaint = true;

    // The documents, one per tab and in the tabs' order: only this window adds or removes them.
    int DocumentCount() const { return int(Documents.size()); }
    TContent* Document(int index) const;  // none for an index without a tab
    TContent* CurrentDocument() const;    // the selected tab's
    // Stores the selected document (TabsChanging), then appends a document named path with its
    // tab, selects it and names it (NameTab).
    TContent* AddDocument(const QString& path);
    // Removes the document of tab index with its tab and selects tab select.
    void CloseDocument(int index, int select);

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
    // Tab caption := the file name of path, or "Unknown" + the untitled counter (which grows).
    void NameTab(const QString& path, int index);
    // The caption of tab index as the user reads it (the tab bar itself holds "&" as "&&").
    QString TabCaption(int index) const;
    void SetPanel(int index, const QString& text);
    QString PanelText(int index) const;
    void SetNote(const QString& text);

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

    // ---- Breakpoints and brackets ----
    // The document's breakpoints: offsets of command characters, ascending. Each is drawn with a
    // background of its own, and a marker in the gutter beside its line; it moves with its
    // character and goes with it.
    std::vector<uint32_t> Breakpoints() const;
    // Replaces the breakpoints (offsets of characters that are no commands are left out).
    void SetBreakpoints(const std::vector<uint32_t>& offsets);
    // Toggles the breakpoint of the command at position or of the first one after it on its
    // line, or else of the last one before it on the line; false when the line has none.
    bool ToggleBreakpoint(int position);
    // Toggle Breakpoint: from the caret.
    bool ToggleBreakpointAtCaret() { return ToggleBreakpoint(SelStart()); }
    // A gutter click on the (0-based) line: removes all of its breakpoints, or when it has none,
    // sets one on its first command.
    bool ToggleBreakpointOnLine(int line);
    void ClearBreakpoints();
    // True while breakpoints may change: no program exists, or it is paused.
    bool BreakpointsEditable() const;
    // The bracket next to the caret (the one after it first) and its partner, -1 for an
    // unmatched one; false when no bracket is next to the caret. ( ) count with procedures on.
    bool BracketAtCaret(int& bracket, int& partner) const;
    // The character a run's error is about (a source offset): the caret goes before it, scrolled
    // into view, and it is marked until the next edit, ClearErrorMark or another MarkError.
    void MarkError(int position);
    void ClearErrorMark();
    // Go to Matching Bracket: the caret moves to the same side of the partner; false when the
    // caret stands next to no matched bracket.
    bool GoToMatchingBracket();
    // How often the bracket pairs were read from the whole text (once after each change of the
    // text or of the switches they depend on): for the tests.
    int BracketScans() const { return BracketScanCount; }
    // ---- Breakpoint settings (a condition, a hit count, enabled) ----
    // Each breakpoint's settings go with its character as the text is edited; a breakpoint set
    // by a toggle has the defaults (stops at every hit).
    std::vector<cel::TBreakpoint> BreakpointList() const;
    // Replaces the breakpoints and their settings (those not on a command are left out).
    void SetBreakpointList(const std::vector<cel::TBreakpoint>& list);
    // The breakpoint on the character at offset; none when there is none.
    std::optional<cel::TBreakpoint> BreakpointAt(int offset) const;
    // Gives the breakpoint at breakpoint.Offset these settings; false when there is none.
    bool ChangeBreakpoint(const cel::TBreakpoint& breakpoint);
    bool RemoveBreakpoint(int offset);
    // The condition dialog for the breakpoint at offset (a gutter right-click opens it for the
    // first one of its line); false when there is none or it was cancelled.
    bool EditBreakpoint(int offset);
    bool EditBreakpointOnLine(int line);
    // Gives the breakpoints to the engine (at a start and while paused) and remembers their
    // order, which GetBreakHits answers in.
    void GiveBreakpoints();
    // How often the breakpoint at offset was hit in the run given the list last (0: unknown).
    uint64_t BreakHits(uint32_t offset) const;
    // "line : column" of a text offset, both 1-based.
    QString PlaceText(int offset) const;

    // ---- Watchpoints of the current document ----
    const std::vector<cel::TWatchpoint>& Watchpoints() const;
    void SetWatchpoints(std::vector<cel::TWatchpoint> watchpoints);
    // The kinds watched on cell (0: none, or disabled when enabledOnly).
    uint8_t WatchKinds(uint32_t cell, bool enabledOnly = false) const;
    // Switches one kind on or off for cell; a cell left with no kind loses its watchpoint.
    void SetWatchKind(uint32_t cell, cel::TWatchKinds kind, bool on);

    // ---- The profile: a heat tint behind the commands, the exact count in a tooltip ----
    // counts[i] belongs to the command at origins[i]; drawn until the text changes or
    // ClearProfile.
    void ShowProfile(const std::vector<uint32_t>& origins, const std::vector<uint64_t>& counts);
    void ClearProfile();
    bool ProfileShown() const { return !HeatCounts.empty(); }
    // The count shown at offset; none where no command has one.
    std::optional<uint64_t> ProfileCountAt(int offset) const;
    // The tooltip text at offset, empty where none.
    QString ProfileTip(int offset) const;

    // Indicator numbers, for the tests to read what is drawn.
    static constexpr int BreakIndicator = 20;
    static constexpr int BracketIndicator = 21;
    static constexpr int BadBracketIndicator = 22;
    static constexpr int ErrorIndicator = 23;
    static constexpr int CondIndicator = 24;      // a conditional or counted breakpoint's frame
    static constexpr int DisabledIndicator = 25;  // a disabled breakpoint struck through
    static constexpr int HeatIndicator = 26;      // the profile's tint, its colour in the value
    static constexpr int BreakMarker = 2;
    static constexpr int CondMarker = 3;
    static constexpr int DisabledMarker = 4;

private:
    // The main window is told that the current document's watchpoints changed.
    void WatchpointsChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Appends a tab for a document just appended to the list, selects it and names it (NameTab).
    void AppendTab(TContent* document);
    // Deletes tab index (its document already removed from the list) and selects tab select.
    void RemoveTab(int index, int select);
    void EditorChange();
    // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+F5, Ctrl+F6: previous or next tab, wrapping around.
    bool EditorKeyDown(int key, Qt::KeyboardModifiers modifiers);
    bool SmartTab();
    void EnhancedEnd(bool extend);
    // Gutter font, colours and width.
    void ApplyMargins();
    // Gutter width for the digits of the line count (at least two) and a margin; 0 when hidden.
    void UpdateGutterWidth();
    // A character that is a command now: procedures and comment markers as the menu has them.
    bool IsCommandAt(int position) const;
    bool IsCommentLine(int line) const;
    void TextModified(int position, int type, int length);
    // The gutter markers from the breakpoints; the engine of a paused program is told.
    void BreakpointsChanged();
    void UpdateBracketHighlight();
    void ApplyHighlightColors(uint32_t textColor);
    int ShownBracket = -1;  // the positions the bracket indicators are on, -1: none
    int ShownPartner = -1;
    // The text changed under the indicators, which moved with it: they are drawn afresh.
    bool BracketMarksMoved = false;
    // Every bracket of the text as a run reads it (comment lines and, with procedures off, ( )
    // left out), by position, with its partner's position or -1. Read once on demand
    // (ReadBrackets) and dropped at every change of the text; the switches it was read with are
    // kept beside it, so a change of them reads the text again too.
    struct TBracket {
        int Position;
        int Partner;
    };
    void ReadBrackets(bool procedures, bool markers) const;
    mutable std::vector<TBracket> Brackets;
    mutable bool BracketsRead = false;
    mutable bool BracketsProcedures = false;
    mutable bool BracketsMarkers = false;
    mutable int BracketScanCount = 0;
    // Breakpoint settings: BreakIndicator's value is 1 for the defaults, else 2 + an index into
    // BreakSettings (whose Offset fields are unused); the indicator moves with the text.
    std::vector<cel::TBreakpoint> BreakSettings;
    int SettingsValue(const cel::TBreakpoint& breakpoint);
    void SetupDebugLooks();
    // The conditional and disabled looks and the gutter markers, from the breakpoints.
    void DrawBreakLooks(const std::vector<cel::TBreakpoint>& list);
    std::vector<uint32_t> GivenOffsets;  // the order the engine's hit counts are in
    std::vector<std::pair<int, uint64_t>> HeatCounts;  // offset, count; ascending offsets
    void ShowDwellTip(int position, int x, int y);
    bool Loading = false;  // the program is replacing the text
    bool ErrorMarked = false;  // ErrorIndicator is set somewhere
    int EdgeColumn = 80;
    bool GutterVisible = true;
    std::vector<std::unique_ptr<TContent>> Documents;
};

extern TEditWin* EditWin;
