#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace celtest {

std::string CorpusDir() {
    namespace fs = std::filesystem;
    if (const char* env = std::getenv("CELLWRIGHT_CORPUS"); env && *env) {
        if (fs::exists(fs::path(env) / "MANIFEST.tsv")) return env;
        return {};
    }
    const fs::path fallback(CELLWRIGHT_DEFAULT_CORPUS);
    if (fs::exists(fallback / "MANIFEST.tsv")) return fallback.string();
    return {};
}

bool UnderCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

int Rounds(int n, int least) {
#ifdef CELLWRIGHT_TEST_ROUNDS_SHARE
    return std::max(std::min(n, least), n / CELLWRIGHT_TEST_ROUNDS_SHARE);
#else
    (void)least;
    return n;
#endif
}

std::string ReadFileBytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    std::string bytes;
    char block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.append(block, n);
    std::fclose(f);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string TempPath(const std::string& stem) {
    static int counter = 0;
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    return (dir / ("cellwright-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) +
                   "-" + stem))
        .string();
}

TRecordingHost::~TRecordingHost() { StopEngines(*this); }

void TRecordingHost::Record(const std::string& event) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    Events.push_back(event);
}

int TRecordingHost::CountEvents(const std::string& text) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    int n = 0;
    for (const std::string& e : Events) n += e == text;
    return n;
}

std::string TRecordingHost::OutputText() {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    std::string text;
    for (size_t i = 0; i < Lines.size(); ++i) {
        if (i > 0) text.push_back('\n');
        text += Lines[i];
    }
    return text;
}

void TRecordingHost::PresentRunning(bool stepMode) {
    Record(stepMode ? "PresentRunning step" : "PresentRunning");
}

void TRecordingHost::PrepareWindows() {
    Record("PrepareWindows");
    Lines.clear();
    THeadlessHost::PrepareWindows();
}

void TRecordingHost::ShowCurrentCommand(uint32_t origin) {
    SelStart = origin;
    SelLength = 1;
    if (RecordMarks) Record("Mark " + std::to_string(origin));
}

void TRecordingHost::RequestInput() {
    Record("RequestInput");
    THeadlessHost::RequestInput();
}

void TRecordingHost::PresentReady(bool caretAfterMark) {
    Record("Ready");
    if (caretAfterMark) {
        SelLength = 0;
        SelStart += 1;
    }
}

bool TRecordingHost::OutputLineText(uint32_t index, std::string& text) {
    text = index < Lines.size() ? Lines[index] : std::string();
    return true;
}

bool TRecordingHost::SetOutputLineText(uint32_t index, const std::string& text) {
    if (index > Lines.size()) return false;
    if (index == Lines.size()) Lines.emplace_back();
    Lines[index] = text;
    return true;
}

bool TRecordingHost::TruncateOutput(uint64_t shown) {
    Record("Truncate " + std::to_string(shown));
    for (size_t i = 0; i < Lines.size(); ++i) {
        if (shown <= Lines[i].size()) {
            Lines[i].resize(static_cast<size_t>(shown));
            Lines.resize(i + 1);
            if (Lines.size() == 1 && Lines[0].empty()) Lines.clear();
            return true;
        }
        shown -= Lines[i].size() + 1;
    }
    return true;
}

bool TRecordingHost::AppendOutputLine() {
    if (Lines.empty()) Lines.emplace_back();  // the empty text already shows one line
    Lines.emplace_back();
    return true;
}

void MenuTrace(cel::THeadlessHost& h) {
    h.Gui([&] { h.Interpreter.Step(); });
}

void MenuRun(cel::THeadlessHost& h) {
    h.Gui([&] { h.Interpreter.Continue(); });
}

void MenuDebug(cel::THeadlessHost& h) {
    h.Gui([&] { h.Interpreter.Pause(); });
}

void MenuRunToCursor(cel::THeadlessHost& h, uint32_t offset) {
    h.Gui([&] { h.Interpreter.RunToCursor(offset); });
}

void MenuReset(cel::THeadlessHost& h) {
    h.Gui([&] { h.Interpreter.Reset(); });
}

void DeliverLine(cel::THeadlessHost& h, std::string_view data, bool echoToFile) {
    h.Gui([&] { h.Interpreter.DeliverLine(data, echoToFile); });
}

std::string Settle(cel::THeadlessHost& h, int timeoutMs) {
    cel::TBFInterpreterBase& e = h.Interpreter.Engine();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int spins = 0; std::chrono::steady_clock::now() < deadline; ++spins) {
        if (e.IsFinished()) {
            e.WaitFor();
            return "finished";
        }
        if (e.IsSuspended() && e.IsWaiting()) {
            if (h.RunFlags.Paused.load()) return "paused";
            if (h.RunFlags.WaitingForInput.load()) return "waiting";
            return "suspended";
        }
        if (spins < 2000) std::this_thread::yield();
        else std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return "timeout";
}

void StopEngines(cel::THeadlessHost& h) {
    cel::TBFInterpreterBase* engines[] = {h.Interpreter.Engine8.get(), h.Interpreter.Engine16.get()};
    for (cel::TBFInterpreterBase* e : engines) {
        if (!e) continue;
        e->Terminate();
        e->WaitFor();
    }
}

void MenuWatch(TRecordingHost& h, bool on) {
    h.Gui([&] {
        if (h.Interpreter.SwitchWatch(on)) h.SelLength = 0;
    });
}

std::vector<uint32_t> Window(const std::vector<uint32_t>& tape) {
    std::vector<uint32_t> w(tape.begin(), tape.begin() + 32);
    w.insert(w.end(), tape.end() - 8, tape.end());
    return w;
}

TSeen Look(TRecordingHost& h) {
    return h.Gui([&] {
        TSeen s;
        s.Executed = h.Interpreter.GetExecuted();
        s.DataPtr = h.Interpreter.GetDataPtr();
        s.SelStart = h.SelStart;
        std::vector<uint32_t> tape(cel::TapeSize);
        for (uint32_t i = 0; i < 32; ++i) tape[i] = h.Interpreter.GetCell(static_cast<uint16_t>(i));
        for (uint32_t i = cel::TapeSize - 8; i < cel::TapeSize; ++i)
            tape[i] = h.Interpreter.GetCell(static_cast<uint16_t>(i));
        s.Cells = Window(tape);
        return s;
    });
}

void ExpectPausedAt(TRecordingHost& h, const TRef& r, const std::string& where) {
    SCOPED_TRACE(where);
    ASSERT_TRUE(h.RunFlags.Paused.load());
    const TSeen s = Look(h);
    EXPECT_EQ(s.SelStart, r.Offset());
    EXPECT_EQ(s.Executed, r.Steps);
    EXPECT_EQ(s.DataPtr, r.Dp);
    EXPECT_EQ(s.Cells, Window(r.Tape));
}

void ExpectFinishedAs(TRecordingHost& h, const TRef& r) {
    EXPECT_FALSE(h.RunFlags.Running.load());
    EXPECT_FALSE(h.RunFlags.Paused.load());
    const TSeen s = Look(h);
    EXPECT_EQ(s.Executed, r.Steps);
    EXPECT_EQ(s.DataPtr, r.Dp);
    EXPECT_EQ(s.Cells, Window(r.Tape));
    EXPECT_EQ(h.CountEvents("Ready"), 1);
}

std::vector<std::string> MarksOf(TRecordingHost& h) {
    return h.Gui([&] {
        std::vector<std::string> marks;
        for (const std::string& e : h.Events)
            if (e.rfind("Mark ", 0) == 0) marks.push_back(e);
        return marks;
    });
}

TTestHost::~TTestHost() { StopEngines(*this); }

void TTestHost::ServeInput(std::string text) {
    std::lock_guard<std::recursive_mutex> lock(GuiMutex);
    Serving = true;
    Input = std::move(text);
    InputPos = 0;
}

void TTestHost::ShowError(int code) {
    TRecordingHost::ShowError(code);
    if (FirstError == 0) FirstError = code;
    if (EndAtIllegalCall && code == cel::errIllegalCall) Interpreter.Terminate();
}

void TTestHost::RequestInput() {
    TRecordingHost::RequestInput();
    if (!Serving) return;
    if (InputPos >= Input.size()) {
        Interpreter.DeliverEnd();
        return;
    }
    const size_t n = std::min<size_t>(Input.size() - InputPos, cel::IOBlockSize);
    const std::string line = Input.substr(InputPos, n);
    InputPos += n;
    Interpreter.DeliverLine(line, false);
}

std::string Emitter(const std::string& bytes) {
    std::string code;
    for (unsigned char b : bytes) {
        code += "[-]";
        code.append(b, '+');
        code += '.';
    }
    return code;
}

TRunResult RunProgram(const TRunSetup& setup, int timeoutMs) {
    TTestHost host;
    host.EndAtIllegalCall = true;
    host.ServeInput(setup.Input);
    host.Options.Text = setup.Text;
    host.Options.ProcMode = setup.ProcMode;
    host.Options.CommentMarkers = setup.CommentMarkers;
    host.Options.Watch = setup.SingleStep;
    UseForm(host.Options, setup.Form);
    host.Options.OutputVisible = setup.OutputVisible;
    host.AppendInPlace = setup.AppendInPlace;
    host.Options.OutputBufferSize = setup.OutputBufferSize;
    host.Options.InputFileName = setup.InputFileName;
    host.Profile = setup.Profile;
    std::string outPath;
    if (setup.CaptureFileOutput) {
        outPath = TempPath("out.bin");
        host.Options.OutputFileName = outPath;
    }
    TRunResult result;
    if (setup.InCaller) {
        host.RunHere(setup.Wide, setup.Budget);
        result.Finished = true;
        result.BudgetSpent = host.Interpreter.Engine().BudgetSpent();
    } else {
        host.StartRun(setup.Wide, false);
        result.Finished = host.WaitFinished(timeoutMs);
    }
    if (!result.Finished) {
        host.Interpreter.Terminate();
        host.Interpreter.Engine().WaitFor();
    }
    if (!outPath.empty()) {
        result.FileOutput = ReadFileBytes(outPath);
        std::remove(outPath.c_str());
    }
    result.Output = host.OutputText();
    result.OutputLines = std::max<size_t>(1, host.Lines.size());
    result.Executed = host.Interpreter.GetExecuted();
    result.DataPtr = host.Interpreter.GetDataPtr();
    result.Error = host.FirstError;
    result.Tape.resize(cel::TapeSize);
    for (uint32_t i = 0; i < cel::TapeSize; ++i)
        result.Tape[i] = host.Interpreter.GetCell(static_cast<uint16_t>(i));
    result.Events = host.Events;
    result.CommandCounts = host.Interpreter.GetCommandCounts();
    return result;
}

}  // namespace celtest
