// Helpers shared by the core tests.
#pragma once

#include "cel_HeadlessHost.h"
#include "test_reference.h"

#include <chrono>
#include <string>
#include <thread>
#include <string_view>
#include <vector>

namespace celtest {

// What runs a program at full speed: native code made from the fast form (where it can be made),
// the fast form, the folded list as it is. Every run gives the same results on each.
enum class TForm { Native, Fast, Plain };
inline constexpr TForm Forms[] = {TForm::Native, TForm::Fast, TForm::Plain};
inline const char* FormName(TForm form) {
    return form == TForm::Native ? "native code" : form == TForm::Fast ? "fast form" : "plain folded";
}
inline void UseForm(cel::TRunOptions& options, TForm form) {
    options.PlainEngine = form == TForm::Plain;
    options.NativeEngine = form == TForm::Native;
    options.NativeAfter = 0;  // native code from the first command on, however short the run
    options.NativePerRecord = 0;
}

// The headless host with what the windows would show kept for the tests to look at: the output
// window's lines, the editor selection, the memory image and the hooks in the order they ran.
// Its records grow with the run, so it is for tests only. Its engines never outlive it.
class TRecordingHost : public cel::THeadlessHost {
public:
    ~TRecordingHost() override;

    // Output window: its lines, empty when nothing was printed.
    std::vector<std::string> Lines;
    // Editor selection, set by the current-command mark.
    uint32_t SelStart = 0;
    uint32_t SelLength = 0;
    // Memory window image.
    std::vector<cel::TMemoryLine> MemoryLines;
    // Hooks in the order they ran, with their arguments ("Error 109", "Mark 12", ...).
    std::vector<std::string> Events;
    // The hook that names each executed mark is noisy in watch mode; off by default.
    bool RecordMarks = false;

    // Count of events with this exact text.
    int CountEvents(const std::string& text);
    // The output window's text as it would show it, lines joined by LF.
    std::string OutputText();
    void Record(const std::string& event);

    void PresentRunning(bool stepMode) override;
    void PrepareWindows() override;
    void EndAnalysis() override { Record("EndAnalysis"); }
    void PresentPaused() override { Record("Paused"); }
    void ShowCurrentCommand(uint32_t origin) override;
    void RequestInput() override;
    void DisableInput() override { Record("DisableInput"); }
    void ShowError(int code) override { Record("Error " + std::to_string(code)); }
    void ReportNoCommand() override { Record("NoCommand"); }
    void PresentReady(bool caretAfterMark) override;

    bool OutputLineText(uint32_t index, std::string& text) override;
    bool SetOutputLineText(uint32_t index, const std::string& text) override;
    bool AppendOutputLine() override;
    // Keeps the first shown characters of the text, a line break counting as one.
    bool TruncateOutput(uint64_t shown) override;
    void HistoryDiscarded() override { Record("HistoryDiscarded"); }
    // Through OutputLineText and SetOutputLineText, as a window without a faster way does it,
    // or (AppendInPlace) onto the kept line, as the output window does: megabytes of output into
    // one line then cost their own bytes, not the line's length at every hand-over.
    bool AppendInPlace = false;
    bool AppendToOutputLine(uint32_t index, std::string_view text) override {
        if (!AppendInPlace || index >= Lines.size()) return cel::TEngineHost::AppendToOutputLine(index, text);
        Lines[index].append(text);
        return true;
    }

    void DrawMemory(const std::vector<cel::TMemoryLine>& lines) override { MemoryLines = lines; }
};

// The recording host of the tests that play the user's part, comment markers off. Its engines
// never outlive it: a run still going when a test ends (a failed one) is terminated and joined
// before the members of this class or of a subclass's go away (a subclass whose hooks use its
// own members must stop them in its own destructor).
class TTestHost : public TRecordingHost {
public:
    TTestHost() { Options.CommentMarkers = false; }
    ~TTestHost() override;
    cel::TBFInterpreterBase& Engine() { return Interpreter.Engine(); }

    // From now on every input request is answered from text as the command-line runner answers
    // from standard input: the next block of up to 65536 bytes as one typed line, then the end
    // of the input (the cell stays unchanged). Without it a request waits for the test.
    void ServeInput(std::string text);
    // Error 109 ends the run, as in the command-line runner, instead of pausing at the ':'.
    bool EndAtIllegalCall = false;
    // The first error shown, 0 when none.
    int FirstError = 0;

    void ShowError(int code) override;
    void RequestInput() override;

private:
    bool Serving = false;
    std::string Input;
    size_t InputPos = 0;
};

// A program that writes these bytes, one cell set and printed per byte.
std::string Emitter(const std::string& bytes);

// The folder of the program corpus, or empty when it cannot be found.
std::string CorpusDir();
// True under CI (CI=true), where a missing corpus is a failure, not a skip.
bool UnderCI();
// The rounds a randomised test runs: n in an optimised build; under the sanitizers, which take
// the same paths many times slower and look for faults of another kind, a share of them
// (CELLWRIGHT_TEST_ROUNDS_SHARE), never fewer than least.
int Rounds(int n, int least = 12);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// A fresh temporary file name for this test process.
std::string TempPath(const std::string& stem);

// How to run a program text to its end on a headless host.
struct TRunSetup {
    std::string Text;
    bool Wide = false;
    bool ProcMode = false;
    bool CommentMarkers = false;
    bool SingleStep = false;      // watch mode with no delay: CommandList throughout
    TForm Form = TForm::Native;   // what runs at full speed
    std::string Input;            // typed input, served in lines of up to 65536 bytes
    std::string InputFileName;
    bool CaptureFileOutput = true;   // output file in a temporary file, returned in FileOutput
    bool OutputVisible = true;       // output window lines, returned in Output
    bool AppendInPlace = false;      // see TRecordingHost::AppendInPlace
    uint32_t OutputBufferSize = 128;
    // Run in the calling thread (RunHere), ended once Budget commands have run.
    bool InCaller = false;
    uint64_t Budget = UINT64_MAX;
    bool Profile = false;  // returned in CommandCounts
};

struct TRunResult {
    std::string FileOutput;       // every byte written through the output-file path
    std::string Output;           // output window text, lines joined by LF
    size_t OutputLines = 0;       // lines the output window shows (an empty text shows one)
    uint64_t Executed = 0;
    uint32_t DataPtr = 0;
    int Error = 0;                // first error shown, 0 when none
    std::vector<uint32_t> Tape;   // all 32768 cells
    std::vector<std::string> Events;
    bool Finished = false;        // false: the run did not end in time
    bool BudgetSpent = false;     // the run ended at its budget
    std::vector<uint64_t> CommandCounts;  // with Profile
};

// ---- The run commands on a headless host, while a run is active ----
// Each gives the facade's command as the GUI thread would, under the host's GUI lock.

void MenuTrace(cel::THeadlessHost& h);
void MenuRun(cel::THeadlessHost& h);
void MenuDebug(cel::THeadlessHost& h);
void MenuRunToCursor(cel::THeadlessHost& h, uint32_t offset);
void MenuReset(cel::THeadlessHost& h);
// The output window's Ok with a typed line; the engine must wait for input.
void DeliverLine(cel::THeadlessHost& h, std::string_view data, bool echoToFile = true);
// Waits until the engine stands in a pause or an input wait, or has finished, and names the
// state: "paused", "waiting", "suspended", "finished" or "timeout". Right after a resume the
// engine may still sit in its old suspension with the resume not yet taken; IsSuspended is
// false then, so it is asked before IsWaiting.
std::string Settle(cel::THeadlessHost& h, int timeoutMs = 20000);
// Ends any run of the host's engines and joins their threads (a failed test may leave one).
void StopEngines(cel::THeadlessHost& h);
// The Watch command during a run.
void MenuWatch(TRecordingHost& h, bool on);

// ---- What the GUI can see of a settled engine, against the reference ----

// The cells the tests compare: 0 to 31 and the last 8 of the wrapped tape, where generated and
// hand-written programs reach.
std::vector<uint32_t> Window(const std::vector<uint32_t>& tape);

struct TSeen {
    uint64_t Executed = 0;
    uint32_t DataPtr = 0;
    uint32_t SelStart = 0;
    std::vector<uint32_t> Cells;  // the Window of the tape
};
TSeen Look(TRecordingHost& h);

// The engine, paused, stands where the reference stands.
void ExpectPausedAt(TRecordingHost& h, const TRef& r, const std::string& where);
// The run has ended where the reference ends, and the windows were made ready once.
void ExpectFinishedAs(TRecordingHost& h, const TRef& r);
// The recorded marks ("Mark <offset>") in order; RecordMarks must be on.
std::vector<std::string> MarksOf(TRecordingHost& h);

// Spins until pred() holds; false on timeout.
template <typename F>
bool SpinUntil(F pred, int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// "label" followed by a number, built without a literal on the left of operator+.
template <typename N>
std::string Join(const char* label, N n) {
    std::string s(label);
    s += std::to_string(n);
    return s;
}

// Both cell widths: false for 8-bit, true for 16-bit.
inline constexpr bool Widths[] = {false, true};

// Runs to the end. Error 109 ends the run there, as the command-line runner does.
TRunResult RunProgram(const TRunSetup& setup, int timeoutMs = 600000);

}  // namespace celtest
