// The engine's behaviour without windows: tape and cell arithmetic, the executed-command count,
// the output and input paths with their files, procedures, and the memory image.

#include "test_support.h"

#include "cel_NativeCode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace {

using celtest::RunProgram;
using celtest::TRunResult;
using celtest::TRunSetup;

std::string Repeat(char c, size_t n) { return std::string(n, c); }

using celtest::Emitter;

TRunResult RunText(const std::string& text, bool wide = false, bool single = false) {
    TRunSetup setup;
    setup.Text = text;
    setup.Wide = wide;
    setup.SingleStep = single;
    return RunProgram(setup, 60000);
}

TRunResult RunPBrain(const std::string& text, bool single = false) {
    TRunSetup setup;
    setup.Text = text;
    setup.ProcMode = true;
    setup.SingleStep = single;
    return RunProgram(setup, 60000);
}

template <typename Predicate>
bool WaitUntil(Predicate done, int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

// Waits until the engine sits in its n-th input request.
bool WaitForInputRequest(celtest::TRecordingHost& host, int n) {
    return WaitUntil([&] {
        return host.CountEvents("RequestInput") == n && host.Interpreter.Engine().IsWaiting();
    });
}

// Waits until the engine sits in its n-th pause.
bool WaitForPause(celtest::TRecordingHost& host, int n) {
    return WaitUntil(
        [&] { return host.CountEvents("Paused") == n && host.Interpreter.Engine().IsWaiting(); });
}

TEST(Execution, PointerWrapsAndFoldedRunsEndWhereSingleStepsDo) {
    for (bool single : {false, true}) {
        SCOPED_TRACE(single ? "single-command mode" : "fast mode");
        TRunResult r = RunText("<+", false, single);
        EXPECT_EQ(r.DataPtr, 32767u);
        EXPECT_EQ(r.Tape[32767], 1u);
        r = RunText(Repeat('>', 32767) + "+>+", false, single);
        EXPECT_EQ(r.DataPtr, 0u);
        EXPECT_EQ(r.Tape[32767], 1u);
        EXPECT_EQ(r.Tape[0], 1u);
        EXPECT_EQ(r.Executed, 32770u);
        for (uint32_t n : {32768u, 32773u, 40000u, 65539u, 100000u}) {
            SCOPED_TRACE(n);
            r = RunText(Repeat('>', n) + "+", false, single);
            EXPECT_EQ(r.DataPtr, n % 32768);
            EXPECT_EQ(r.Tape[n % 32768], 1u);
            EXPECT_EQ(r.Executed, n + 1);
            r = RunText(Repeat('<', n) + "+", false, single);
            EXPECT_EQ(r.DataPtr, (32768 - n % 32768) % 32768);
            EXPECT_EQ(r.Tape[(32768 - n % 32768) % 32768], 1u);
            EXPECT_EQ(r.Executed, n + 1);
        }
        // Runs inside a loop, left across cell 0 and back.
        r = RunText("+++[<<<<<+>>>>>>>>>>+<<<<<-]", false, single);
        EXPECT_EQ(r.DataPtr, 0u);
        EXPECT_EQ(r.Tape[32763], 3u);
        EXPECT_EQ(r.Tape[5], 3u);
    }
}

TEST(Execution, CellsWrapAtTheirWidth) {
    struct TCase {
        std::string Text;
        bool Wide;
        uint32_t Value;
    };
    const TCase cases[] = {
        {"-", false, 255},
        {"-+", false, 0},
        {Repeat('+', 256), false, 0},
        {Repeat('+', 300), false, 44},
        {Repeat('-', 300), false, 212},
        {"-", true, 65535},
        {"-+", true, 0},
        {Repeat('+', 65537), true, 1},
        {"---", true, 65533},
        {Repeat('+', 300), true, 300},
    };
    for (const TCase& c : cases) {
        for (bool single : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.Text.substr(0, 8) << "... (" << c.Text.size()
                                            << " commands) " << (c.Wide ? "16-bit" : "8-bit")
                                            << (single ? " single" : " fast"));
            const TRunResult r = RunText(c.Text, c.Wide, single);
            EXPECT_EQ(r.Tape[0], c.Value);
            EXPECT_EQ(r.Executed, c.Text.size());
        }
    }

    // Output takes the low 8 bits of a 16-bit cell.
    TRunResult r = RunText(Repeat('+', 321) + ".", true);
    EXPECT_EQ(r.FileOutput, "A");
    EXPECT_EQ(r.Output, "A");

    // Input replaces the cell with the byte, zero-extended: the first byte of a typed line
    // (written by the input panel), its second byte and a byte of an input file.
    const std::string in = celtest::TempPath("c8.in");
    ASSERT_TRUE(celtest::WriteFileBytes(in, "\xC8"));
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        TRunSetup setup;
        setup.Text = "-,>-,";
        setup.Wide = wide;
        setup.Input = "\xC8\xC9";
        r = RunProgram(setup, 60000);
        EXPECT_EQ(r.Tape[0], 200u);
        EXPECT_EQ(r.Tape[1], 201u);
        setup.Text = "-,";
        setup.Input.clear();
        setup.InputFileName = in;
        r = RunProgram(setup, 60000);
        EXPECT_EQ(r.Tape[0], 200u);
    }
    std::remove(in.c_str());
}

// A full-speed run makes native code where the build can, in pages that are executable and not
// writable (/proc/self/maps); with the fast form chosen it makes none.
TEST(Execution, NativeCodeIsMadeInPagesNeverWritable) {
    if (!cel::NativeCodeBuilt()) GTEST_SKIP() << "a build without native code";
    const auto permissions = [](const void* at) {
        std::ifstream maps("/proc/self/maps");
        const auto address = reinterpret_cast<uintptr_t>(at);
        for (std::string line; std::getline(maps, line);) {
            unsigned long long first = 0, end = 0;
            char perms[5] = {};
            if (std::sscanf(line.c_str(), "%llx-%llx %4s", &first, &end, perms) == 3 && first <= address &&
                address < end)
                return std::string(perms, 3);
        }
        return std::string("none");
    };
    for (const bool wide : {false, true}) {
        for (const celtest::TForm form : {celtest::TForm::Native, celtest::TForm::Fast}) {
            SCOPED_TRACE(std::string(celtest::FormName(form)) + (wide ? " 16-bit" : " 8-bit"));
            cel::THeadlessHost host;
            host.Options.Text = "++++[>+++[>++<-]<-]>>[-]<[>],";
            celtest::UseForm(host.Options, form);
            // The program the run holds, seen at its input request (the run ends there).
            bool asked = false;
            host.OnRequestInput = [&] {
                asked = true;
                const cel::TFastProgram* fast = host.Interpreter.Engine().GetProgram().BuiltFastForm();
                ASSERT_NE(fast, nullptr);
                if (form == celtest::TForm::Fast) {
                    EXPECT_EQ(fast->Native, nullptr);
                    return;
                }
                ASSERT_NE(fast->Native, nullptr);
                EXPECT_TRUE(fast->Native->Has(0));
                EXPECT_EQ(permissions(fast->Native->Code()), "r-x");
            };
            host.RunHere(wide);
            EXPECT_TRUE(asked);
        }
    }
}

// Native code waits for the run to have spent the fixed part of its making (the pages for the
// code, their protection): a run that ends before makes none, on the same count.
TEST(Execution, NativeCodeWaitsForItsFixedCost) {
    if (!cel::NativeCodeBuilt()) GTEST_SKIP() << "a build without native code";
    const std::string text = "-[>-[>+>+<<-]>[-<+>]<<-]";  // 255 passes of two moves of up to 255
    uint64_t executed[2] = {};
    for (const bool waits : {true, false}) {
        SCOPED_TRACE(waits ? "a fixed part of a minute" : "no fixed part");
        cel::THeadlessHost host;
        host.Options.Text = text;
        celtest::UseForm(host.Options, celtest::TForm::Native);
        host.Options.NativeAfter = 1000;
        host.Options.NativePerRecord = 0;
        host.Options.NativeNanosPerRecord = 0;
        host.Options.NativeNanosFixed = waits ? uint64_t{60} * 1000000000 : 0;
        host.RunHere(false);
        const uint64_t from = host.Interpreter.Engine().GetNativeFrom();
        if (waits) EXPECT_EQ(from, UINT64_MAX);
        else EXPECT_NE(from, UINT64_MAX);
        executed[waits ? 0 : 1] = host.Interpreter.Engine().GetExecuted();
    }
    EXPECT_EQ(executed[0], executed[1]);
    EXPECT_GT(executed[0], 100000u);
}

// Programs built to hit each wrap in the fast form's closed forms and searches: native code,
// the fast form, the plain folded loop and single steps end alike, and where the count is easily known by hand,
// on that count.
TEST(Execution, FastFormAcrossWraps) {
    struct TCase {
        std::string Text;
        bool Wide;
        uint64_t Executed;  // 0: not given
    };
    const TCase cases[] = {
        // A counter stepping by -3 from 1: 171 passes in 8 bits, 43,691 in 16.
        {"+[---]", false, 2 + 171 * 4},
        {"+[---]", true, 2 + 43691 * 4},
        {"+[--->++<]", false, 2 + 171 * 8},
        {"+[--->++<]", true, 2 + 43691 * 8},
        {"+[+++]", false, 2 + 85 * 4},
        {"++++[-->+<]", true, 0},
        // Terms, straight runs and clears across the tape's ends in both directions.
        {"+++[-<<+++>>>>>+<<<]<<<-[+>>>>>>>+<<<<<<<]", false, 0},
        {"<<+++[>>>>[-]++<<+<<-]>>[-<<<<[-]+>>>>]", true, 0},
        {"+++[>+++[-]++<-]++[>-[+]<-]", false, 0},
        // Scans across the tape's ends, left and right, by 1 and by 2.
        {"+<+<+>>[<]", false, 0},
        {"<<<+>+>+<<[>]", true, 0},
        {"+<<+<<+>>>>[<<]", false, 0},
        {"<<<<<+>>+>>+<<<<[>>]", true, 0},
        // What native code does itself or hands to the engine: scans that end within their
        // first four passes, after them, round the tape's end and (stepped) never; clears of
        // both kinds inside multiply loops; steps of -1, 1 and others; a walk whose passes
        // end at once and later; memo loops entered steady.
        {"+>+>+>+<<<[>]", false, 0},
        // Scans of every length up to 40 in both directions (a loop, the engine's search past
        // 32 passes by one byte), here and across the tape's end.
        {Repeat('+', 40) + "[>>[>]+[<]<-]", false, 0},
        {Repeat('+', 40) + "[>>[>]+[<]<-]", true, 0},
        {"<<<<" + Repeat('+', 40) + "[>>[>]+[<]<-]", false, 0},
        {"<<<<" + Repeat('+', 40) + "[>>[>]+[<]<-]", true, 0},
        {"+>+>+>+>+>+>+<<<<<<[>]", true, 0},
        {"+<+<+<+<+<+>>>>>[<]", false, 0},
        {"+>>+>>+>>+>>+>>+<<<<<<<<<<[>>]", false, 0},
        {"++++[>[-]+>[+]->+++<<<-]", false, 0},
        {"++++[>[-]+>[+]->+++<<<-]", true, 0},
        {"+++++[>-->+++>-<<<-]>>>[<+<+>>+]", false, 0},
        {"+++[>+++<+]", false, 0},
        {"+>+++>++>+<<<[>[->+<]>]", false, 0},
        // Walks over counters at 0 and not, stepping by 1 (the trip count wraps to 0 at 0).
        {"+>>+>--->+<<<<[>[+>+<]>]", false, 0},
        {"+>>+>--->+<<<<[>[+>+<]>]", true, 0},
        {"+>>+>--->+<<<<[>[+>>+<<]>>]", false, 0},
        // Walks whose passes move first and reach their cells across cell 0, counters stepping
        // by -1 and -3.
        {"<<<+>++>+++>+++[<[-<<<+>>>]<]", false, 0},
        {"<<<+>++>+++>+++[<[-<<<+>>>]<]", true, 0},
        {"<<<+>++>+++>+++[<[---<<<+>>>]<]", false, 0},
        {"<<<+>++>+++>+++[<[---<<<+>>>]<]", true, 0},
        {"+++[>++[>+++<-]>[-]+[<+>-]<<-]", true, 0},
        // Loops whose passes repeat, with inner loops, here and across cell 0.
        {"++++[>+++[>++<-]>[-]<<-]", false, 0},
        {"<<+++++[>>+++[>+++++<-]>[-]<<<<+>-]", true, 0},
        {"+++++[>>+[<+>-]<[>+<-]>>+<<<-]", false, 0},
        // Loops entered again once their passes are known to repeat: counters stepping by -1
        // and by 1, changes of 1, -1, 3 and -2 elsewhere.
        {"+++[>>>>+++++[>+++[>++<-]>[-]<<<+++>>>>--<<<-]<<<<-]", false, 0},
        {"+++[>>>>+++++[>+++[>++<-]>[-]<<<+++>>>>--<<<-]<<<<-]", true, 0},
        {"+++[>>-----[>+++[>++<-]>[-]<<<+>>>>-<<<+]<<-]", false, 0},
        {"+++[>>-----[>+++[>++<-]>[-]<<<+>>>>-<<<+]<<-]", true, 0},
    };
    std::vector<TCase> rows(std::begin(cases), std::end(cases));
    // Straight runs whose moves, made once where the run ends, add up past the tape's end, with
    // multiply loops and clears on the way.
    for (const bool wide : {false, true}) {
        rows.push_back({"+++[" + Repeat('>', 20000) + "+" + Repeat('>', 20000) + "[-<+>]<<[-]" + Repeat('<', 39998) + "-]",
                        wide, 0});
        rows.push_back({"++[<<[->>>+<<<]" + Repeat('<', 32760) + "+[+>+<]<-" + Repeat('>', 32763) + "-]", wide, 0});
    }
    // Memo loops whose passes never repeat, tried more often than native code tries them
    // (cel::MemoTries) before it runs them as plain loops: entered 272 times, and 3 times in
    // 16 bits (65,535 passes each).
    rows.push_back({Repeat('+', 17) + "[>" + Repeat('+', 16) + "[>-[->+[->+<]<]<-]<-]", false, 0});
    rows.push_back({"+++[>-[->+[->+<]<]<-]", true, 0});
    // Walks whose pass is a memo loop but the moves, entered steady pass after pass (native code
    // runs them in a loop of its own, the next counter kept in a register where the pass changes
    // it): as they come, across cell 0, with a counter at 0 part way, a pass whose work cells
    // miss, a constant that is not the next counter, a counter stepping by 1.
    const std::string memoWalk = "[>[<+++>->>>>>+++[->+++++<]>[-]<<<<<<]<<]";
    for (const bool wide : {false, true}) {
        rows.push_back({">+>+>+>+>++<" + memoWalk, wide, 0});
        rows.push_back({"<<<<<<<<>+>+>+>+>++<" + memoWalk, wide, 0});
        rows.push_back({">+>+>+>+>++>>>>+<<<<<" + memoWalk, wide, 0});
        rows.push_back({">+>+>+>+>++<[>[>>+++<<->>>>>+++[->+++++<]>[-]<<<<<<]<<]", wide, 0});
    }
    rows.push_back({">+>+>+>+>" + Repeat('+', 85) + "<" + memoWalk, false, 0});
    rows.push_back({">+>+>+>+>--<[>[<+++>+>>>>>+++[->+++++<]>[-]<<<<<<]<<]", false, 0});
    // Changes of k and -k a pass, k from 2 to 9, in closed-form loops, walks and memo loops
    // entered steady (native code multiplies by some of them its own way).
    for (int k = 2; k <= 9; ++k) {
        for (const char* step : {"+", "-"}) {
            std::string change;
            for (int i = 0; i < k; ++i) change += step;
            for (const bool wide : {false, true}) {
                rows.push_back({"+++++[>" + change + "<-]", wide, 0});
                rows.push_back({"+>+++>++>+<<<[>[->" + change + "<]>]", wide, 0});
                rows.push_back({"+++[>>>>+++++[>+++[>++<-]>[-]<<<" + change + ">>>>--<<<-]<<<<-]", wide, 0});
            }
        }
    }
    // Scans of every length up to 40 by strides past 1 (the engine searches sixteen 8-bit cells
    // at a time for strides up to 16, native code hands it scans past 32 passes), in both
    // directions, here and across the tape's end.
    // Past 32 passes native code searches 64 8-bit cells at a time for strides up to 32, up to
    // 1,024 cells from the first pass: every length up to 120 by strides 1, 4, 9 and 31, and
    // 300 passes by 1, 4 and 9, within its reach or past it, either way across the tape's end.
    const auto grown = [](int stride, int longest) {
        const std::string right = Repeat('>', stride), left = Repeat('<', stride);
        return Repeat('+', longest) + "[" + right + right + "[" + right + "]+[" + left + "]" + left + "-]";
    };
    for (const int stride : {2, 3, 5, 8, 9, 16, 17}) {
        for (const bool wide : {false, true}) {
            rows.push_back({grown(stride, 40), wide, 0});
            rows.push_back({Repeat('<', 10 * stride) + grown(stride, 40), wide, 0});
        }
    }
    for (const int stride : {1, 4, 9, 31}) {
        rows.push_back({grown(stride, 120), false, 0});
        rows.push_back({Repeat('<', 60 * stride) + grown(stride, 120), false, 0});
    }
    for (const int stride : {1, 4, 9}) {
        const std::string right = Repeat('>', stride), left = Repeat('<', stride);
        std::string marks;
        for (int j = 0; j < 300; ++j) marks += "+" + right;
        const std::string back = Repeat('<', 300 * stride);
        rows.push_back({marks + back + "[" + right + "]", false, 0});
        rows.push_back({Repeat('<', 150 * stride) + marks + back + "[" + right + "]", false, 0});
        rows.push_back({marks + left + "[" + left + "]", false, 0});
        rows.push_back({Repeat('<', 150 * stride) + marks + left + "[" + left + "]", false, 0});
    }
    for (const TCase& c : rows) {
        SCOPED_TRACE(c.Text.substr(0, 60) + (c.Wide ? " (16-bit)" : " (8-bit)"));
        TRunSetup setup;
        setup.Text = c.Text;
        setup.Wide = c.Wide;
        setup.SingleStep = true;
        const TRunResult single = RunProgram(setup, 60000);
        ASSERT_TRUE(single.Finished);
        if (c.Executed != 0) {
            EXPECT_EQ(single.Executed, c.Executed);
        }
        setup.SingleStep = false;
        for (const celtest::TForm form : celtest::Forms) {
            SCOPED_TRACE(celtest::FormName(form));
            setup.Form = form;
            const TRunResult r = RunProgram(setup, 60000);
            ASSERT_TRUE(r.Finished);
            EXPECT_EQ(r.Executed, single.Executed);
            EXPECT_EQ(r.DataPtr, single.DataPtr);
            EXPECT_TRUE(r.Tape == single.Tape) << "tapes differ";
        }
    }
}

TEST(Execution, ClearLoopsCountTheirCommands) {
    struct TCase {
        std::string Text;
        bool Wide;
        uint64_t Executed;
    };
    const TCase cases[] = {
        {"+++++[-]", false, 5 + 11},
        {"+++++[-]", true, 5 + 11},
        {Repeat('+', 250) + "[+]", false, 250 + 13},
        {Repeat('+', 250) + "[+]", true, 250 + 1 + 2 * (65536 - 250)},
        {"[+]", false, 1},
        {"[-]", false, 1},
        {"[+]", true, 1},
        {"-[-]", false, 1 + 1 + 2 * 255},
        {"-[-]", true, 1 + 1 + 2 * 65535},
        {"-[+]", true, 1 + 3},
        {"+[-]+[+]", false, 1 + 3 + 1 + 1 + 2 * 255},
    };
    for (const TCase& c : cases) {
        for (bool single : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.Text.substr(c.Text.size() > 12 ? c.Text.size() - 12 : 0)
                                            << (c.Wide ? " 16-bit" : " 8-bit")
                                            << (single ? " single" : " fast"));
            const TRunResult r = RunText(c.Text, c.Wide, single);
            EXPECT_EQ(r.Executed, c.Executed);
            EXPECT_EQ(r.Tape[0], 0u);
        }
    }
}

TEST(Execution, OutputWindowLineRules) {
    struct TCase {
        std::string Bytes;
        std::string Window;  // lines joined by LF
        size_t Lines;
    };
    const TCase cases[] = {
        {"A\r\nB", "A\nB", 2},
        {"A\r\rB", "A\n\nB", 3},
        {"A\n\rB", "A\nB", 2},
        {"A\n\nB", "A\n\nB", 3},
        {"A\rB", "A\nB", 2},
        {std::string("A\0B", 3), "AB", 1},
        {std::string("\0", 1), "", 1},
        {"", "", 1},
        {"A\r\n", "A\n", 2},
        // The second of a pair is dropped, and forgotten: the next break counts again.
        {"A\n\r\nB", "A\n\nB", 3},
        {"A\r\n\r\nB", "A\n\nB", 3},
        // A NUL between CR and LF separates them.
        {std::string("A\r\0\nB", 5), "A\n\nB", 3},
        {"\xE4\xFF", "\xE4\xFF", 1},
    };
    for (const TCase& c : cases) {
        for (uint32_t buffer : {1u, 2u, 128u}) {
            SCOPED_TRACE(testing::Message() << testing::PrintToString(c.Bytes) << " buffer " << buffer);
            TRunSetup setup;
            setup.Text = Emitter(c.Bytes);
            setup.OutputBufferSize = buffer;
            const TRunResult r = RunProgram(setup, 60000);
            EXPECT_EQ(r.Output, c.Window);
            EXPECT_EQ(r.OutputLines, c.Lines);
            EXPECT_EQ(r.FileOutput, c.Bytes);
        }
    }
}

TEST(Execution, HiddenOutputWindowKeepsNothingButTheFileGetsEverything) {
    const std::string bytes("AB\r\nC\0D", 7);
    TRunSetup setup;
    setup.Text = Emitter(bytes);
    setup.OutputVisible = false;
    setup.CaptureFileOutput = false;
    TRunResult r = RunProgram(setup, 60000);
    EXPECT_TRUE(r.Finished);
    EXPECT_EQ(r.Error, 0);
    EXPECT_EQ(r.Output, "");
    EXPECT_EQ(r.OutputLines, 1u);
    setup.CaptureFileOutput = true;
    r = RunProgram(setup, 60000);
    EXPECT_EQ(r.Output, "");
    EXPECT_EQ(r.FileOutput, bytes);

    // Hidden in the middle of a run: what is written meanwhile is lost for the window, and a
    // CR written before it no longer pairs with a LF written after it.
    celtest::TRecordingHost host;
    const std::string out = celtest::TempPath("hidden.out");
    host.Options.Text = Emitter("A\r") + "," + Emitter("x") + "," + Emitter("\nB");
    host.Options.CommentMarkers = false;
    host.Options.OutputFileName = out;
    host.StartRun(false, false);
    ASSERT_TRUE(WaitForInputRequest(host, 1));
    host.Gui([&] { host.Interpreter.SetOutputVisible(false); });
    celtest::DeliverLine(host, "1", false);
    ASSERT_TRUE(WaitForInputRequest(host, 2));
    host.Gui([&] { host.Interpreter.SetOutputVisible(true); });
    celtest::DeliverLine(host, "2", false);
    ASSERT_TRUE(host.WaitFinished());
    EXPECT_EQ(host.OutputText(), "A\n\nB");
    EXPECT_EQ(celtest::ReadFileBytes(out), "A\rx\nB");
    std::remove(out.c_str());
}

TEST(Execution, InputFileThenTypedInput) {
    const std::string in = celtest::TempPath("xyz.in");
    ASSERT_TRUE(celtest::WriteFileBytes(in, "xyz"));
    TRunSetup setup;
    setup.InputFileName = in;
    setup.Input = "Q";
    setup.Text = ",>,>,";
    TRunResult r = RunProgram(setup, 60000);
    EXPECT_EQ(r.Error, 0);
    EXPECT_EQ(std::count(r.Events.begin(), r.Events.end(), "RequestInput"), 0);
    EXPECT_EQ(r.Tape[2], static_cast<uint32_t>('z'));

    // The fourth input command finds the file used up and asks for typed input.
    setup.Text = ",>,>,>,";
    r = RunProgram(setup, 60000);
    EXPECT_EQ(std::count(r.Events.begin(), r.Events.end(), "RequestInput"), 1);
    EXPECT_EQ(r.Tape[0], static_cast<uint32_t>('x'));
    EXPECT_EQ(r.Tape[1], static_cast<uint32_t>('y'));
    EXPECT_EQ(r.Tape[2], static_cast<uint32_t>('z'));
    EXPECT_EQ(r.Tape[3], static_cast<uint32_t>('Q'));
    EXPECT_EQ(r.Executed, 7u);
    std::remove(in.c_str());

    // A typed line serves its bytes to the following input commands; with no input left the
    // cell keeps its value.
    setup = TRunSetup();
    setup.Text = ",.,.,.,.";
    setup.Input = "hi\n";
    r = RunProgram(setup, 60000);
    EXPECT_EQ(r.FileOutput, "hi\n\n");
    EXPECT_EQ(std::count(r.Events.begin(), r.Events.end(), "RequestInput"), 2);
}

// An output file that keeps the size of every block written to it.
class TBlockFile final : public cel::TByteFile {
public:
    TBlockFile(std::string& bytes, std::vector<size_t>& blocks) : Bytes(bytes), Blocks(blocks) {}
    long Read(uint8_t*, size_t) override { return -1; }
    bool Write(const uint8_t* data, size_t size) override {
        Blocks.push_back(size);
        Bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool Close() override { return true; }

private:
    std::string& Bytes;
    std::vector<size_t>& Blocks;
};

class TBlockFileHost final : public celtest::TRecordingHost {
public:
    std::string Bytes;
    std::vector<size_t> Blocks;
    std::unique_ptr<cel::TByteFile> CreateOutputFile(const std::string&) override {
        return std::make_unique<TBlockFile>(Bytes, Blocks);
    }
};

TEST(Execution, OutputFileIsWrittenInBlocksAndATypedLineEchoIsFlushedFirst) {
    // 70000 bytes of output: one full block, then the rest at the end of the run.
    {
        TBlockFileHost host;
        host.Options.Text = "+++++++[>++++++++++[>++++++++++[>++++++++++[>++++++++++[>+++.<-]<-]<-]<-]<-]";
        host.Options.CommentMarkers = false;
        host.Options.OutputVisible = false;
        host.Options.OutputFileName = "blocks.out";
        host.StartRun(false, false);
        ASSERT_TRUE(host.WaitFinished());
        EXPECT_EQ(host.Blocks, (std::vector<size_t>{65536, 70000 - 65536}));
        ASSERT_EQ(host.Bytes.size(), 70000u);
        EXPECT_EQ(static_cast<uint8_t>(host.Bytes[69999]), (3 * 70000) & 0xFF);
    }
    // A typed line of 65536 bytes fills the file buffer to the brim; the output after it must
    // first write the buffer out.
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        TBlockFileHost host;
        host.Options.Text = Repeat('+', 65) + ".," + ">" + Repeat('+', 66) + "..";
        host.Options.CommentMarkers = false;
        host.Options.OutputFileName = "echo.out";
        host.StartRun(wide, false);
        ASSERT_TRUE(WaitForInputRequest(host, 1));
        EXPECT_TRUE(host.RunFlags.WaitingForInput.load());
        std::string line;
        for (uint32_t i = 0; i < cel::IOBlockSize; ++i) line.push_back(static_cast<char>('a' + i % 26));
        line[line.size() - 2] = '\r';
        line[line.size() - 1] = '\n';
        celtest::DeliverLine(host, line, true);
        ASSERT_TRUE(host.WaitFinished());
        EXPECT_EQ(host.Interpreter.GetCell(0), static_cast<uint32_t>('a'));
        EXPECT_EQ(host.CountEvents("Error 104"), 0);
        // The pending "A" before the echo, the echoed line as one block, then "BB" at the end.
        EXPECT_EQ(host.Blocks, (std::vector<size_t>{1, cel::IOBlockSize, 2}));
        ASSERT_EQ(host.Bytes.size(), 1 + line.size() + 2);
        EXPECT_TRUE(host.Bytes == "A" + line + "BB") << "the file does not hold A, the echoed line, BB";
        EXPECT_EQ(host.OutputText(), "ABB");
    }
    // The same with a real file.
    celtest::TRecordingHost host;
    const std::string out = celtest::TempPath("echo.out");
    host.Options.Text = ",>.";
    host.Options.CommentMarkers = false;
    host.Options.OutputFileName = out;
    host.StartRun(false, false);
    ASSERT_TRUE(WaitForInputRequest(host, 1));
    celtest::DeliverLine(host, std::string(cel::IOBlockSize, 'z'), true);
    ASSERT_TRUE(host.WaitFinished());
    const std::string file = celtest::ReadFileBytes(out);
    EXPECT_TRUE(file == std::string(cel::IOBlockSize, 'z') + std::string(1, '\0')) << file.size() << " bytes";
    std::remove(out.c_str());
}

TEST(Execution, FileErrorsEndTheRunBeforeTheFirstCommand) {
    TRunSetup setup;
    setup.Text = "+.,";
    setup.InputFileName = celtest::TempPath("missing.in");
    TRunResult r = RunProgram(setup, 60000);
    EXPECT_EQ(r.Error, 103);
    EXPECT_EQ(r.Executed, 0u);
    EXPECT_EQ(r.FileOutput, "");
    ASSERT_FALSE(r.Events.empty());
    EXPECT_EQ(r.Events.back(), "Ready");
    auto at = [&](const std::string& e) { return std::find(r.Events.begin(), r.Events.end(), e) - r.Events.begin(); };
    EXPECT_LT(at("EndAnalysis"), at("Error 103"));
    EXPECT_EQ(std::count(r.Events.begin(), r.Events.end(), "Error 103"), 1);

    celtest::TRecordingHost host;
    const std::string nowhere = celtest::TempPath("no-such-dir") + "/out.bin";
    host.Options.Text = "+.";
    host.Options.OutputFileName = nowhere;
    host.StartRun(false, false);
    ASSERT_TRUE(host.WaitFinished());
    EXPECT_EQ(host.CountEvents("Error 104"), 1);
    EXPECT_EQ(host.Interpreter.GetExecuted(), 0u);
    EXPECT_EQ(host.OutputText(), "");
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// Program files that fail on demand: reads fail once the given bytes are served, writes
// always fail.
class TFailingFile final : public cel::TByteFile {
public:
    explicit TFailingFile(std::string data) : Data(std::move(data)) {}
    long Read(uint8_t* buffer, size_t size) override {
        if (Served) return -1;
        Served = true;
        const size_t n = std::min(size, Data.size());
        std::copy(Data.begin(), Data.begin() + static_cast<long>(n), buffer);
        return static_cast<long>(n);
    }
    bool Write(const uint8_t*, size_t) override { return false; }
    bool Close() override { return true; }

private:
    std::string Data;
    bool Served = false;
};

class TFailingFileHost final : public celtest::TRecordingHost {
public:
    std::unique_ptr<cel::TByteFile> OpenInputFile(const std::string&) override {
        return std::make_unique<TFailingFile>("x");
    }
    std::unique_ptr<cel::TByteFile> CreateOutputFile(const std::string&) override {
        return std::make_unique<TFailingFile>("");
    }
};

TEST(Execution, FailingInputFileReadEndsTheRunAtTheNextStep) {
    // The input file is read again at the step after its last byte was taken, before that
    // step's command runs; a failing read gives error 103 there, whether or not another input
    // command follows, in every loop alike. A budget spent by the input command ends the run
    // first (in the calling thread), and a program that ends there reads nothing.
    for (const char* mode : {"native code", "fast form", "plain folded", "single steps"}) {
        for (const char* text : {",.,.+.", ",.", ","}) {
            for (const bool budget : {false, true}) {
                SCOPED_TRACE(testing::Message() << text << " " << mode << (budget ? " budget 1" : ""));
                TFailingFileHost host;
                host.Options.Text = text;
                host.Options.CommentMarkers = false;
                celtest::UseForm(host.Options, mode[0] == 'n' ? celtest::TForm::Native : mode[0] == 'p' ? celtest::TForm::Plain : celtest::TForm::Fast);
                host.Options.Watch = mode[0] == 's';
                host.Options.InputFileName = "in";
                if (budget) {
                    host.RunHere(false, 1);
                } else {
                    host.StartRun(false, false);
                    ASSERT_TRUE(host.WaitFinished());
                }
                const bool read = !budget && text[1] != '\0';
                EXPECT_EQ(host.CountEvents("Error 103"), read ? 1 : 0);
                EXPECT_EQ(host.Interpreter.Engine().BudgetSpent(), budget && text[1] != '\0');
                EXPECT_EQ(host.OutputText(), "") << "the output after the input command ran";
                EXPECT_EQ(host.Interpreter.GetExecuted(), 1u);
                EXPECT_EQ(host.Interpreter.GetCell(0), static_cast<uint32_t>('x'));
                EXPECT_EQ(host.CountEvents("RequestInput"), 0);
            }
        }
    }
}

TEST(Execution, FailingOutputFileWrites) {
    for (bool single : {false, true}) {
        SCOPED_TRACE(single ? "single-command mode" : "fast mode");
        // A failing block write ends the run at the output that filled the buffer.
        {
            TFailingFileHost host;
            host.Options.Text =
                "+++++++[>++++++++++[>++++++++++[>++++++++++[>++++++++++[>+++.<-]<-]<-]<-]<-]";
            host.Options.CommentMarkers = false;
            host.Options.OutputVisible = false;
            host.Options.Watch = single;
            host.Options.OutputFileName = "out";
            host.StartRun(false, false);
            ASSERT_TRUE(host.WaitFinished());
            EXPECT_EQ(host.CountEvents("Error 104"), 1);
            // Stopped at the 65536th output, not before it and not at the end (676663 commands).
            EXPECT_GT(host.Interpreter.GetExecuted(), 4u * 65536u);
            EXPECT_LT(host.Interpreter.GetExecuted(), 676663u);
            EXPECT_EQ(host.Interpreter.GetDataPtr(), 5u);
            EXPECT_EQ(host.Interpreter.GetCell(5), (3u * 65536u) & 0xFF);
        }
        // The last flush at the end of the run fails: shown once, the run has ended normally.
        {
            TFailingFileHost host;
            host.Options.Text = "+.+.";
            host.Options.CommentMarkers = false;
            host.Options.Watch = single;
            host.Options.OutputFileName = "out";
            host.StartRun(false, false);
            ASSERT_TRUE(host.WaitFinished());
            EXPECT_EQ(host.CountEvents("Error 104"), 1);
            EXPECT_EQ(host.Interpreter.GetExecuted(), 4u);
            EXPECT_EQ(host.OutputText(), "\x01\x02");
        }
    }
}

TEST(Execution, Procedures) {
    struct TCase {
        std::string Text;
        std::string Output;
        uint64_t Executed;
        int Error;
    };
    const TCase cases[] = {
        // Defined for 0, called twice; each call continues after its colon.
        {"(" + Repeat('+', 65) + ".[-])::" + Repeat('+', 66) + ".", "AAB", 466, 0},
        // A second definition for the same value replaces the first.
        {"(" + Repeat('+', 65) + ".[-])(" + Repeat('+', 66) + ".[-]):", "B", 204, 0},
        // Procedures are told apart by the cell value at definition and call.
        {"+(>" + Repeat('+', 49) + ".[-]<)-(>" + Repeat('+', 48) + ".[-]<):+:-:", "010", 459, 0},
        // No procedure for 65: error 109 at the colon, after the output before it.
        {Repeat('+', 65) + ".:+.", "A", 66, 109},
    };
    for (const TCase& c : cases) {
        for (bool single : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.Text << (single ? " single" : " fast"));
            const TRunResult r = RunPBrain(c.Text, single);
            EXPECT_EQ(r.FileOutput, c.Output);
            EXPECT_EQ(r.Executed, c.Executed);
            EXPECT_EQ(r.Error, c.Error);
            EXPECT_EQ(std::count(r.Events.begin(), r.Events.end(), "Error 109"), c.Error == 109 ? 1 : 0);
        }
    }
    // Without procedural mode the same characters are no commands.
    EXPECT_EQ(RunText("(" + Repeat('+', 65) + ".[-]):").FileOutput, "A");
}

TEST(Execution, IllegalCallPausesAtTheColonAndRunsItAgain) {
    celtest::TRecordingHost host;
    const std::string out = celtest::TempPath("call.out");
    // The procedure is defined for 0; the call comes on 1.
    host.Options.Text = "(" + Repeat('+', 65) + "." + Repeat('-', 65) + ")+:>" + Repeat('+', 66) + ".";
    host.Options.CommentMarkers = false;
    host.Options.ProcMode = true;
    host.Options.OutputFileName = out;
    host.StartRun(false, false);
    ASSERT_TRUE(WaitForPause(host, 1));
    EXPECT_EQ(host.CountEvents("Error 109"), 1);
    EXPECT_EQ(host.SelStart, 134u);  // the colon
    EXPECT_EQ(host.Interpreter.GetExecuted(), 2u);
    EXPECT_TRUE(host.RunFlags.Paused.load());

    // Continued unchanged, the same call fails again.
    host.Gui([&] {
        host.Interpreter.Continue();
    });
    ASSERT_TRUE(WaitForPause(host, 2));
    EXPECT_EQ(host.CountEvents("Error 109"), 2);
    EXPECT_EQ(host.SelStart, 134u);
    EXPECT_EQ(host.Interpreter.GetExecuted(), 2u);

    // With the cell changed to a value that has a procedure, the call goes through.
    host.Gui([&] {
        host.Interpreter.SetCell(static_cast<uint16_t>(host.Interpreter.GetDataPtr()), 0);
        host.Interpreter.Continue();
    });
    ASSERT_TRUE(host.WaitFinished());
    EXPECT_EQ(host.CountEvents("Error 109"), 2);
    EXPECT_EQ(host.Interpreter.GetExecuted(), 203u);
    EXPECT_EQ(celtest::ReadFileBytes(out), "AB");
    EXPECT_EQ(host.OutputText(), "AB");
    std::remove(out.c_str());
}

TEST(Execution, MemoryLineFormat) {
    using cel::FormatMemoryLine;
    EXPECT_EQ(FormatMemoryLine(false, 5, 65), " 0005    41    065  A ");
    EXPECT_EQ(FormatMemoryLine(true, 5, 321), " 0005  0141  00321  A ");
    EXPECT_EQ(FormatMemoryLine(true, 5, 65), " 0005  0041  00065  A ");
    EXPECT_EQ(FormatMemoryLine(false, 5, 10), " 0005    0A    010    ");
    EXPECT_EQ(FormatMemoryLine(false, 0, 0), " 0000    00    000    ");
    EXPECT_EQ(FormatMemoryLine(false, 12, 32), " 000C    20    032    ");
    EXPECT_EQ(FormatMemoryLine(false, 0x7FFF, 255), " 7FFF    FF    255  \xFF ");
    EXPECT_EQ(FormatMemoryLine(true, 0x7FFF, 65535), " 7FFF  FFFF  65535  \xFF ");
    EXPECT_EQ(FormatMemoryLine(true, 5, 266), " 0005  010A  00266    ");  // low byte 10
    // Every value of both widths at a few indices, against the printf form of the row.
    for (uint32_t index : {0u, 0x1234u, 0x7FFFu})
        for (uint32_t value = 0; value < 0x10000; ++value) {
            const unsigned char code = static_cast<unsigned char>(value & 0xFF);
            const char ch = code < 32 ? ' ' : static_cast<char>(code);
            char expected[48];
            std::snprintf(expected, sizeof expected, " %.4X  %.4X  %.5u  %c ", index, value, value, ch);
            ASSERT_EQ(FormatMemoryLine(true, index, value), expected) << value;
            if (value > 0xFF) continue;
            std::snprintf(expected, sizeof expected, " %.4X    %.2X    %.3u  %c ", index, value, value, ch);
            ASSERT_EQ(FormatMemoryLine(false, index, value), expected) << value;
        }
}

TEST(Execution, MemoryImageOnlyWhilePausedOrWatching) {
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "16-bit" : "8-bit");
        celtest::TRecordingHost host;
        host.Options.Text = "+++>++";
        host.Options.CommentMarkers = false;
        host.StartRun(wide, true);  // Trace: pauses before the first command
        ASSERT_TRUE(WaitForPause(host, 1));
        host.Gui([&] {
            ASSERT_EQ(host.MemoryLines.size(), static_cast<size_t>(host.View.RowCount - 1));
            EXPECT_TRUE(host.MemoryLines[0].Current);
            EXPECT_FALSE(host.MemoryLines[1].Current);
            EXPECT_EQ(host.MemoryLines[0].Text, cel::FormatMemoryLine(wide, 0, 0));
            host.Interpreter.SetCell(5, 321);
            host.Interpreter.PaintMemory();
            EXPECT_EQ(host.MemoryLines[5].Text,
                      wide ? " 0005  0141  00321  A " : " 0005    41    065  A ");
        });
        for (int step = 1; step <= 4; ++step) {
            host.Gui([&] { host.Interpreter.Resume(); });
            ASSERT_TRUE(WaitForPause(host, step + 1));
        }
        host.Gui([&] {
            ASSERT_EQ(host.MemoryLines.size(), 10u);
            EXPECT_EQ(host.MemoryLines[0].Text, cel::FormatMemoryLine(wide, 0, 3));
            EXPECT_FALSE(host.MemoryLines[0].Current);
            EXPECT_TRUE(host.MemoryLines[1].Current);
            host.Interpreter.Continue();
        });
        ASSERT_TRUE(host.WaitFinished());
        EXPECT_EQ(host.Interpreter.GetCell(1), 2u);
    }

    // Running fast, the image is empty.
    {
        celtest::TRecordingHost host;
        host.Options.Text = "+++,";
        host.Options.CommentMarkers = false;
        host.MemoryWindowVisible = true;
        host.StartRun(false, false);
        ASSERT_TRUE(WaitForInputRequest(host, 1));
        host.Gui([&] {
            host.MemoryLines.assign(3, cel::TMemoryLine{"stale", false});
            host.Interpreter.PaintMemory();
            EXPECT_TRUE(host.MemoryLines.empty());
            host.Interpreter.Terminate();
            host.Interpreter.Resume();
        });
        ASSERT_TRUE(host.WaitFinished());
    }

    // Watching with the memory window open, the image follows the data pointer: moving right
    // the current cell ends on the last line, moving left on the first.
    struct TWatch {
        std::string Text;
        int FirstCell;
        bool OnFirstLine;
    };
    for (const TWatch& w : {TWatch{Repeat('>', 15), 5, false}, TWatch{Repeat('>', 20) + Repeat('<', 15), 6, true}}) {
        SCOPED_TRACE(w.Text);
        celtest::TRecordingHost host;
        host.Options.Text = w.Text;
        host.Options.CommentMarkers = false;
        host.Options.Watch = true;
        host.MemoryWindowVisible = true;
        host.StartRun(false, false);
        ASSERT_TRUE(host.WaitFinished());
        // The last image is the one painted before the last command.
        EXPECT_EQ(host.View.FirstCell, w.FirstCell);
        ASSERT_EQ(host.MemoryLines.size(), 10u);
        const cel::TMemoryLine& current = w.OnFirstLine ? host.MemoryLines.front() : host.MemoryLines.back();
        EXPECT_TRUE(current.Current);
        const uint32_t cell = w.OnFirstLine ? w.FirstCell : w.FirstCell + 9;
        EXPECT_EQ(current.Text, cel::FormatMemoryLine(false, cell, 0));
    }
    // Watching with the memory window closed paints nothing.
    celtest::TRecordingHost host;
    host.Options.Text = "+>+";
    host.Options.CommentMarkers = false;
    host.Options.Watch = true;
    host.MemoryWindowVisible = false;
    host.StartRun(false, false);
    ASSERT_TRUE(host.WaitFinished());
    EXPECT_TRUE(host.MemoryLines.empty());
}

// Records every change of an output line as the engine makes it.
class TLineWritesHost final : public celtest::TRecordingHost {
public:
    std::vector<std::string> Writes;
    bool SetOutputLineText(uint32_t index, const std::string& text) override {
        Writes.push_back(std::to_string(index) + ":" + text);
        return celtest::TRecordingHost::SetOutputLineText(index, text);
    }
};

TEST(Execution, DisplayBufferIsHandedOverInChunksOfTheBufferSize) {
    std::string alphabet;  // "ABCDEFGHIJ"
    for (char c = 'A'; c <= 'J'; ++c) alphabet.push_back(c);
    const std::string tenLetters = Repeat('+', 65) + ".+.+.+.+.+.+.+.+.+.";
    struct TCase {
        std::string Text;
        uint32_t Buffer;
        std::vector<size_t> Lengths;  // line 0's length after each hand-over
    };
    const TCase cases[] = {
        {tenLetters, 4, {4, 8, 10}},
        {tenLetters, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {tenLetters, 10, {10}},
        {tenLetters, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},  // taken as 1
        {tenLetters, 128, {10}},                              // only at the end
        {Repeat('+', 65) + Repeat('.', 600), 255, {255, 510, 600}},
        {Repeat('+', 65) + Repeat('.', 600), 1000, {255, 510, 600}},  // at most 255
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "buffer " << c.Buffer << ", " << c.Text.size() << " commands");
        TLineWritesHost host;
        host.Options.Text = c.Text;
        host.Options.CommentMarkers = false;
        host.Options.OutputBufferSize = c.Buffer;
        host.StartRun(false, false);
        ASSERT_TRUE(host.WaitFinished());
        std::vector<size_t> lengths;
        for (const std::string& w : host.Writes) {
            ASSERT_EQ(w.rfind("0:", 0), 0u) << w;
            lengths.push_back(w.size() - 2);
        }
        EXPECT_EQ(lengths, c.Lengths);
        ASSERT_EQ(host.Lines.size(), 1u);
        if (c.Text == tenLetters) {
            EXPECT_EQ(host.Lines[0], alphabet);
        }
    }

    // An input request hands over what is buffered first.
    TLineWritesHost host;
    host.Options.Text = Repeat('+', 65) + ".+.,";
    host.Options.CommentMarkers = false;
    std::string shownAtRequest;
    host.OnRequestInput = [&] {
        shownAtRequest = host.OutputText();
        host.Interpreter.DeliverEnd();
    };
    host.StartRun(false, false);
    ASSERT_TRUE(host.WaitFinished());
    EXPECT_EQ(shownAtRequest, "AB");
}

}  // namespace
