// The engine's only way to the windows: a small hook interface and one synchronous hand-off.
// The GUI implements it with real windows; the command-line runner and the tests use headless hosts.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cel {

// Main window flags written by the engine and read by the GUI thread without locks.
struct TRunFlags {
    std::atomic<bool> Running{false};
    std::atomic<bool> Paused{false};
    std::atomic<bool> WaitingForInput{false};
};

// What a read finds in the cell once the input has ended (DeliverEnd): the cell as it was, 0,
// or the largest cell value (255 or 65535).
enum class TEndOfInput : uint8_t { Unchanged, Zero, Max };

// The main window's switches and values that a run takes over when it starts.
struct TRunOptions {
    bool Watch = false;            // check mark of the watch item
    bool CommentMarkers = true;    // check mark of the comment-marker item
    bool ProcMode = false;         // check mark of the procedural item
    std::string Text;              // the active document's whole text, lines joined by CR LF
    uint32_t OutputBufferSize = 128;
    std::string InputFileName;     // empty: no input file
    std::string OutputFileName;    // empty: no output file
    bool OutputVisible = true;     // the output window is visible
    bool PlainEngine = false;      // full speed on FoldedList as it is, without its fast form
    bool NativeEngine = true;      // full speed on native code made from the fast form where it can be
    // Native code is made once the run has executed NativeAfter commands and NativePerRecord
    // for each record of the fast form: a short run, or the start of a long program's run, never
    // waits for it, and a long program's code (about what the fast form runs in 300 to 1,000
    // commands a record to make) is made only for a run that has already spent as long. A run
    // whose commands are mostly loops done at once must also have spent NativeNanosFixed and
    // NativeNanosPerRecord for each record of its own time: else the making may cost more than
    // the whole run. The making has a fixed part, the pages for the code and its tables and
    // their protection (about 200 µs where a page fault costs 13 µs), and a part per record
    // (0.1 to 0.5 µs): a run waits for most of the first and a part of the second.
    uint64_t NativeAfter = uint64_t{1} << 20;
    uint64_t NativePerRecord = 1024;
    uint64_t NativeNanosFixed = 150000;
    uint64_t NativeNanosPerRecord = 40;
    bool OutputFileByLine = false; // the output file is written at every line feed (a terminal)
    TEndOfInput EndOfInput = TEndOfInput::Unchanged;
};

// One row of the memory image.
struct TMemoryLine {
    std::string Text;   // the formatted line, bytes 32..255 as they are
    bool Current;       // the cell at the data pointer: bold on the highlight colour
};

// What the memory painter needs of the memory window.
struct TMemoryView {
    int FirstCell = 0;  // cell shown in the top row (the scroll position)
    int RowCount = 0;   // client height div 16
};

// A program input or output file, read and written in blocks.
class TByteFile {
public:
    virtual ~TByteFile() = default;
    // Returns the number of bytes read, 0 at the end, -1 on failure.
    virtual long Read(uint8_t* buffer, size_t size) = 0;
    // Reads up to size bytes from offset on, without moving where Read goes on: the number read,
    // 0 at the end, -1 on failure or for a file that cannot (a pipe).
    virtual long ReadAt(uint64_t offset, uint8_t* buffer, size_t size) {
        (void)offset, (void)buffer, (void)size;
        return -1;
    }
    // Returns true when all bytes were written.
    virtual bool Write(const uint8_t* data, size_t size) = 0;
    virtual bool Close() = 0;
    // Cuts the file to its first size bytes (those written before are in it first); later
    // writes go after them. False when it cannot be cut.
    virtual bool Truncate(uint64_t size) {
        (void)size;
        return false;
    }
};

std::unique_ptr<TByteFile> OpenByteFileForReading(const std::string& name);
std::unique_ptr<TByteFile> CreateByteFile(const std::string& name);

class TEngineHost {
public:
    virtual ~TEngineHost() = default;

    // Flags of the main window; the engine writes them from its own thread.
    virtual TRunFlags& Flags() = 0;

    // Engine thread: runs fn on the GUI thread and returns once it has run. Must be served by
    // every message loop of the GUI thread, modal ones included.
    virtual void Synchronize(const std::function<void()>& fn) = 0;

    // Everything below is called on the GUI thread: by the engine inside Synchronize, or
    // directly by the windows.

    virtual TRunOptions ReadRunOptions() = 0;
    virtual uint32_t WatchDelay() = 0;     // milliseconds slept per watched step
    virtual bool MemoryVisible() = 0;      // the memory window is visible

    virtual void EnableWaitTimer() {}
    virtual void SetStatusTimer(bool enabled) { (void)enabled; }
    virtual void PresentRunning(bool stepMode) { (void)stepMode; }
    virtual void PrepareWindows() {}
    virtual void EndAnalysis() {}
    virtual void PresentPaused() {}
    virtual void ShowCurrentCommand(uint32_t origin) { (void)origin; }
    virtual void StatusPaused() {}
    virtual void StatusRunning() {}
    virtual void UpdateStatus() {}
    virtual void RequestInput() {}
    virtual void DisableInput() {}
    virtual void ShowError(int code) { (void)code; }
    virtual void ReportNoCommand() {}
    // caretAfterMark: step mode was entered or watch is on; the caret goes after the last mark.
    virtual void PresentReady(bool caretAfterMark) { (void)caretAfterMark; }
    // The output window keeps only the first `shown` characters that this run has put into it (a
    // line break counts as one character); what came after goes. Called after a backward move,
    // before the pause is presented. False when the window failed.
    virtual bool TruncateOutput(uint64_t shown) { (void)shown; return true; }
    // A change of the past (a cell changed, input given at an earlier point) has discarded the
    // recorded future: the run goes on from here on a new history.
    virtual void HistoryDiscarded() {}
    // A forward move read a typed line again from the history, at the input command where it
    // was given (the engine's count is still that command's): the window shows its echo again.
    virtual void InputReplayed(uint64_t executed) { (void)executed; }

    // Output window lines. Each returns false when the window failed to take the change.
    virtual bool OutputLineText(uint32_t index, std::string& text) = 0;  // empty past the end
    virtual bool SetOutputLineText(uint32_t index, const std::string& text) = 0;
    virtual bool AppendOutputLine() = 0;
    // Adds text to the end of a line: the line's text with text appended, as reading and writing
    // it back would give. A window that keeps its last line at hand does it without copying the
    // line, so output into one long line costs only its own bytes.
    virtual bool AppendToOutputLine(uint32_t index, std::string_view text) {
        std::string line;
        if (!OutputLineText(index, line)) return false;
        line.append(text);
        return SetOutputLineText(index, line);
    }

    // Memory window.
    virtual TMemoryView MemoryView() { return {}; }
    // Moves the scroll bar; the window's change handler clears Follow and repaints.
    virtual void SetMemoryScroll(int position) { (void)position; }
    // Replaces the memory image by these rows (none: an empty image) and shows it.
    virtual void DrawMemory(const std::vector<TMemoryLine>& lines) { (void)lines; }

    // Program files; the defaults open real files.
    virtual std::unique_ptr<TByteFile> OpenInputFile(const std::string& name) {
        return OpenByteFileForReading(name);
    }
    virtual std::unique_ptr<TByteFile> CreateOutputFile(const std::string& name) {
        return CreateByteFile(name);
    }
};

}  // namespace cel
