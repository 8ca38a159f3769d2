// cellwright-run seen from outside: its options, streams, exit codes and source reading.

#include "cel_NativeCode.h"
#include "cel_Version.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>

extern char** environ;

namespace {

struct TRunnerResult {
    int Status = -1;  // exit status; 128 + signal when killed, -1 when it could not start
    std::string Out;
    std::string Err;
};

// Temporary files of one test, removed at its end.
class TTempFiles {
public:
    ~TTempFiles() {
        for (const std::string& p : Paths) std::filesystem::remove_all(p);
    }
    std::string Name(const std::string& stem) {
        Paths.push_back(celtest::TempPath(stem));
        return Paths.back();
    }
    std::string File(const std::string& stem, const std::string& bytes) {
        std::string path = Name(stem);
        EXPECT_TRUE(celtest::WriteFileBytes(path, bytes));
        return path;
    }

private:
    std::vector<std::string> Paths;
};

// Where a run's streams go besides the defaults of RunRunner.
struct TStreams {
    bool OneStream = false;   // standard error is standard output's file (as in a terminal)
    std::string StdoutPath;   // an existing file to write standard output to (Out stays empty)
    bool NoDisplay = false;   // DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM unset
};

// Runs the executable with these arguments, stdin read from a file holding stdinBytes. With
// OneStream, Out holds both streams.
TRunnerResult RunExecutable(std::string runner, const std::vector<std::string>& args, const std::string& stdinBytes,
                            const TStreams& streams) {
    TTempFiles temp;
    const std::string inPath = temp.File("stdin", stdinBytes);
    const std::string outPath = temp.Name("stdout");
    const std::string errPath = temp.Name("stderr");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    if (streams.StdoutPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    else
        posix_spawn_file_actions_addopen(&actions, 1, streams.StdoutPath.c_str(), O_WRONLY, 0);
    if (streams.OneStream) posix_spawn_file_actions_adddup2(&actions, 1, 2);
    else posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> owned = args;
    std::vector<char*> argv;
    argv.push_back(runner.data());
    for (std::string& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        if (streams.NoDisplay && (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
                                  entry.rfind("QT_QPA_PLATFORM=", 0) == 0))
            continue;
        env.push_back(*e);
    }
    env.push_back(nullptr);

    TRunnerResult result;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, runner.c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << runner;
        return result;
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "cellwright-run did not end in time";
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) result.Status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.Status = 128 + WTERMSIG(status);
    if (streams.StdoutPath.empty()) result.Out = celtest::ReadFileBytes(outPath);
    result.Err = celtest::ReadFileBytes(errPath);
    return result;
}

TRunnerResult RunRunner(const std::vector<std::string>& args, const std::string& stdinBytes = {},
                        bool oneStream = false) {
    TStreams streams;
    streams.OneStream = oneStream;
    return RunExecutable(CELLWRIGHT_RUNNER, args, stdinBytes, streams);
}

using celtest::Emitter;

std::string Plus(size_t n) { return std::string(n, '+'); }

// Prints '0' with 8-bit cells and '1' with 16-bit cells: cell 1 gets 256.
const char* const WidthProbe =
    "++++++++[>++++++++++++++++++++++++++++++++<-]>[>+<[-]]>"
    "++++++++++++++++++++++++++++++++++++++++++++++++.";

TEST(Runner, DefaultsAndSwitches) {
    TTempFiles temp;
    const std::string width = temp.File("width.b", WidthProbe);
    // Comment markers: the first line is a comment while they are on.
    const std::string markers = temp.File("markers.b", "#+++.\n" + Plus(65) + ".");
    // pbrain: with it off the parentheses and colons are plain text and the body runs at once;
    // with it on the body is skipped and runs at the call.
    std::string procText = "(";
    procText += Plus(65);
    procText += ").:.";
    const std::string proc = temp.File("proc.b", procText);

    struct TCase {
        std::vector<std::string> Args;
        std::string Out;
    };
    const TCase cases[] = {
        {{width}, "0"},
        {{"--cells", "8", width}, "0"},
        {{"--cells", "16", width}, "1"},
        {{markers}, "A"},
        {{"--no-comment-markers", markers}, "\x03" "D"},
        {{proc}, "AA"},
        {{"--pbrain", proc}, std::string("\0A", 2)},
        {{"--pbrain", "--cells", "16", proc}, std::string("\0A", 2)},
    };
    for (const TCase& c : cases) {
        std::string shown;
        for (const std::string& a : c.Args) {
            shown += a;
            shown += ' ';
        }
        SCOPED_TRACE(shown);
        const TRunnerResult r = RunRunner(c.Args);
        EXPECT_EQ(r.Status, 0);
        EXPECT_EQ(r.Out, c.Out);
        EXPECT_EQ(r.Err, "");
    }
    // PROGRAM "-" is read from standard input, as a file is read; its reads then find the end.
    TRunnerResult r = RunRunner({"-"}, "#+++.\r" + Plus(65) + ".,.");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "AA");
    r = RunRunner({"--strip", "-"}, "#+\r+ + .");
    EXPECT_EQ(r.Out, "++.");
    EXPECT_EQ(r.Err, "3 commands\n");
}

// True when err is exactly "executed: N\nseconds: S\nnative code: NATIVE\n" with S a decimal
// number and NATIVE "none" or "from command F", F at least from (none: from is UINT64_MAX) and
// at most N.
bool StatsLines(const std::string& err, uint64_t executed, uint64_t from = UINT64_MAX) {
    std::string head = "executed: ";
    head += std::to_string(executed);
    head += "\nseconds: ";
    const size_t native = err.find("\nnative code: ");
    if (err.rfind(head, 0) != 0 || native == std::string::npos || err.back() != '\n') return false;
    const std::string seconds = err.substr(head.size(), native - head.size());
    const size_t dot = seconds.find('.');
    if (dot == 0 || dot == std::string::npos || dot + 1 == seconds.size()) return false;
    for (size_t i = 0; i < seconds.size(); ++i)
        if (i != dot && !std::isdigit(static_cast<unsigned char>(seconds[i]))) return false;
    const std::string rest = err.substr(native + 14, err.size() - native - 15);
    if (from == UINT64_MAX) return rest == "none";
    const std::string lead = "from command ";
    if (rest.rfind(lead, 0) != 0 || rest.size() == lead.size() ||
        rest.find_first_not_of("0123456789", lead.size()) != std::string::npos)
        return false;
    const uint64_t f = std::stoull(rest.substr(lead.size()));
    return f >= from && f <= executed;
}

TEST(Runner, StatsReportCommandsCountedOneByOne) {
    TTempFiles temp;
    // '-' then a clear loop over the largest value: 1 + 1 + 2 * (M - 1) commands, too few for
    // native code.
    const std::string prog = temp.File("clear.b", "-[-]");
    TRunnerResult r = RunRunner({"--stats", prog});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(StatsLines(r.Err, 512)) << r.Err;
    r = RunRunner({"--stats", "--cells", "16", prog});
    EXPECT_TRUE(StatsLines(r.Err, 131072)) << r.Err;
    r = RunRunner({"--stats", "--single-step", "--cells", "16", prog});
    EXPECT_TRUE(StatsLines(r.Err, 131072)) << r.Err;
    // Native code for a run of billions of commands, made once the run has passed 2^20 of them
    // (where the build makes any); none on the fast form.
    const std::string copies = temp.File("copies.b", "-[>-[>+>+<<-]>[<+>-]<<-]");
    r = RunRunner({"--stats", "--cells", "16", copies});
    EXPECT_TRUE(StatsLines(r.Err, 27917451257, cel::NativeCodeBuilt() ? uint64_t{1} << 20 : UINT64_MAX)) << r.Err;
    r = RunRunner({"--stats", "--cells", "16", "--engine", "fast", copies});
    EXPECT_TRUE(StatsLines(r.Err, 27917451257)) << r.Err;
    // Without --stats nothing goes to standard error.
    r = RunRunner({prog});
    EXPECT_EQ(r.Err, "");
}

TEST(Runner, ProfileByLineAndHottestLoops) {
    TTempFiles temp;
    // Line 1: 3 commands; line 2: a loop of 1 + 3 * 5 commands; line 4: 1.
    const std::string prog = temp.File("loop.b", "+++\n[>+<-]\n\n>");
    const TRunnerResult r = RunRunner({"--profile", prog});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err,
              "profile: 20 commands\nline count share\n1 3 15.00%\n2 16 80.00%\n4 1 5.00%\n"
              "hottest loops:\n2:1 16 80.00%\n");
}

TEST(Runner, InputFileThenStandardInputThenEndOfInput) {
    TTempFiles temp;
    const std::string five = temp.File("five.b", ",.,.,.,.,.");
    const std::string ab = temp.File("ab.in", "ab");
    // The fifth read finds no input left and leaves the cell holding 'd'.
    TRunnerResult r = RunRunner({"--input-file", ab, five}, "cd");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "abcdd");
    r = RunRunner({five}, "xy");
    EXPECT_EQ(r.Out, "xyyyy");
    r = RunRunner({"--input-file", ab, five});
    EXPECT_EQ(r.Out, "abbbb");
    const std::string keep = temp.File("keep.b", "+++,.");
    r = RunRunner({keep});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "\x03");
    // An input file larger than one block of 65536 bytes, ended by a NUL that stops the loop.
    std::string big;
    for (int i = 0; i < 70000; ++i) big.push_back(static_cast<char>(1 + i % 255));
    const std::string bigIn = temp.File("big.in", big + std::string(1, '\0') + "tail");
    const std::string echo = temp.File("echo.b", ",[.,]");
    r = RunRunner({"--input-file", bigIn, echo});
    EXPECT_EQ(r.Status, 0);
    EXPECT_TRUE(r.Out == big) << "echoed " << r.Out.size() << " bytes";
    // Input bytes fill 16-bit cells zero-extended.
    // Input bytes replace a 16-bit cell's value, zero-extended: 'A' when the cell is then 200.
    std::string wideText = "-,";
    wideText.append(200, '-');
    wideText += "[[-]>+<]>";
    wideText += Plus(65);
    wideText += '.';
    r = RunRunner({"--cells", "16", temp.File("wide.b", wideText)}, "\xC8");
    EXPECT_EQ(r.Out, "A");
    // --eof: what the reads at the end of the input leave in the cell; the corpus's Endtest.b
    // names it, in either width.
    r = RunRunner({"--eof", "zero", five}, "xy");
    EXPECT_EQ(r.Out, std::string("xy\0\0\0", 5));
    r = RunRunner({"--eof", "max", "--input-file", ab, five});
    EXPECT_EQ(r.Out, "ab\xff\xff\xff");
    const std::string corpus = celtest::CorpusDir();
    if (corpus.empty()) return;
    const std::vector<std::vector<std::string>> named = {
        {"8", "unchanged", "Leave"}, {"16", "zero", "Zero"}, {"8", "max", "0xFF"}, {"16", "max", "EOF"}};
    for (const auto& row : named) {
        r = RunRunner({"--cells", row[0], "--eof", row[1], "--input-file", corpus + "/Endtest.in", corpus + "/Endtest.b"});
        EXPECT_EQ(r.Out, "<NL>\n" + row[2] + "\n") << row[0] << " " << row[1];
    }
}

TEST(Runner, OutputBytesUnchangedOnStdoutOrFile) {
    TTempFiles temp;
    const std::string bytes("A\0\r\n\n\r\xFF" "B\r", 9);
    const std::string emit = temp.File("emit.b", Emitter(bytes));
    TRunnerResult r = RunRunner({emit});
    EXPECT_EQ(r.Status, 0);
    EXPECT_TRUE(r.Out == bytes);

    // 70000 bytes, more than one output block: byte k is 3k mod 256.
    const std::string many = temp.File(
        "many.b", "+++++++[>++++++++++[>++++++++++[>++++++++++[>++++++++++[>+++.<-]<-]<-]<-]<-]");
    std::string expected;
    for (int k = 1; k <= 70000; ++k) expected.push_back(static_cast<char>((3 * k) & 0xFF));
    r = RunRunner({many});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.size(), expected.size());
    EXPECT_TRUE(r.Out == expected);

    const std::string out = temp.Name("many.out");
    r = RunRunner({"--output-file", out, many});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(celtest::ReadFileBytes(out) == expected);

    // An existing output file is replaced, not appended to.
    const std::string old = temp.File("old.out", "old contents that are longer");
    r = RunRunner({"--output-file", old, emit});
    EXPECT_TRUE(celtest::ReadFileBytes(old) == bytes);

    const std::string nowhere = temp.Name("no-such-dir") + "/out.bin";
    r = RunRunner({"--output-file", nowhere, emit});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Error 104: Could not write output file."), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// A program that prints a prompt and then reads: the prompt must be on standard output while
// the runner waits for the answer, not held back until more output follows.
TEST(Runner, PromptIsOutBeforeTheRunnerWaitsForInput) {
    TTempFiles temp;
    const std::string prog = temp.File("prompt.b", Emitter("Name?") + ",.");
    const std::string outPath = temp.Name("stdout");
    int toStdin[2];
    ASSERT_EQ(pipe(toStdin), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toStdin[0], 0);
    posix_spawn_file_actions_addclose(&actions, toStdin[1]);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string runner = CELLWRIGHT_RUNNER;
    std::string progArg = prog;
    char* argv[] = {runner.data(), progArg.data(), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, runner.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toStdin[0]);
    ASSERT_EQ(rc, 0);

    // The runner now blocks reading its standard input, which stays open and empty.
    std::string shown;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (shown != "Name?" && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        shown = celtest::ReadFileBytes(outPath);
    }
    EXPECT_EQ(shown, "Name?");
    EXPECT_EQ(write(toStdin[1], "Z", 1), 1);
    close(toStdin[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(celtest::ReadFileBytes(outPath), "Name?Z");
}

// Starts cellwright-run with standard input from /dev/null (or the descriptor in), its output
// and error streams on these descriptors, and SIGINT, SIGTERM and SIGPIPE at their defaults
// (and SIGINT and SIGTERM blocked with blockEnding); -1 when it cannot start.
pid_t StartRunner(const std::vector<std::string>& args, int out, int err, int in = -1, bool blockEnding = false) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0) posix_spawn_file_actions_adddup2(&actions, in, 0);
    else posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGPIPE}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t mask;
    sigemptyset(&mask);
    if (blockEnding)
        for (int signal : {SIGINT, SIGTERM}) sigaddset(&mask, signal);
    posix_spawnattr_setsigmask(&attributes, &mask);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::string runner = CELLWRIGHT_RUNNER;
    std::vector<std::string> owned = args;
    std::vector<char*> argv{runner.data()};
    for (std::string& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, runner.c_str(), &actions, &attributes, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// Reads the pipe until it holds at least `bytes` bytes or the deadline passes, or to its end
// when bytes is 0.
std::string ReadPipe(int fd, size_t bytes = 0, std::chrono::seconds wait = std::chrono::seconds(120)) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (bytes == 0 || got.size() < bytes) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char block[65536];
        const ssize_t n = read(fd, block, bytes == 0 ? sizeof block : std::min(sizeof block, bytes - got.size()));
        if (n <= 0) break;
        got.append(block, static_cast<size_t>(n));
    }
    return got;
}

// The output reaches a pipe while the program runs on, and a run ended by SIGTERM or SIGINT
// writes all it printed before the runner ends by that signal: while it computes, prints or
// waits for input, also where the runner inherited the signals blocked (SIGINT's rows).
TEST(Runner, OutputComesWhileTheRunGoesOnAndIsKeptWhenItIsStopped) {
    TTempFiles temp;
    const std::string line = "first line\n";
    enum class TKind { Silent, Printer, Waiting };
    const std::string programs[] = {
        temp.File("silent.b", Emitter(line) + "+[]"),  // then never ends
        temp.File("printer.b", "+[.]"),                // prints for ever
        temp.File("waiting.b", Emitter(line) + ","),   // then waits for input that never comes
    };
    for (const int signal : {SIGTERM, SIGINT}) {
        for (const TKind kind : {TKind::Silent, TKind::Printer, TKind::Waiting}) {
            const bool endless = kind == TKind::Printer;
            SCOPED_TRACE(std::string(strsignal(signal)) + ", program " + std::to_string(static_cast<int>(kind)));
            int out[2], err[2], in[2];
            ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
            ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
            ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);  // stays open and empty
            const pid_t pid = StartRunner({"--stats", programs[static_cast<int>(kind)]}, out[1], err[1], in[0],
                                          signal == SIGINT);
            close(out[1]);
            close(err[1]);
            close(in[0]);
            ASSERT_GT(pid, 0);
            std::string got = ReadPipe(out[0], endless ? 1 : line.size(), std::chrono::seconds(10));
            if (!endless) {
                EXPECT_EQ(got, line) << "the line must come while the program runs";
            }
            kill(pid, signal);
            got += ReadPipe(out[0]);
            const std::string stats = ReadPipe(err[0]);
            close(out[0]);
            close(err[0]);
            close(in[1]);
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
            ASSERT_EQ(stats.rfind("executed: ", 0), 0u) << stats;
            if (!endless) {
                EXPECT_EQ(got, line);
                continue;
            }
            // "+[" and then '.' and ']' for each byte, the last ']' perhaps not reached: every
            // byte the count says was printed has arrived.
            const uint64_t executed = std::stoull(stats.substr(10));
            EXPECT_EQ(got.size(), (executed - 1) / 2) << stats;
            EXPECT_EQ(got, std::string(got.size(), '\x01'));
        }
    }
}

#if defined(__SANITIZE_THREAD__)
#define CELTEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CELTEST_TSAN 1
#endif
#endif

// A run whose output nobody reads stays in its write after the first signal, which asks for an
// orderly end; the second ends the runner at once.
TEST(Runner, SecondSignalEndsARunStuckInAWrite) {
#ifdef CELTEST_TSAN
    GTEST_SKIP() << "ThreadSanitizer runs a signal's handler only once the write it came in has returned";
#endif
    TTempFiles temp;
    const std::string printer = temp.File("printer.b", "+[.]");
    // Native code is made after 2^20 commands: this one prints only after 33 million.
    const std::string late = temp.File("late.b", "-[>-[>-[-]<-]<-]+[.]");
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        int out[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t pid = StartRunner({printer}, out[1], devNull);
        close(out[1]);
        close(devNull);
        ASSERT_GT(pid, 0);
        // The program prints for ever and the runner writes at least every 100 ms: a pipe whose
        // fill stays the same for 300 ms has the runner blocked in a write.
        int held = 0, same = 0;
        for (int i = 0; i < 1000 && same < 30; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            int now = 0;
            ASSERT_EQ(ioctl(out[0], FIONREAD, &now), 0);
            same = now > 0 && now == held ? same + 1 : 0;
            held = now;
        }
        ASSERT_EQ(same, 30) << "the runner never blocked in a write";
        kill(pid, signal);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the first signal must not end a run stuck in a write";
        kill(pid, signal);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        pid_t done = 0;
        while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (done == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the second signal did not end the runner";
        }
        close(out[0]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
    }
}

// A failed write to standard output is one line that names it, and status 1; a closed pipe ends
// the runner by SIGPIPE without a word, as it ends any program.
TEST(Runner, FailedWritesToStandardOutputAreReported) {
    TTempFiles temp;
    const std::string hello = temp.File("hello.b", Emitter("Hello\n"));
    const std::string printer = temp.File("printer.b", "+[.]");
    // Native code is made after 2^20 commands: this one prints only after 33 million.
    const std::string late = temp.File("late.b", "-[>-[>-[-]<-]<-]+[.]");
    const std::string prompt = temp.File("prompt.b", Emitter("Name?") + ",.");
    const std::string text = temp.File("text", "Hi");
    const std::string message =
        std::string("cellwright-run: could not write to standard output: ") + std::strerror(ENOSPC) + "\n";
    const std::vector<std::vector<std::string>> cases = {
        {hello}, {printer}, {"--plain", printer}, {"--engine", "fast", printer},
        {"--engine", "jit", printer}, {"--engine", "jit", late}, {"--single-step", hello}, {prompt}, {"--generate", text},
        {"--strip", hello}, {"--dump-lists", hello}, {"--dump-fast", hello}, {"--help"}, {"--version"},
    };
    TStreams full;
    full.StdoutPath = "/dev/full";
    for (const auto& args : cases) {
        SCOPED_TRACE(args.front());
        const TRunnerResult r = RunExecutable(CELLWRIGHT_RUNNER, args, "x", full);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err, message);
    }
    for (const bool endless : {false, true}) {
        int out[2], err[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
        close(out[0]);
        const pid_t pid = StartRunner({endless ? printer : hello}, out[1], err[1]);
        close(out[1]);
        close(err[1]);
        ASSERT_GT(pid, 0);
        EXPECT_EQ(ReadPipe(err[0]), "");
        close(err[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << "status " << status;
    }
}

TEST(Runner, SingleStepGivesTheSameRunAsFastMode) {
    TTempFiles temp;
    // Hello world, then wrapping moves and cells, clear loops of both kinds, a procedure
    // defined and called twice, nested loops with folded runs, and input.
    std::string text =
        "++++++++[>++++[>++>+++>+++>+<<<<-]>+>+>->>+[<]<-]>>.>---.+++++++..+++.>>.<-.<.+++."
        "------.--------.>>+.>++.\r\n";
    text += "[-]<<<<<<<<<<<<<<<<<<<<-[+]++++++++++++.>>>>>>>>>>>>>>>>>>>>>>>>\r\n";
    text += "[-](+++++[>++++++++++<-]>+.<)::>>+++[>+++++[>+++<-]<-]>>.\r\n";
    text += ",.,.,.[-]-.[+]+.";
    const std::string prog = temp.File("mixed.pb", text);
    const TRunnerResult fast = RunRunner({"--pbrain", "--stats", prog}, "Zq");
    const TRunnerResult single = RunRunner({"--pbrain", "--stats", "--single-step", prog}, "Zq");
    EXPECT_EQ(fast.Status, 0);
    EXPECT_EQ(single.Status, 0);
    EXPECT_EQ(fast.Out, "Hello World!\n\f3f-Zqq\xFF\x01");
    EXPECT_TRUE(single.Out == fast.Out);
    const std::string fastCount = fast.Err.substr(0, fast.Err.find('\n'));
    const std::string singleCount = single.Err.substr(0, single.Err.find('\n'));
    EXPECT_EQ(fastCount, "executed: 1538") << fast.Err;
    EXPECT_EQ(singleCount, fastCount);
}

TEST(Runner, DumpListsFormat) {
    TTempFiles temp;
    const std::string prog = temp.File("dump.b", "+++[-]>.,");
    TRunnerResult r = RunRunner({"--dump-lists", prog}, "x");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out,
              "C 0 0 0 3\nC 1 1 0 3\nC 2 2 0 3\nC 3 3 5 7\nC 4 4 0 4\nC 5 5 3 8\nC 6 6 0 1\n"
              "C 7 7 0 5\nC 8 8 0 6\n"
              "F 0 0 3 23\nF 1 3 0 9\nF 2 6 0 1\nF 3 7 0 5\nF 4 8 0 6\n"
              "error: 0\n");

    // Partners in both lists; the folded one points at folded indices.
    const std::string loops = temp.File("loops.b", "[>>[-]<]");
    r = RunRunner({"--dump-lists", loops});
    EXPECT_EQ(r.Out,
              "C 0 0 7 7\nC 1 1 0 1\nC 2 2 0 1\nC 3 3 5 7\nC 4 4 0 4\nC 5 5 3 8\nC 6 6 0 2\n"
              "C 7 7 0 8\n"
              "F 0 0 4 7\nF 1 1 2 21\nF 2 3 0 9\nF 3 6 0 2\nF 4 7 0 8\n"
              "error: 0\n");

    // The operations no other case here shows: a run of <, [+] and a run of -.
    const std::string rest = temp.File("rest.b", "<<[+]--");
    r = RunRunner({"--dump-lists", rest});
    EXPECT_EQ(r.Out,
              "C 0 0 0 2\nC 1 1 0 2\nC 2 2 4 7\nC 3 3 0 3\nC 4 4 2 8\nC 5 5 0 4\nC 6 6 0 4\n"
              "F 0 0 2 22\nF 1 2 0 10\nF 2 5 2 24\n"
              "error: 0\n");

    const std::string proc = temp.File("proc.pb", "(:)");
    r = RunRunner({"--dump-lists", proc});
    EXPECT_EQ(r.Out, "error: 0\n");
    r = RunRunner({"--dump-lists", "--pbrain", proc});
    EXPECT_EQ(r.Out, "C 0 0 2 11\nC 1 1 0 13\nC 2 2 0 12\nF 0 0 2 11\nF 1 1 0 13\nF 2 2 0 12\nerror: 0\n");

    const std::string open = temp.File("open.b", "+[");
    r = RunRunner({"--dump-lists", open});
    EXPECT_EQ(r.Out.substr(r.Out.rfind("error: ")), "error: 101\n");
    EXPECT_EQ(r.Err, "");
    const std::string cross = temp.File("cross.pb", "[(])");
    r = RunRunner({"--dump-lists", "--pbrain", cross});
    EXPECT_EQ(r.Out.substr(r.Out.rfind("error: ")), "error: 108\n");

    // Comment lines are left out, as in a run.
    const std::string comment = temp.File("comment.b", "#+\n+");
    r = RunRunner({"--dump-lists", comment});
    EXPECT_EQ(r.Out, "C 0 4 0 3\nF 0 0 0 3\nerror: 0\n");
    r = RunRunner({"--dump-lists", "--no-comment-markers", comment});
    EXPECT_EQ(r.Out, "C 0 1 0 3\nC 1 4 0 3\nF 0 0 2 23\nerror: 0\n");
}

// The fast form as the runner builds it for a run: the cell width, the comment setting and the
// --break offsets (source offsets, here past a comment line) are a run's. The shapes themselves
// are pinned in test_analysis.
TEST(Runner, DumpFastFormat) {
    TTempFiles temp;
    const std::string prog = temp.File("fast.b", "#[\r\n[->+<]");
    TRunnerResult r = RunRunner({"--dump-fast", prog});
    EXPECT_EQ(r.Status, 0);
    const std::string eight =
        "0 Linear terms=1 counter=255 to=6 passexec=5 @0\n"
        "1 Term off=1 delta=1 @0\n"
        "2 Open to=6 exec=1 @0\n"
        "3 Add off=0 delta=65535 exec=4 @1\n"
        "4 Add off=1 delta=1 exec=0 @1\n"
        "5 Close to=3 exec=1 @5\n"
        "6 End @6\n";
    EXPECT_EQ(r.Out, eight);
    r = RunRunner({"--dump-fast", "--cells", "16", "--break", "6", "--break", "3", prog});
    std::string wide = eight;
    wide.replace(wide.find("255"), 3, "65535");
    wide.replace(wide.find("@0\n"), 3, "@0 stepped\n");
    wide.replace(wide.find("@1\n"), 3, "@1 stepfolded\n");
    EXPECT_EQ(r.Out, wide);
    r = RunRunner({"--dump-fast", "--no-comment-markers", prog});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, prog + ":1:2: " + cel::ErrorText(cel::errClosingBracketExpected) + "\n");
    r = RunRunner({"--dump-fast", "--dump-lists", prog});
    EXPECT_EQ(r.Status, 2);

    // --dump-native: the same lines, a record where native code can be entered with its offset in
    // the file: only the Linear record, as the loop's stepped form (records 2 to 5) runs only
    // where the loop never ends, in the fast loop.
    const std::string code = temp.Name("code.bin");
    r = RunRunner({"--dump-native", code, prog});
    if (!cel::NativeCodeBuilt()) {
        EXPECT_EQ(r.Status, 1);
        return;
    }
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string bytes = celtest::ReadFileBytes(code);
    std::istringstream lines(r.Out), expected(eight);
    size_t last = 0;
    for (std::string line, want; std::getline(expected, want);) {
        ASSERT_TRUE(std::getline(lines, line));
        const size_t at = line.find(" native=0x");
        const bool has = want.rfind("0 Linear", 0) == 0;
        EXPECT_EQ(at != std::string::npos, has) << line;
        EXPECT_EQ(line.substr(0, at), want);
        if (at == std::string::npos) continue;
        const size_t offset = std::stoul(line.substr(at + 10), nullptr, 16);
        EXPECT_GT(offset, last);
        EXPECT_LT(offset, bytes.size());
        last = offset;
    }
    EXPECT_EQ(RunRunner({"--dump-native", temp.Name("missing") + "/code.bin", prog}).Status, 2);
    EXPECT_EQ(RunRunner({"--dump-native", code, "--dump-fast", prog}).Status, 2);
    EXPECT_EQ(RunRunner({"--dump-native", code, "--no-comment-markers", prog}).Status, 1);
}

TEST(Runner, SourceLineBreaksAndNul) {
    TTempFiles temp;
    struct TCase {
        std::string Bytes;
        std::string SecondOrigin;
    };
    // Every line break counts as CR LF in the offsets, whatever the file holds.
    const TCase cases[] = {
        {"+\r+", "3"},     {"+\n+", "3"},       {"+\r\n+", "3"},  {"+\n\r+", "5"},
        {"+\r\r+", "5"},   {"+\r\n\r\n+", "5"}, {"+\n\n+", "5"},  {"+ \r\n\n  +", "8"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.Bytes));
        const std::string prog = temp.File("breaks.b", c.Bytes);
        const TRunnerResult r = RunRunner({"--dump-lists", prog});
        EXPECT_EQ(r.Out.substr(0, r.Out.find("\nF")), "C 0 0 0 3\nC 1 " + c.SecondOrigin + " 0 3");
    }
    // A lone CR ends a comment line like any other line break.
    for (const char* brk : {"\r", "\n", "\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(brk)));
        std::string bytes = "#+++";
        bytes += brk;
        bytes += "+.";
        const TRunnerResult r = RunRunner({temp.File("cr.b", bytes)});
        EXPECT_EQ(r.Status, 0);
        EXPECT_EQ(r.Out, "\x01");
    }
    // The text ends at the first NUL byte.
    TRunnerResult r = RunRunner({temp.File("nul.b", std::string("+.\0+.", 5))});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "\x01");
    r = RunRunner({"--dump-lists", temp.File("nul2.b", std::string("+.\0+.", 5))});
    EXPECT_EQ(r.Out, "C 0 0 0 3\nC 1 1 0 5\nF 0 0 0 3\nF 1 1 0 5\nerror: 0\n");
    r = RunRunner({temp.File("nul3.b", std::string("\0[", 2))});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, "");
}

TEST(Runner, EngineErrorsAndExitStatus) {
    TTempFiles temp;
    TRunnerResult r = RunRunner({temp.File("open.b", "+.[")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("Error 101: Closing bracket expected."), std::string::npos) << r.Err;
    r = RunRunner({temp.File("close.b", "+.]")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("Error 102: Opening bracket expected."), std::string::npos) << r.Err;

    // An illegal call ends the run there; what was written before it is kept.
    const std::string illegal = temp.File("illegal.pb", Plus(65) + ".:+.");
    r = RunRunner({"--pbrain", "--stats", illegal});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "A");
    EXPECT_NE(r.Err.find("Error 109: Illegal procedure call."), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("executed: 66\n"), std::string::npos) << r.Err;
    const std::string out = temp.Name("illegal.out");
    r = RunRunner({"--pbrain", "--single-step", "--output-file", out, illegal});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(celtest::ReadFileBytes(out), "A");
    // Without --pbrain the colon is no command.
    r = RunRunner({illegal});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "AB");

    r = RunRunner({"--input-file", temp.Name("missing.in"), temp.File("in.b", "+.,")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("Error 103: Could not read input file."), std::string::npos) << r.Err;

    // No command at all is a normal end.
    r = RunRunner({temp.File("empty.b", "no commands here")});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "");

    // An error about a character of the program begins with "FILE:LINE:COLUMN: ", the column
    // counted in characters of the line; a run and --dump-fast give the same line.
    struct TPlaced {
        const char* Name;
        const char* Text;
        bool PBrain;
        const char* Line;
    };
    const TPlaced placed[] = {
        {"open.b", "+.\n  [", false, ":2:3: Error 101: Closing bracket expected.\n"},
        {"close.b", "+.]", false, ":1:3: Error 102: Opening bracket expected.\n"},
        {"right.pb", "(\r\n+", true, ":1:1: Error 106: Right parenthesis expected.\n"},
        {"left.pb", "+\n\n\t )", true, ":3:3: Error 107: Left parenthesis expected.\n"},
        {"cross.pb", "[(])", true, ":1:3: Error 108: Intersecting brackets.\n"},
        {"call.pb", "+\n (+)-:", true, ":2:6: Error 109: Illegal procedure call.\n"},
    };
    for (const TPlaced& p : placed) {
        SCOPED_TRACE(p.Name);
        const std::string file = temp.File(p.Name, p.Text);
        const bool analysis = std::string(p.Name) != "call.pb";  // the call fails only when run
        for (const std::string_view mode : {"--stats", "--single-step", "--dump-fast"}) {
            if (!analysis && mode == "--dump-fast") continue;
            std::vector<std::string> args = {std::string(mode), file};
            if (p.PBrain) args.insert(args.begin(), "--pbrain");
            r = RunRunner(args);
            EXPECT_EQ(r.Status, 1);
            EXPECT_EQ(r.Err.substr(0, r.Err.find('\n') + 1), file + p.Line) << mode;
        }
    }
    // A program from standard input is named as GNU compilers name it.
    r = RunRunner({"-"}, "+\n]");
    EXPECT_EQ(r.Err, "<stdin>:2:1: Error 102: Opening bracket expected.\n");
}

TEST(Runner, UsageErrorsAndUnreadableProgram) {
    TTempFiles temp;
    const std::string prog = temp.File("hello.b", Plus(65) + ".");
    const std::string dir = temp.Name("dir");
    std::filesystem::create_directory(dir);
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--bogus", prog},
        {"--cells", "12", prog},
        {"--cells", "32", prog},
        {prog, "--cells"},
        {prog, prog},
        {prog, "--input-file"},
        {prog, "--output-file"},
        {"--eof", "eof", prog},
        {prog, "--eof"},
        {"--engine", "native", prog},
        {prog, "--engine"},
        {"--stats"},
        {temp.Name("missing.b")},
        {dir},
        {"--generate", temp.Name("missing.txt")},
        {"--generate", dir},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const std::string& a : args) {
            shown += a;
            shown += ' ';
        }
        SCOPED_TRACE(shown);
        const TRunnerResult r = RunRunner(args);
        EXPECT_EQ(r.Status, 2);
        EXPECT_EQ(r.Out, "") << "the program must not run";
        EXPECT_NE(r.Err, "");
    }
}

TEST(Runner, HelpAndVersion) {
    TRunnerResult r = RunRunner({"--version"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "cellwright-run " CELLWRIGHT_VERSION "\n");
    EXPECT_EQ(r.Err, "");

    r = RunRunner({"--help"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(r.Out.rfind("usage: cellwright-run ", 0), 0u) << r.Out;
    // Every option has a line of its own that says what it does.
    for (const char* option : {"--cells 8|16", "--pbrain", "--no-comment-markers", "--input-file FILE",
                               "--output-file FILE", "--eof unchanged|zero|max", "--stats", "--single-step", "--break OFFSET",
                               "--dump-lists", "--dump-fast",
                               "--generate [TEXTFILE]", "--strip PROGRAM", "--keep-comment-lines",
                               "--line-length N", "--help", "--version"}) {
        SCOPED_TRACE(option);
        const size_t at = r.Out.find(std::string("\n  ") + option + "  ");
        ASSERT_NE(at, std::string::npos);
        const size_t start = at + 3 + std::strlen(option);
        const std::string description = r.Out.substr(start, r.Out.find('\n', start) - start);
        const size_t words = description.find_first_not_of(' ');
        ASSERT_NE(words, std::string::npos);
        EXPECT_GE(description.size() - words, 10u) << description;
    }
    // A usage error shows the synopsis on standard error only.
    r = RunRunner({"--bogus"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("usage: cellwright-run "), std::string::npos) << r.Err;
}

// The two tools as the runner offers them, seen from outside.
TEST(RunnerTools, GenerateWritesCodeThatPrintsTheText) {
    TTempFiles temp;
    // Two lines: H i, then H o.
    const std::string example = "Hi\r\nHo";
    const std::string expected =
        "[-]>[-]<\r\n"
        ">++++++++[<+++++++++>-]<.\r\n"
        ">++++[<++++++++>-]<+.\r\n"
        ">+++++++[<------------->-]<-.\r\n"
        "---.\r\n"
        ">+++++++[<+++++++++>-]<-.\r\n"
        ">+++++[<++++++++>-]<-.\r\n";
    TRunnerResult r = RunRunner({"--generate", temp.File("text", example)});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, expected);
    r = RunRunner({"--generate"}, example);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, expected);
    r = RunRunner({"--generate", "-"}, "");
    EXPECT_EQ(r.Out, "[-]>[-]<\r\n");

    // Every byte value, NUL and the comment markers included, comes back when the code runs, in
    // both cell widths.
    std::string everyByte;
    for (int i = 255; i >= 0; --i) everyByte.push_back(static_cast<char>(i));
    everyByte += ";#%*/'\n\r";
    r = RunRunner({"--generate", temp.File("bytes", everyByte)});
    ASSERT_EQ(r.Status, 0);
    const std::string code = temp.File("code.b", r.Out);
    for (const char* cells : {"8", "16"}) {
        const TRunnerResult run = RunRunner({"--cells", cells, code});
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Out, everyByte) << cells << "-bit cells";
    }
}

TEST(RunnerTools, StripPrintsTheCommandsAndTheirCount) {
    TTempFiles temp;
    const std::string source = temp.File("strip.b", "; (comment), ok.\r\n++[>+++<-]>.\r\n (x):+.");
    struct TCase {
        std::vector<std::string> Options;
        std::string Out;
        std::string Err;
    };
    const TCase cases[] = {
        {{"--pbrain"}, "++[>+\r\n++<-]\r\n>.():\r\n+.", "17 commands\n"},
        {{}, "++[>+\r\n++<-]\r\n>.+.", "14 commands\n"},
        {{"--keep-comment-lines", "--pbrain"}, "(),.+\r\n+[>++\r\n+<-]>\r\n.():+\r\n.", "21 commands\n"},
        {{"--keep-comment-lines"}, ",.++[\r\n>+++<\r\n-]>.+\r\n.", "16 commands\n"},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args = {"--strip", "--line-length", "5"};
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        args.push_back(source);
        const TRunnerResult r = RunRunner(args);
        EXPECT_EQ(r.Status, 0);
        EXPECT_EQ(r.Out, c.Out);
        EXPECT_EQ(r.Err, c.Err);
    }
    // The source is read as the IDE reads it: lone CR and LF become line breaks, a NUL ends it;
    // the default line length is 70.
    TRunnerResult r = RunRunner({"--strip", temp.File("breaks.b", "#+\r+\n#+" + std::string(1, '\0') + "+")});
    EXPECT_EQ(r.Out, "+");
    EXPECT_EQ(r.Err, "1 commands\n");
    r = RunRunner({"--strip", temp.File("long.b", std::string(150, '+'))});
    EXPECT_EQ(r.Out, std::string(70, '+') + "\r\n" + std::string(70, '+') + "\r\n" + std::string(10, '+'));
    r = RunRunner({"--strip", temp.File("empty.b", "")});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, "0 commands\n");
    // A line length the dialog would refuse.
    for (const char* length : {"0", "-3", "abc", ""}) {
        r = RunRunner({"--strip", "--line-length", length, source});
        EXPECT_EQ(r.Status, 2) << length;
        EXPECT_EQ(r.Out, "");
        EXPECT_EQ(r.Err, "You did not enter a legal number. Please try again.\n");
    }
}

// In a terminal both streams are one: the count must not run into the last line of the code.
TEST(RunnerTools, StripCountIsALineOfItsOwnWhereTheStreamsMeet) {
    TTempFiles temp;
    TRunnerResult r = RunRunner({"--strip", temp.File("x.b", "+ + + .")}, {}, true);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "+++.\n4 commands\n");
    r = RunRunner({"--strip", "--line-length", "2", temp.File("y.b", "+-<>.")}, {}, true);
    EXPECT_EQ(r.Out, "+-\r\n<>\r\n.\n5 commands\n");
    r = RunRunner({"--strip", temp.File("z.b", "no code")}, {}, true);
    EXPECT_EQ(r.Out, "0 commands\n");
    // Apart, the code is exact and the count stands alone.
    r = RunRunner({"--strip", temp.File("w.b", "+ + + .")});
    EXPECT_EQ(r.Out, "+++.");
    EXPECT_EQ(r.Err, "4 commands\n");
}

TEST(RunnerTools, ToolOptionsAreNotMixedWithRuns) {
    TTempFiles temp;
    const std::string prog = temp.File("prog.b", "+.");
    const std::vector<std::vector<std::string>> cases = {
        {"--generate", "--cells", "16", prog},
        {"--generate", "--strip", prog},
        {"--strip", "--stats", prog},
        {"--strip"},
        {"--line-length", "5", prog},
        {"--keep-comment-lines", prog},
        {"--generate", temp.Name("missing.txt")},
    };
    for (const auto& args : cases) {
        const TRunnerResult r = RunRunner(args);
        EXPECT_EQ(r.Status, 2) << args.front();
        EXPECT_EQ(r.Out, "");
        EXPECT_NE(r.Err, "");
    }
}

// The programs in examples/: each runs through the runner with both cell widths and gives its
// expected output. NAME.in is its input; NAME.out its output (NAME.16.out where 16 bit cells
// give another); NAME.err its standard error, and then it ends with status 1. A .pb file runs
// with --pbrain.
TEST(RunnerExamples, EachGivesItsExpectedOutput) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(CELLWRIGHT_SOURCE_DIR) / "examples";
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    std::vector<fs::path> programs;
    std::set<std::string> companions;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".b" || ext == ".pb") programs.push_back(entry.path());
        else companions.insert(entry.path().filename().string());
    }
    std::sort(programs.begin(), programs.end());
    EXPECT_GE(programs.size(), 12u);
    auto readIf = [](const fs::path& path, std::string& into) {
        if (!fs::exists(path)) return false;
        into = celtest::ReadFileBytes(path.string());
        return true;
    };
    for (const fs::path& program : programs) {
        const std::string stem = program.stem().string();
        std::string input, expectedOut, expectedOut16, expectedErr;
        readIf(dir / (stem + ".in"), input);
        const bool hasOut = readIf(dir / (stem + ".out"), expectedOut);
        EXPECT_TRUE(hasOut) << stem << ".out is missing";
        if (!readIf(dir / (stem + ".16.out"), expectedOut16)) expectedOut16 = expectedOut;
        // An .err file names its program without the folder, which the runner is given.
        const bool fails = readIf(dir / (stem + ".err"), expectedErr);
        if (fails) expectedErr = (dir / expectedErr).string();
        for (const char* name : {".in", ".out", ".16.out", ".err"}) companions.erase(stem + name);
        for (const char* cells : {"8", "16"}) {
            SCOPED_TRACE(program.filename().string() + " with " + cells + " bit cells");
            std::vector<std::string> args = {"--cells", cells};
            if (program.extension() == ".pb") args.push_back("--pbrain");
            args.push_back(program.string());
            const TRunnerResult r = RunRunner(args, input);
            EXPECT_EQ(r.Status, fails ? 1 : 0);
            EXPECT_EQ(r.Out, std::string(cells) == "16" ? expectedOut16 : expectedOut);
            EXPECT_EQ(r.Err, expectedErr);
        }
    }
    // Every other file there belongs to an example.
    EXPECT_TRUE(companions.empty()) << "files of no example: " << *companions.begin();
}

// The programs of bench/programs, as bench/run.sh runs them from a clone: each row of its
// MANIFEST.tsv through the runner with its input and comment setting gives its expected output
// and executed count. Rows noted "(heavy)" run for seconds: run.sh's warm-up run checks them.
TEST(RunnerBenchPrograms, EachGivesItsExpectedOutput) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(CELLWRIGHT_SOURCE_DIR) / "bench" / "programs";
    std::istringstream manifest(celtest::ReadFileBytes((dir / "MANIFEST.tsv").string()));
    std::set<std::string> files = {"MANIFEST.tsv", "NOTICES.md", "generate.py"};
    std::string line;
    std::getline(manifest, line);
    ASSERT_EQ(line, "program\tinput\toutput\tcomments\texecuted\tnote");
    int rows = 0;
    while (std::getline(manifest, line)) {
        std::vector<std::string> f;
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        ASSERT_EQ(f.size(), 6u) << line;
        ++rows;
        files.insert({f[0], f[1], f[2]});
        if (f[5].find("(heavy)") != std::string::npos) continue;
        SCOPED_TRACE(f[0]);
        std::vector<std::string> args = {"--stats"};
        if (f[3] == "0") args.push_back("--no-comment-markers");
        args.push_back((dir / f[0]).string());
        const TRunnerResult r = RunRunner(args, f[1] == "-" ? std::string() : celtest::ReadFileBytes((dir / f[1]).string()));
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(r.Out == celtest::ReadFileBytes((dir / f[2]).string())) << "output differs from " << f[2];
        EXPECT_EQ(r.Err.rfind("executed: " + f[4] + "\n", 0), 0u) << r.Err;
    }
    EXPECT_GE(rows, 6);
    // Translate.b translates itself; every file there belongs to a row or is named above.
    EXPECT_EQ(celtest::ReadFileBytes((dir / "Translate.in").string()), celtest::ReadFileBytes((dir / "Translate.b").string()));
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        EXPECT_TRUE(files.count(entry.path().filename().string())) << "file of no program: " << entry.path();
}

// --stop-at N at full speed stops where single steps stop: the same output and machine. Counts
// early in each corpus run, where its loops are folded and fast-form loops are met part way,
// and one past a short run's end, where the state is the end's.
TEST(Runner, StopAtAgreesWithSingleSteps) {
    const std::string dir = celtest::CorpusDir();
    if (dir.empty()) {
        if (celtest::UnderCI()) FAIL() << "program corpus not found";
        GTEST_SKIP() << "program corpus not found";
    }
    std::istringstream manifest(celtest::ReadFileBytes(dir + "/MANIFEST.tsv"));
    std::string line;
    std::getline(manifest, line);  // the heading
    std::mt19937_64 random(2207);
    int rows = 0;
    while (std::getline(manifest, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string v; std::getline(fields, v, '\t');) f.push_back(v);
        if (f.size() < 7) continue;
        const uint64_t total = std::stoull(f[6]);
        const std::string input = f[1] == "-" ? std::string() : celtest::ReadFileBytes(dir + "/" + f[1]);
        std::vector<std::string> base = {"--cells", f[3]};
        if (f[4] == "1") base.push_back("--pbrain");
        if (f[5] == "0") base.push_back("--no-comment-markers");
        std::vector<uint64_t> counts = {1 + random() % 97, 1000 + random() % 9000, 20000 + random() % 400000};
        if (total < 400000) counts.push_back(total + 3);
        // Under the sanitizers, one of them a row, by turns.
        if (celtest::Rounds(3, 1) == 1) counts = {counts[static_cast<size_t>(rows) % counts.size()]};
        for (const uint64_t n : counts) {
            SCOPED_TRACE(f[0] + " " + f[1] + " --stop-at " + std::to_string(n));
            std::vector<std::string> args = base;
            args.insert(args.end(), {"--stop-at", std::to_string(n), dir + "/" + f[0]});
            const TRunnerResult fast = RunRunner(args, input);
            args.insert(args.begin(), "--single-step");
            const TRunnerResult single = RunRunner(args, input);
            EXPECT_EQ(fast.Status, single.Status);
            EXPECT_EQ(fast.Out, single.Out);
            const std::string state = "executed " + std::to_string(std::min(n, total)) + " pointer ";
            EXPECT_NE(fast.Out.find(state), std::string::npos);
        }
        ++rows;
    }
    EXPECT_GT(rows, 0);
}

// Deep in Long.b, where native code does its nested loops at once from the runs it kept, --stop-at
// stops where the fast form stops, with the same machine.
TEST(Runner, StopAtDeepInKeptLoops) {
    const std::string dir = celtest::CorpusDir();
    if (dir.empty()) {
        if (celtest::UnderCI()) FAIL() << "program corpus not found";
        GTEST_SKIP() << "program corpus not found";
    }
    // The first stop comes well after the code is made: after 0.15 ms of the run's own time, at 4
    // to 30 million commands here (the count grows unevenly: loops done at once add up fast).
    std::vector<uint64_t> counts = {500000003, 1234567890, 7909544264, 7909544268};
    if (celtest::Rounds(2, 1) == 1) counts = {1234567890};
    for (const uint64_t n : counts) {
        SCOPED_TRACE("Long.b --stop-at " + std::to_string(n));
        const std::vector<std::string> args = {"--stats", "--stop-at", std::to_string(n), dir + "/Long.b"};
        std::vector<std::string> fast = args;
        fast.insert(fast.begin(), {"--engine", "fast"});
        const TRunnerResult native = RunRunner(args), reference = RunRunner(fast);
        EXPECT_EQ(native.Status, 0) << native.Err;
        EXPECT_EQ(native.Out, reference.Out);
        EXPECT_NE(native.Out.find("executed " + std::to_string(std::min<uint64_t>(n, 7909544265)) + " pointer "),
                  std::string::npos);
        if (cel::NativeCodeBuilt()) {
            EXPECT_NE(native.Err.find("native code: from command"), std::string::npos);
        }
    }
}

#ifdef CELLWRIGHT_REFUSING_SYSTEM
// Where the system refuses executable memory (a policy against writable code) or memory files
// (for the tape mapped twice), no native code is made and the fast form runs, silently: the
// same output, count, exit status and messages as where both are allowed.
TEST(Runner, NativeCodeRefusedRunsTheFastForm) {
    const std::string dir = celtest::CorpusDir();
    if (dir.empty()) {
        if (celtest::UnderCI()) FAIL() << "program corpus not found";
        GTEST_SKIP() << "program corpus not found";
    }
    const auto withoutSeconds = [](const std::string& err) { return err.substr(0, err.find("seconds:")); };
    for (const char* program : {"Long.b", "Hanoi.b"}) {
        const std::vector<std::string> args = {"--stats", dir + "/" + program};
        const TRunnerResult allowed = RunRunner(args);
        ASSERT_EQ(allowed.Status, 0) << allowed.Err;
        for (const char* refused : {"exec", "memfd"}) {
            SCOPED_TRACE(std::string(program) + ", refused: " + refused);
            std::vector<std::string> wrapped = {refused, CELLWRIGHT_RUNNER};
            wrapped.insert(wrapped.end(), args.begin(), args.end());
            const TRunnerResult r = RunExecutable(CELLWRIGHT_REFUSING_SYSTEM, wrapped, {}, TStreams());
            EXPECT_EQ(r.Status, 0) << r.Err;
            EXPECT_TRUE(r.Out == allowed.Out) << "output differs";
            EXPECT_EQ(withoutSeconds(r.Err), withoutSeconds(allowed.Err));
        }
    }
}
#endif

// A fast-form record that runs past the stop in one go (a loop in closed form) is taken back and
// run again on the plain loop, which stops short of the stop and hands over to single steps.
TEST(Runner, StopAtInsideAClosedFormLoop) {
    TTempFiles temp;
    const std::string prog = temp.File("closed.b", "-[>+<-]>[<+++>-]<.");
    for (const char* cells : {"8", "16"}) {
        for (const uint64_t n : {3u, 300u, 1000u, 1275u, 2554u, 3000u, 600000u}) {
            SCOPED_TRACE(std::string(cells) + " --stop-at " + std::to_string(n));
            const std::vector<std::string> args = {"--cells", cells, "--stop-at", std::to_string(n), prog};
            std::vector<std::string> single = args;
            single.insert(single.begin(), "--single-step");
            EXPECT_EQ(RunRunner(args).Out, RunRunner(single).Out);
        }
    }
    // A stop right before an illegal call stops there; the call fails one command later.
    const std::string call = temp.File("call.b", "++++++++[>++++++++++<:-]>.");
    for (const uint64_t n : {20u, 21u, 22u}) {
        SCOPED_TRACE("illegal call, --stop-at " + std::to_string(n));
        const std::vector<std::string> args = {"--cells", "16", "--pbrain", "--stop-at", std::to_string(n), call};
        std::vector<std::string> single = args;
        single.insert(single.begin(), "--single-step");
        EXPECT_EQ(RunRunner(args).Out, RunRunner(single).Out);
    }
}

#ifdef CELLWRIGHT_IDE
// The IDE's command line is judged before Qt starts, Qt's own options passed over: a usage
// error, --help and --version need no display.
TEST(IdeCommandLine, JudgedWithoutADisplay) {
    TStreams noDisplay;
    noDisplay.NoDisplay = true;
    const std::vector<std::vector<std::string>> wrong = {
        {"--bogus"},
        {"-platform", "offscreen", "--bogus"},
        {"-style", "fusion", "-reverse", "a.b", "--bogus"},
        {"--style=fusion", "-x"},
    };
    for (const auto& args : wrong) {
        SCOPED_TRACE(args.back());
        const TRunnerResult r = RunExecutable(CELLWRIGHT_IDE, args, {}, noDisplay);
        EXPECT_EQ(r.Status, 2);
        EXPECT_EQ(r.Out, "");
        EXPECT_EQ(r.Err.rfind("cellwright: unknown option " + args.back() + "\nusage: cellwright [--new-instance] [FILE...]\n", 0), 0u)
            << r.Err;
    }
    const TRunnerResult r = RunExecutable(CELLWRIGHT_IDE, {"-style", "fusion", "a.b", "--version"}, {}, noDisplay);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "cellwright " CELLWRIGHT_VERSION "\n");
}
#endif

}  // namespace
