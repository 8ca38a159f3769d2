// Bounded runs in the calling thread for the engine targets. An input is laid out as
//   flags, option byte, program bytes, NUL, input bytes
// flags: 1 16-bit cells, 2 pbrain, 4 comment markers, 8 watched with the memory window shown,
// 16 the input bytes come from an input file (read in chunks of 1 + option % 13 bytes) instead of
// a typed line, 32 an output file written at every line feed, 64 the output window hidden, 128
// native code from the first command (rather than once a run has executed 2^20 commands).
// option: the output buffer size (1 + option % 255) and the input file's chunk size.
#pragma once

#include "cel_HeadlessHost.h"
#include "cel_SourceText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// Included by one file of each target. Every run gets a new engine, whose buffers (input,
// output file, tape: some 200 KB) ASan would otherwise take from fresh pages each time while
// its 256 MB quarantine holds the freed ones, which costs more than most runs. A use after free
// within the last few dozen runs is still caught. Recording five frames of each allocation
// instead of thirty saves a tenth of the time; a finding run again with
// ASAN_OPTIONS=malloc_context_size=30 shows the whole stacks.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16:malloc_context_size=5"; }

namespace celfuzz {

struct TFuzzInput {
    bool Wide = false;
    bool Proc = false;
    bool Comments = false;
    bool Watch = false;
    bool InputFile = false;
    bool FileByLine = false;
    bool WindowHidden = false;
    bool Native = false;
    uint8_t Option = 0;
    std::string Text;  // the editor's text of the program bytes
    std::string Data;  // the input bytes
};

// False when the input is too short to carry the two leading bytes.
inline bool ParseInput(const uint8_t* data, size_t size, TFuzzInput& in) {
    if (size < 2) return false;
    const uint8_t flags = data[0];
    in.Wide = flags & 1;
    in.Proc = flags & 2;
    in.Comments = flags & 4;
    in.Watch = flags & 8;
    in.InputFile = flags & 16;
    in.FileByLine = flags & 32;
    in.WindowHidden = flags & 64;
    in.Native = flags & 128;
    in.Option = data[1];
    const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const size_t nul = rest.find('\0');
    in.Text = cel::SourceTextFromBytes(rest.substr(0, nul));
    if (nul != std::string_view::npos) in.Data = std::string(rest.substr(nul + 1));
    return true;
}

// Bytes in memory, read in chunks of at most Chunk bytes.
class TMemoryFile final : public cel::TByteFile {
public:
    TMemoryFile(std::string* sink, std::string_view source, size_t chunk)
        : Sink(sink), Source(source), Chunk(chunk) {}
    long Read(uint8_t* buffer, size_t size) override {
        const size_t n = std::min({size, Chunk, Source.size() - Pos});
        std::memcpy(buffer, Source.data() + Pos, n);
        Pos += n;
        return static_cast<long>(n);
    }
    bool Write(const uint8_t* data, size_t size) override {
        Sink->append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool Close() override { return true; }

private:
    std::string* Sink;
    std::string_view Source;
    size_t Chunk;
    size_t Pos = 0;
};

// What a run left behind.
struct TOutcome {
    std::string Window;      // the output window's text, lines joined by LF
    std::string File;        // the bytes written to the output file
    uint64_t Executed = 0;
    uint32_t DataPtr = 0;
    int Error = 0;           // the first error shown
    bool BudgetSpent = false;
    uint32_t Requests = 0;   // input requests
    std::string Tape;        // the cells, two bytes each
};

// A headless host that keeps the output and the first error, with the program's files in memory.
// Input requests get the input bytes as one typed line (unless they come from the file), then
// the end of the input; with Varied, the later requests also get a number and a one-byte line.
class TFuzzHost final : public cel::THeadlessHost {
public:
    explicit TFuzzHost(const TFuzzInput& in) : In(in) {
        Options.Text = in.Text;
        Options.ProcMode = in.Proc;
        Options.CommentMarkers = in.Comments;
        Options.Watch = in.Watch;
        Options.OutputBufferSize = 1u + in.Option % 255u;
        Options.OutputVisible = !in.WindowHidden;
        Options.OutputFileByLine = in.FileByLine;
        Options.OutputFileName = in.FileByLine ? "out" : "";
        Options.InputFileName = in.InputFile ? "in" : "";
        if (in.Native) {
            Options.NativeAfter = 0;
            Options.NativePerRecord = 0;
        }
        MemoryWindowVisible = in.Watch;
    }
    bool Varied = false;
    bool KeepTape = false;  // Run copies the cells into Out
    TOutcome Out;

    // Runs to the end, the budget or exactly to stopAt, and takes the engine's state.
    const TOutcome& Run(uint64_t budget, uint64_t stopAt = UINT64_MAX) {
        RunHere(In.Wide, budget, stopAt);
        cel::TBFInterpreterBase& engine = Interpreter.Engine();
        Out.Executed = engine.GetExecuted();
        Out.DataPtr = engine.GetDataPtr();
        Out.BudgetSpent = engine.BudgetSpent();
        if (!KeepTape) return Out;
        Out.Tape.resize(2 * cel::TapeSize);
        for (uint32_t i = 0; i < cel::TapeSize; ++i) {
            const uint32_t cell = engine.GetCell(static_cast<uint16_t>(i));
            Out.Tape[2 * i] = static_cast<char>(cell & 0xFF);
            Out.Tape[2 * i + 1] = static_cast<char>(cell >> 8);
        }
        return Out;
    }

    void RequestInput() override {
        ++Out.Requests;
        if (Out.Requests == 1 && !In.InputFile && !In.Data.empty()) {
            Interpreter.DeliverLine(In.Data);
        } else if (Varied && Out.Requests == 2) {
            Interpreter.DeliverNumber(In.Option * 257 - 1000);
        } else if (Varied && Out.Requests == 3) {
            Interpreter.DeliverLine(std::string(1, static_cast<char>(In.Option)));
        } else {
            Interpreter.DeliverEnd();
        }
    }
    void ShowError(int code) override {
        if (Out.Error == 0) Out.Error = code;
    }
    bool AppendOutputLine() override {
        Out.Window.push_back('\n');
        return true;
    }
    bool AppendToOutputLine(uint32_t index, std::string_view text) override {
        (void)index;
        Out.Window.append(text);
        return true;
    }
    std::unique_ptr<cel::TByteFile> OpenInputFile(const std::string& name) override {
        (void)name;
        return std::make_unique<TMemoryFile>(nullptr, In.Data, 1 + In.Option % 13);
    }
    std::unique_ptr<cel::TByteFile> CreateOutputFile(const std::string& name) override {
        (void)name;
        return std::make_unique<TMemoryFile>(&Out.File, std::string_view(), 0);
    }

private:
    const TFuzzInput& In;
};

}  // namespace celfuzz
