// TEditWin: what the debugger adds to the editor: the breakpoints' settings and their looks,
// the document's watchpoints, and the profile's heat tint.

#include "cel_EditWin.h"

#include "cel_BreakConditionWin.h"
#include "cel_Interpreter.h"
#include "cel_Workspace.h"

#include <Qsci/qsciscintilla.h>

#include <QLocale>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

using Sci = QsciScintillaBase;

// Colours as Scintilla takes them (blue in the high byte).
constexpr long ConditionColor = 0x00A5FF;  // orange: a breakpoint that stops only sometimes
constexpr long DisabledColor = 0x808080;

bool IsDefault(const cel::TBreakpoint& breakpoint) {
    return breakpoint.Condition == cel::TBreakCondition::None && breakpoint.HitCount == 0 && breakpoint.Enabled;
}

// The heat colour of a count against the largest one: from a pale yellow for the coldest
// executed command to red for the hottest, on a logarithmic scale (counts span many powers).
long HeatColor(uint64_t count, uint64_t most) {
    const double share = most > 1 ? std::log(double(count)) / std::log(double(most)) : 1.0;
    const int green = int(std::lround(230.0 * (1.0 - std::clamp(share, 0.0, 1.0))));
    const int blue = int(std::lround(120.0 * (1.0 - std::clamp(share, 0.0, 1.0))));
    return long(255) | (long(green) << 8) | (long(blue) << 16);
}

}  // namespace

void TEditWin::SetupDebugLooks() {
    Editor->SendScintilla(Sci::SCI_INDICSETSTYLE, CondIndicator, Sci::INDIC_BOX);
    Editor->SendScintilla(Sci::SCI_INDICSETFORE, CondIndicator, ConditionColor);
    Editor->SendScintilla(Sci::SCI_INDICSETSTYLE, DisabledIndicator, Sci::INDIC_STRIKE);
    Editor->SendScintilla(Sci::SCI_INDICSETFORE, DisabledIndicator, DisabledColor);
    Editor->SendScintilla(Sci::SCI_INDICSETSTYLE, HeatIndicator, Sci::INDIC_FULLBOX);
    Editor->SendScintilla(Sci::SCI_INDICSETFLAGS, HeatIndicator, Sci::SC_INDICFLAG_VALUEBEFORE);
    Editor->SendScintilla(Sci::SCI_INDICSETALPHA, HeatIndicator, 110);
    Editor->SendScintilla(Sci::SCI_INDICSETOUTLINEALPHA, HeatIndicator, 0L);
    Editor->SendScintilla(Sci::SCI_INDICSETUNDER, HeatIndicator, true);
    Editor->markerDefine(QsciScintilla::RightTriangle, CondMarker);
    Editor->setMarkerForegroundColor(QColor(128, 64, 0), CondMarker);
    Editor->setMarkerBackgroundColor(QColor(255, 165, 0), CondMarker);
    Editor->markerDefine(QsciScintilla::Circle, DisabledMarker);
    Editor->setMarkerForegroundColor(QColor(128, 128, 128), DisabledMarker);
    Editor->setMarkerBackgroundColor(QColor(224, 224, 224), DisabledMarker);
}

// ---- Breakpoint settings ----

int TEditWin::SettingsValue(const cel::TBreakpoint& breakpoint) {
    if (IsDefault(breakpoint)) return 1;
    BreakSettings.push_back(breakpoint);
    return int(BreakSettings.size()) + 1;
}

std::vector<cel::TBreakpoint> TEditWin::BreakpointList() const {
    std::vector<cel::TBreakpoint> list;
    for (const uint32_t offset : Breakpoints()) {
        const long value = Editor->SendScintilla(Sci::SCI_INDICATORVALUEAT, BreakIndicator, long(offset));
        cel::TBreakpoint breakpoint;
        if (value >= 2 && size_t(value - 2) < BreakSettings.size()) breakpoint = BreakSettings[size_t(value - 2)];
        breakpoint.Offset = offset;
        list.push_back(breakpoint);
    }
    return list;
}

void TEditWin::SetBreakpointList(const std::vector<cel::TBreakpoint>& list) {
    BreakSettings.clear();
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, BreakIndicator);
    Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, 0, Editor->SendScintilla(Sci::SCI_GETLENGTH));
    for (const cel::TBreakpoint& breakpoint : list) {
        if (!IsCommandAt(int(breakpoint.Offset))) continue;
        Editor->SendScintilla(Sci::SCI_SETINDICATORVALUE, SettingsValue(breakpoint));
        Editor->SendScintilla(Sci::SCI_INDICATORFILLRANGE, breakpoint.Offset, 1);
    }
    BreakpointsChanged();
}

std::optional<cel::TBreakpoint> TEditWin::BreakpointAt(int offset) const {
    if (offset < 0 || !Editor->SendScintilla(Sci::SCI_INDICATORVALUEAT, BreakIndicator, long(offset))) return std::nullopt;
    for (const cel::TBreakpoint& breakpoint : BreakpointList())
        if (breakpoint.Offset == uint32_t(offset)) return breakpoint;
    return std::nullopt;
}

bool TEditWin::ChangeBreakpoint(const cel::TBreakpoint& breakpoint) {
    if (!BreakpointsEditable() || !BreakpointAt(int(breakpoint.Offset))) return false;
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, BreakIndicator);
    Editor->SendScintilla(Sci::SCI_SETINDICATORVALUE, SettingsValue(breakpoint));
    Editor->SendScintilla(Sci::SCI_INDICATORFILLRANGE, breakpoint.Offset, 1);
    BreakpointsChanged();
    return true;
}

bool TEditWin::RemoveBreakpoint(int offset) {
    if (!BreakpointsEditable() || !BreakpointAt(offset)) return false;
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, BreakIndicator);
    Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, offset, 1);
    BreakpointsChanged();
    return true;
}

bool TEditWin::EditBreakpoint(int offset) {
    const auto breakpoint = BreakpointAt(offset);
    if (!BreakpointsEditable() || !breakpoint) return false;
    const long line = Editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, long(offset));
    const long column = offset - Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line);
    const TModalScope scope(TModalScope::Modal | TModalScope::Dialog | TModalScope::PendingInput);
    TBreakConditionWin dialog(this);
    const auto changed = dialog.Ask(*breakpoint, int(line) + 1, int(column) + 1);
    return changed && ChangeBreakpoint(*changed);
}

bool TEditWin::EditBreakpointOnLine(int line) {
    if (line < 0 || line >= Editor->SendScintilla(Sci::SCI_GETLINECOUNT)) return false;
    const long begin = Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line);
    const long end = Editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, line);
    for (long p = begin; p < end; ++p)
        if (Editor->SendScintilla(Sci::SCI_INDICATORVALUEAT, BreakIndicator, p)) return EditBreakpoint(int(p));
    return false;
}

void TEditWin::GiveBreakpoints() {
    if (!Workspace || !Workspace->Interpreter || !Workspace->Interpreter->HasEngine()) return;
    std::vector<cel::TBreakpoint> list = BreakpointList();
    GivenOffsets.clear();
    for (const cel::TBreakpoint& breakpoint : list) GivenOffsets.push_back(breakpoint.Offset);
    Workspace->Interpreter->SetBreakpoints(std::move(list));
}

uint64_t TEditWin::BreakHits(uint32_t offset) const {
    if (!Workspace || !Workspace->Interpreter || !Workspace->Interpreter->HasEngine()) return 0;
    // While the program runs on, the counts are the engine's own.
    if (Workspace->Running() && !Workspace->Paused()) return 0;
    const auto at = std::find(GivenOffsets.begin(), GivenOffsets.end(), offset);
    if (at == GivenOffsets.end()) return 0;
    const std::vector<uint64_t> hits = Workspace->Interpreter->GetBreakHits();
    const auto index = size_t(at - GivenOffsets.begin());
    return index < hits.size() ? hits[index] : 0;
}

QString TEditWin::PlaceText(int offset) const {
    const long line = Editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, long(offset));
    const long column = offset - Editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, line);
    return QStringLiteral("%1 : %2").arg(line + 1).arg(column + 1);
}

void TEditWin::DrawBreakLooks(const std::vector<cel::TBreakpoint>& list) {
    const long length = Editor->SendScintilla(Sci::SCI_GETLENGTH);
    for (const int indicator : {CondIndicator, DisabledIndicator}) {
        Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, indicator);
        Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, 0, length);
    }
    for (const int marker : {BreakMarker, CondMarker, DisabledMarker}) Editor->markerDeleteAll(marker);
    // One marker a line: a breakpoint that always stops before one that stops sometimes,
    // before a disabled one.
    long line = -1;
    int shown = -1;
    const auto flush = [&] {
        if (line >= 0 && shown >= 0) Editor->markerAdd(int(line), shown);
    };
    for (const cel::TBreakpoint& breakpoint : list) {
        const bool conditional = breakpoint.Condition != cel::TBreakCondition::None || breakpoint.HitCount != 0;
        const int indicator = !breakpoint.Enabled ? DisabledIndicator : conditional ? CondIndicator : -1;
        if (indicator >= 0) {
            Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, indicator);
            Editor->SendScintilla(Sci::SCI_SETINDICATORVALUE, 1);
            Editor->SendScintilla(Sci::SCI_INDICATORFILLRANGE, breakpoint.Offset, 1);
        }
        const int marker = !breakpoint.Enabled ? DisabledMarker : conditional ? CondMarker : BreakMarker;
        const long here = Editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, static_cast<unsigned long>(breakpoint.Offset));
        if (here != line) {
            flush();
            line = here;
            shown = marker;
        } else if (marker < shown) {
            shown = marker;
        }
    }
    flush();
}

// ---- Watchpoints ----

const std::vector<cel::TWatchpoint>& TEditWin::Watchpoints() const {
    static const std::vector<cel::TWatchpoint> none;
    const TContent* document = CurrentDocument();
    return document ? document->Watchpoints : none;
}

void TEditWin::SetWatchpoints(std::vector<cel::TWatchpoint> watchpoints) {
    TContent* document = CurrentDocument();
    if (!document) return;
    document->Watchpoints = std::move(watchpoints);
    WatchpointsChanged();
}

void TEditWin::WatchpointsChanged() {
    if (Workspace && Workspace->Main) Workspace->Main->WatchpointsChanged();
}

uint8_t TEditWin::WatchKinds(uint32_t cell, bool enabledOnly) const {
    for (const cel::TWatchpoint& watchpoint : Watchpoints())
        if (watchpoint.Cell == cell) return enabledOnly && !watchpoint.Enabled ? 0 : watchpoint.Kinds;
    return 0;
}

void TEditWin::SetWatchKind(uint32_t cell, cel::TWatchKinds kind, bool on) {
    std::vector<cel::TWatchpoint> list = Watchpoints();
    auto at = std::find_if(list.begin(), list.end(), [cell](const cel::TWatchpoint& w) { return w.Cell == cell; });
    if (at == list.end()) {
        if (!on) return;
        list.push_back(cel::TWatchpoint{cell, 0, true});
        at = list.end() - 1;
    }
    at->Kinds = uint8_t(on ? at->Kinds | kind : at->Kinds & ~kind);
    if (on) at->Enabled = true;
    if (at->Kinds == 0) list.erase(at);
    SetWatchpoints(std::move(list));
}

// ---- The profile ----

void TEditWin::ShowProfile(const std::vector<uint32_t>& origins, const std::vector<uint64_t>& counts) {
    ClearProfile();
    uint64_t most = 0;
    for (size_t i = 0; i < origins.size() && i < counts.size(); ++i) {
        HeatCounts.emplace_back(int(origins[i]), counts[i]);
        most = std::max(most, counts[i]);
    }
    std::sort(HeatCounts.begin(), HeatCounts.end());
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, HeatIndicator);
    for (const auto& [offset, count] : HeatCounts) {
        if (count == 0) continue;
        Editor->SendScintilla(Sci::SCI_SETINDICATORVALUE, Sci::SC_INDICVALUEBIT | HeatColor(count, most));
        Editor->SendScintilla(Sci::SCI_INDICATORFILLRANGE, offset, 1);
    }
    Editor->SendScintilla(Sci::SCI_SETMOUSEDWELLTIME, 400);
}

void TEditWin::ClearProfile() {
    if (HeatCounts.empty()) return;
    HeatCounts.clear();
    Editor->SendScintilla(Sci::SCI_SETINDICATORCURRENT, HeatIndicator);
    Editor->SendScintilla(Sci::SCI_INDICATORCLEARRANGE, 0, Editor->SendScintilla(Sci::SCI_GETLENGTH));
    Editor->SendScintilla(Sci::SCI_SETMOUSEDWELLTIME, Sci::SC_TIME_FOREVER);
    QToolTip::hideText();
}

std::optional<uint64_t> TEditWin::ProfileCountAt(int offset) const {
    const auto at = std::lower_bound(HeatCounts.begin(), HeatCounts.end(), std::pair<int, uint64_t>(offset, 0));
    if (at == HeatCounts.end() || at->first != offset) return std::nullopt;
    return at->second;
}

QString TEditWin::ProfileTip(int offset) const {
    const auto count = ProfileCountAt(offset);
    if (!count) return {};
    if (*count == 1) return QStringLiteral("Executed once");
    return QStringLiteral("Executed %1 times").arg(QLocale().toString(static_cast<qulonglong>(*count)));
}

void TEditWin::ShowDwellTip(int position, int x, int y) {
    const QString tip = ProfileTip(position);
    if (tip.isEmpty()) return;
    QToolTip::showText(Editor->viewport()->mapToGlobal(QPoint(x, y)), tip, Editor->viewport());
}
