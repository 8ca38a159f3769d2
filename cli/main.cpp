// cellwright-run: runs a Brainfuck or pbrain program on the IDE's engine, without windows.
//
//   cellwright-run [--cells 8|16] [--pbrain] [--no-comment-markers] [--input-file FILE]
//                  [--output-file FILE] [--eof unchanged|zero|max] [--stats] [--single-step]
//                  [--profile] [--engine jit|fast|plain] [--break OFFSET]... [--stop-at N]
//                  [--dump-lists | --dump-fast | --dump-native FILE] PROGRAM
//   cellwright-run --generate [TEXTFILE]
//   cellwright-run --strip [--keep-comment-lines] [--pbrain] [--line-length N] PROGRAM
//
// Output goes through the engine's output-file path to standard output (or FILE): at every line
// feed when standard output is a terminal, within about 100 ms otherwise, before the runner
// waits for input and when SIGINT or SIGTERM ends the run. Input comes from the input file
// first, then from standard input. PROGRAM "-" is read from standard input. An error about a
// place in the program (a bracket, a call) begins GNU-style with "PROGRAM:LINE:COLUMN: ", the
// name "<stdin>" for "-". Exit status: 0
// normal end, 1 engine error or failed write, 2 usage error or unreadable program; a run ended
// by SIGINT or SIGTERM ends by that signal once its output is written.
//
// The two tools are the IDE's: --generate prints the code that prints the bytes of TEXTFILE (or
// of standard input); --strip prints PROGRAM reduced to its commands and the count on standard
// error.
//
//   cellwright-run --help | --version

#include "cel_Debugging.h"
#include "cel_HeadlessHost.h"
#include "cel_Interpreter.h"
#include "cel_NativeCode.h"
#include "cel_Program.h"
#include "cel_SourceText.h"
#include "cel_Strip.h"
#include "cel_TextGen.h"
#include "cel_Version.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char* const Usage =
    "usage: cellwright-run [--cells 8|16] [--pbrain] [--no-comment-markers]\n"
    "                      [--input-file FILE] [--output-file FILE] [--eof unchanged|zero|max]\n"
    "                      [--stats] [--profile] [--single-step] [--engine jit|fast|plain]\n"
    "                      [--break OFFSET]... [--stop-at N]\n"
    "                      [--dump-lists | --dump-fast | --dump-native FILE] PROGRAM\n"
    "       cellwright-run --generate [TEXTFILE]\n"
    "       cellwright-run --strip [--keep-comment-lines] [--pbrain] [--line-length N] PROGRAM\n"
    "       cellwright-run --help | --version\n";

// --help: the synopsis, then one line for each option.
const char* const Help =
    "\n"
    "Runs a Brainfuck or pbrain PROGRAM on the engine of the Cellwright IDE, without windows.\n"
    "\n"
    "Running a program:\n"
    "  --cells 8|16           cell width (default 8)\n"
    "  --pbrain               enable the procedure commands ( ) and :\n"
    "  --no-comment-markers   run lines that begin with ; / * ' % # too (default: comments)\n"
    "  --input-file FILE      take input from FILE first, then from standard input\n"
    "  --output-file FILE     write the program's output to FILE instead of standard output\n"
    "  --eof unchanged|zero|max  a read at the end of the input leaves the cell unchanged\n"
    "                         (default), or sets it to 0 or to the largest cell value\n"
    "  --stats                print the executed command count, the seconds and from which\n"
    "                         command native code ran on standard error\n"
    "  --profile              after the run, print on standard error how often the commands of\n"
    "                         each line executed and the share of the total, then the hottest\n"
    "                         loops with their LINE:COLUMN, count and share\n"
    "  --single-step          run one command at a time throughout, as the IDE's watch mode does\n"
    "  --engine jit|fast|plain  what runs at full speed: native code made from the fast form\n"
    "                         (jit, the default; the fast form where native code cannot be\n"
    "                         had), the fast form, or the folded list as it is (plain; for\n"
    "                         comparisons)\n"
    "  --plain                the same as --engine plain\n"
    "  --break OFFSET         a breakpoint before the command at source offset OFFSET (repeatable):\n"
    "                         the run passes it, --stats counts it, --dump-fast shows its stops\n"
    "  --stop-at N            run N commands (or to the program's end, if sooner), then print\n"
    "                         the machine on standard output after the program's own output,\n"
    "                         from a line of its own: \"executed N pointer P\", then \"INDEX VALUE\"\n"
    "                         for each nonzero cell, in decimal\n"
    "  --dump-lists           print the analysed instruction lists instead of running\n"
    "  --dump-fast            print the fast form that a full-speed run executes instead of running\n"
    "  --dump-native FILE     write the native code that a full-speed run makes to FILE (raw\n"
    "                         x86-64: objdump -D -b binary -m i386:x86-64 FILE shows it) and\n"
    "                         print the fast form with the offset there of each record where\n"
    "                         it can be entered, instead of running\n"
    "The tools:\n"
    "  --generate [TEXTFILE]  print code that prints the bytes of TEXTFILE (or standard input)\n"
    "  --strip PROGRAM        print the program's commands alone, their count on standard error\n"
    "  --keep-comment-lines   with --strip: keep the commands on comment lines\n"
    "  --line-length N        with --strip: a line break after every N commands (default 70)\n"
    "Other:\n"
    "  --help                 print this help and exit\n"
    "  --version              print the version and exit\n"
    "\n"
    "PROGRAM - is read from standard input. The output is written at every line feed on a\n"
    "terminal, otherwise within about 100 ms; SIGINT and SIGTERM end the run once it is written.\n"
    "Exit status: 0 normal end, 1 engine error or output that could not be written, 2 usage\n"
    "error or unreadable PROGRAM.\n";

struct TArguments {
    bool Wide = false;
    bool PBrain = false;
    bool CommentMarkers = true;
    std::string InputFile;
    std::string OutputFile;
    cel::TEndOfInput EndOfInput = cel::TEndOfInput::Unchanged;
    bool Stats = false;
    bool Profile = false;
    bool SingleStep = false;
    bool Plain = false;
    bool Native = true;
    bool DumpLists = false;
    bool DumpFast = false;
    std::string DumpNative;  // --dump-native FILE
    // --break OFFSET (repeatable): the run passes these breakpoints without stopping; --stats
    // counts them, --dump-fast shows the stops they make.
    std::vector<uint32_t> Breakpoints;
    uint64_t StopAt = UINT64_MAX;  // --stop-at N
    std::string Program;
    // The tools.
    bool Generate = false;
    bool Strip = false;
    bool KeepCommentLines = false;
    std::string LineLength = "70";
    bool RunOption = false;  // an option that only a run takes was given
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "cellwright-run: %s\n%s", message.c_str(), Usage);
    return 2;
}

// Writes all bytes to the descriptor, unbuffered; 0, or the errno of the failure.
int WriteAllTo(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

void ReportStdoutFailure(int error) {
    std::fprintf(stderr, "cellwright-run: could not write to standard output: %s\n", std::strerror(error));
}

// Standard output as the tools and --help write it: true when every byte got there, else the
// failure is reported. A closed pipe ends the process by SIGPIPE first, as for any program.
bool WriteStdout(std::string_view text) {
    const int error = WriteAllTo(1, text.data(), text.size());
    if (error != 0) ReportStdoutFailure(error);
    return error == 0;
}

// The run's output file: standard output (never closed) or a named file, written unbuffered so
// that each flush of the engine reaches it at once. The first failure's errno is kept.
class TDescriptorFile final : public cel::TByteFile {
public:
    TDescriptorFile(int fd, bool owned, int& failure, int* lastByte = nullptr)
        : Fd(fd), Owned(owned), Failure(failure), LastByte(lastByte) {}
    ~TDescriptorFile() override { Close(); }
    long Read(uint8_t*, size_t) override { return -1; }
    bool Write(const uint8_t* data, size_t size) override {
        if (LastByte != nullptr && size > 0) *LastByte = data[size - 1];
        const int error = WriteAllTo(Fd, data, size);
        if (error != 0 && Failure == 0) Failure = error;
        return error == 0;
    }
    bool Close() override {
        if (!Owned || Fd < 0) return true;
        const bool ok = ::close(Fd) == 0;
        Fd = -1;
        return ok;
    }

private:
    int Fd;
    bool Owned;
    int& Failure;
    int* LastByte;  // the last byte written, where wanted
};

// SIGINT and SIGTERM during a run, and the timed flush. The engine runs in the main thread
// (RunHere), so the handlers give it only the requests that store atomics, which it sees at its
// next check: the first of the two signals ends the run, so the output it holds is written, and
// the runner then ends by that signal; a second one ends the process at once. The first also
// writes the stop pipe, so an input wait gives up.
std::atomic<cel::TBFInterpreterBase*> RunningEngine{nullptr};  // set while the run goes on
int StopWriteFd = -1;
volatile sig_atomic_t SignalMet = 0;
volatile sig_atomic_t SignalCount = 0;

extern "C" void NoteSignal(int number) {
    const int savedErrno = errno;
    if (SignalCount > 0) {
        // Blocked while this handler runs, the signal raised here takes the default action as
        // it returns.
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        ::sigaction(number, &action, nullptr);
        ::raise(number);
    } else {
        SignalMet = number;
        SignalCount = 1;
        if (cel::TBFInterpreterBase* engine = RunningEngine.load()) engine->TerminateHere();
        if (StopWriteFd >= 0) (void)!::write(StopWriteFd, "", 1);
    }
    errno = savedErrno;
}

extern "C" void RequestFlush(int) {
    if (cel::TBFInterpreterBase* engine = RunningEngine.load()) engine->RequestOutputFlush();
}

// The program's name as its errors give it: "<stdin>" for "-", as GNU compilers name it.
std::string ProgramName(const std::string& program) { return program == "-" ? "<stdin>" : program; }

// The text of an error, after "NAME:LINE:COLUMN: " when it is about the character at the
// source offset place (-1: about no place).
std::string PlacedError(const std::string& name, std::string_view text, int code, int64_t place) {
    std::string line;
    if (place >= 0) {
        const cel::TSourcePlace at = cel::PlaceOf(text, static_cast<size_t>(place));
        line = name + ':' + std::to_string(at.Line) + ':' + std::to_string(at.Column) + ": ";
    }
    return line + cel::ErrorText(code);
}

class TRunnerHost final : public cel::THeadlessHost {
public:
    std::string Name;  // the program's, for its errors
    bool OutputToStdout = true;
    int ErrorShown = 0;
    bool EndOfInput = false;
    uint64_t BreaksMet = 0;
    // The errno of the first failed write to the output file (or 0).
    int WriteFailure = 0;
    // The last byte the program wrote to standard output, -1 before the first.
    int LastStdoutByte = -1;
    // Readable once the run is to stop: an input wait gives up.
    int StopFd = -1;

    ~TRunnerHost() override {
        RunningEngine.store(nullptr);
        if (Interpreter.HasEngine()) {
            Interpreter.Terminate();
            Interpreter.Engine().WaitFor();
        }
    }

    // The run has started: the signal handlers reach its engine from here on, and a signal
    // that came before ends it now.
    void PresentRunning(bool) override {
        RunningEngine.store(&Interpreter.Engine());
        if (SignalCount > 0) Interpreter.Engine().TerminateHere();
    }

    // A breakpoint's pause: counted, and the run goes on at once.
    void PresentPaused() override {
        if (ErrorShown == cel::errIllegalCall) return;  // that pause ends the run
        ++BreaksMet;
        Interpreter.Continue();
    }

    void PresentReady(bool) override { RunningEngine.store(nullptr); }

    std::unique_ptr<cel::TByteFile> CreateOutputFile(const std::string& name) override {
        if (OutputToStdout) return std::make_unique<TDescriptorFile>(1, false, WriteFailure, &LastStdoutByte);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
        return std::make_unique<TDescriptorFile>(fd, true, WriteFailure);
    }

    void ShowError(int code) override {
        if (code == ErrorShown) return;  // a write failure met again on the way out
        if (code == cel::errOutputFileWrite && OutputToStdout)
            ReportStdoutFailure(WriteFailure != 0 ? WriteFailure : EIO);
        else  // a write failure has no place, also where this host itself reports one
            std::fprintf(stderr, "%s\n",
                         PlacedError(Name, Options.Text, code,
                                     code == cel::errOutputFileWrite ? -1 : Interpreter.GetErrorPlace())
                             .c_str());
        if (ErrorShown == 0) ErrorShown = code;
        // An illegal call would pause for the user; here it ends the run.
        if (code == cel::errIllegalCall) Interpreter.Terminate();
    }

    // Serves an input request from standard input; at its end the run's input ends (--eof says
    // what the reads leave in the cell).
    // Runs in the engine's hand-off, so its output buffer may be written out here.
    void RequestInput() override {
        std::string data;
        if (!EndOfInput) {
            // What the program printed so far (its prompt) is out before the runner waits.
            Interpreter.FlushOutputFile();
            if (WriteFailure != 0) {
                ShowError(cel::errOutputFileWrite);
                Interpreter.Terminate();
                return;
            }
            data.resize(cel::IOBlockSize);
            ssize_t n = -1;
            for (;;) {
                pollfd fds[2] = {{0, POLLIN, 0}, {StopFd, POLLIN, 0}};
                if (::poll(fds, StopFd >= 0 ? 2 : 1, -1) < 0) {
                    if (errno == EINTR) continue;
                    break;
                }
                if (fds[1].revents != 0) return;  // the run is being stopped: no answer
                n = ::read(0, data.data(), data.size());
                if (n >= 0 || errno != EINTR) break;
            }
            if (n <= 0) {
                EndOfInput = true;
                n = 0;
            }
            data.resize(static_cast<size_t>(n));
        }
        if (data.empty()) Interpreter.DeliverEnd();
        else Interpreter.DeliverLine(data, false);
    }
};

// The analysed lists, built without an engine (TProgram, DumpLists).
int DumpLists(const TArguments& args, const std::string& text) {
    const cel::TProgram program(text, args.CommentMarkers, args.PBrain);
    bool written = true;
    cel::DumpLists(program, [&written](std::string_view piece) { written = written && WriteStdout(piece); });
    return written ? 0 : 1;
}

// The fast form of the program for the cell width, with a stop at every --break offset that is a
// command's, one record a line (DumpFastProgram); built without an engine.
int DumpFast(const TArguments& args, const std::string& text) {
    cel::TProgram program(text, args.CommentMarkers, args.PBrain);
    if (program.Error != cel::errNone) {
        std::fprintf(stderr, "%s\n", PlacedError(ProgramName(args.Program), text, program.Error, program.ErrorOrigin).c_str());
        return 1;
    }
    cel::TFastProgram& fast = program.FastForm(args.Wide ? 16 : 8);
    cel::SetFastStops(fast, program.FoldedList, program.StopRecords(args.Breakpoints));
    std::string out = cel::DumpFastProgram(fast);
    // Never so for a program the builder makes: a run would take the folded list instead.
    if (!fast.RepeatsChecked) out += "refused: a record breaks its row of the table\n";
    return WriteStdout(out) ? 0 : 1;
}

// From this size on, a program's tables take hundreds of pages, and so do the native code and
// its helpers' tables.
constexpr off_t LargeProgram = 32 * 1024;

// The heap in large pages where the system lends them on request (transparent huge pages in
// "madvise" mode): the first touch of each 4 KB page costs a fault, and on some virtual
// machines a fault costs as much as clearing a 2 MB page. The heap grows from a 2 MB boundary
// by HeapStep at a time, the first step asked for in large pages before anything but one page
// of it is touched; blocks below the mapping threshold come from it.
void UseLargePages() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33) && defined(MADV_HUGEPAGE)
    constexpr size_t HeapStep = size_t{64} << 20;
    constexpr size_t Block = size_t{24} << 20;  // below the largest mapping threshold (32 MB)
    constexpr uintptr_t Large = uintptr_t{2} << 20;
    constexpr uintptr_t Header = 64;
    if (::mallopt(M_MMAP_THRESHOLD, static_cast<int>(Block + Large)) == 0 ||
        ::mallopt(M_TOP_PAD, static_cast<int>(HeapStep)) == 0 ||
        ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * HeapStep)) == 0)
        return;
    // What is left of the heap's top goes to a block that stays: every later block comes from
    // the heap's next step.
    if (const size_t top = ::mallinfo2().keepcost; top > 4 * Header) {
        void* volatile kept = std::malloc(top - 2 * Header);
        static_cast<void>(kept);
    }
    // The break moves to just below a 2 MB boundary, and a block of Block bytes makes the heap
    // take its step there: the allocator writes its headers below the boundary and past the
    // block, so the pages between are still untouched when they are asked for in large pages.
    const auto before = reinterpret_cast<uintptr_t>(::sbrk(0));
    if (before == static_cast<uintptr_t>(-1)) return;
    uintptr_t from = (before + Large - 1) & ~(Large - 1);
    if (from - before < Header) from += Large;
    if (::sbrk(static_cast<intptr_t>(from - Header - before)) == reinterpret_cast<void*>(-1)) return;
    void* volatile step = std::malloc(Block);
    const auto after = reinterpret_cast<uintptr_t>(::sbrk(0));
    if (after > from + Block) ::madvise(reinterpret_cast<void*>(from), after - from, MADV_HUGEPAGE);
    std::free(step);
#endif
}

// The native code a full-speed run makes for the program and cell width, written to the file
// named by --dump-native as raw x86-64 code, and the fast form on standard output with the
// offset of each record's code in that file ("native=0x..."), for the records where it can be
// entered (not those that go on a straight run). Built without an engine.
int DumpNative(const TArguments& args, const std::string& text) {
    cel::TProgram program(text, args.CommentMarkers, args.PBrain);
    if (program.Error != cel::errNone) {
        std::fprintf(stderr, "%s\n", PlacedError(ProgramName(args.Program), text, program.Error, program.ErrorOrigin).c_str());
        return 1;
    }
    const cel::TFastProgram& fast = program.FastForm(args.Wide ? 16 : 8);
    const std::shared_ptr<const cel::TNativeCode> code = cel::NativeCodeFor(fast, args.Wide, &program.FoldedList);
    if (!code) {
        std::fprintf(stderr, "cellwright-run: no native code here (%s)\n",
                     cel::NativeCodeBuilt() ? "the system refused executable memory" : "not an x86-64 build");
        return 1;
    }
    std::FILE* f = std::fopen(args.DumpNative.c_str(), "wb");
    bool saved = f != nullptr && std::fwrite(code->Code(), 1, code->CodeSize(), f) == code->CodeSize();
    if (f != nullptr) saved = std::fclose(f) == 0 && saved;
    if (!saved) {
        std::fprintf(stderr, "cellwright-run: cannot write %s: %s\n", args.DumpNative.c_str(), std::strerror(errno));
        return 2;
    }
    // The fast form's lines, each record's with its code's offset.
    const std::string dump = cel::DumpFastProgram(fast);
    std::string out;
    size_t record = 0;
    for (size_t at = 0; at < dump.size();) {
        const size_t end = dump.find('\n', at);
        std::string line = dump.substr(at, end - at);
        at = end == std::string::npos ? dump.size() : end + 1;
        if (record < fast.Ops.size() && code->Has(static_cast<uint32_t>(record))) {
            char offset[32];
            std::snprintf(offset, sizeof offset, " native=0x%zx", code->EntryOffset(static_cast<uint32_t>(record)));
            line += offset;
        }
        ++record;
        out += line;
        out += '\n';
    }
    return WriteStdout(out) ? 0 : 1;
}

[[noreturn]] void EndBySignal(int number) {
    ::signal(number, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    ::raise(number);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    std::_Exit(128 + number);
}

// How often the engine is asked to write out the output it holds while the run goes on.
constexpr long FlushPeriodNs = 100'000'000;

// The signal handling of one run: installed for its life, the previous state restored after.
// SIGINT and SIGTERM are let through even where the runner inherited them blocked; one ignored
// when the runner started stays ignored, as the shell means it for a job in the background. A
// timer raises the flush signal (a real-time one, so that an alarm the runner inherited stays
// the caller's) every flush period.
class TRunSignals {
public:
    explicit TRunSignals(int stopWriteFd) {
        StopWriteFd = stopWriteFd;
        FlushSignal = SIGRTMIN;
        sigset_t handled;
        sigemptyset(&handled);
        for (int signal : {SIGINT, SIGTERM, FlushSignal}) sigaddset(&handled, signal);
        sigemptyset(&LetThrough);
        struct sigaction action {};
        action.sa_mask = handled;
        action.sa_flags = SA_RESTART;  // a write or read of the run goes on after a handler
        for (int i = 0; i < 2; ++i) {
            ::sigaction(Ending[i], nullptr, &Previous[i]);
            if (Previous[i].sa_handler == SIG_IGN) continue;
            action.sa_handler = NoteSignal;
            ::sigaction(Ending[i], &action, nullptr);
            sigaddset(&LetThrough, Ending[i]);
        }
        action.sa_handler = RequestFlush;
        ::sigaction(FlushSignal, &action, &PreviousFlush);
        sigaddset(&LetThrough, FlushSignal);
        pthread_sigmask(SIG_UNBLOCK, &LetThrough, &Mask);
        sigevent event {};
        event.sigev_notify = SIGEV_SIGNAL;
        event.sigev_signo = FlushSignal;
        TimerMade = ::timer_create(CLOCK_MONOTONIC, &event, &Timer) == 0;
        const itimerspec period{{0, FlushPeriodNs}, {0, FlushPeriodNs}};
        if (TimerMade) ::timer_settime(Timer, 0, &period, nullptr);
    }
    ~TRunSignals() {
        if (TimerMade) ::timer_delete(Timer);
        // Ignoring the flush signal drops one still pending, which its previous action (by
        // default, the end of the process) must not meet.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(FlushSignal, &ignore, nullptr);
        ::sigaction(FlushSignal, &PreviousFlush, nullptr);
        for (int i = 0; i < 2; ++i)
            if (sigismember(&LetThrough, Ending[i])) ::sigaction(Ending[i], &Previous[i], nullptr);
        pthread_sigmask(SIG_SETMASK, &Mask, nullptr);
        StopWriteFd = -1;
    }
    TRunSignals(const TRunSignals&) = delete;
    TRunSignals& operator=(const TRunSignals&) = delete;

private:
    static constexpr int Ending[2] = {SIGINT, SIGTERM};
    int FlushSignal = 0;
    sigset_t LetThrough{};
    sigset_t Mask{};
    struct sigaction Previous[2] {};
    struct sigaction PreviousFlush {};
    timer_t Timer{};
    bool TimerMade = false;
};

// A pipe whose ends are closed with it.
struct TPipe {
    int Fd[2] = {-1, -1};
    TPipe() {
        if (::pipe2(Fd, O_CLOEXEC | O_NONBLOCK) != 0) Fd[0] = Fd[1] = -1;
    }
    ~TPipe() {
        for (int fd : Fd)
            if (fd >= 0) ::close(fd);
    }
    TPipe(const TPipe&) = delete;
    TPipe& operator=(const TPipe&) = delete;
};

// --profile: the counts by line ("LINE COUNT SHARE%", the lines that ran), then the ten
// hottest loops ("LINE:COLUMN COUNT SHARE%", the commands executed inside each).
void PrintProfile(const std::string& text, const TArguments& args, const std::vector<uint64_t>& counts) {
    const cel::TProgram program(text, args.CommentMarkers, args.PBrain);
    if (counts.size() < program.CommandCount) return;
    uint64_t total = 0;
    for (uint32_t i = 0; i < program.CommandCount; ++i) total += counts[i];
    const auto share = [total](uint64_t n) {
        return total == 0 ? 0.0 : 100.0 * static_cast<double>(n) / static_cast<double>(total);
    };
    std::vector<uint64_t> lines;  // by 0-based line; lines end at LF
    size_t line = 0;
    size_t at = 0;
    for (uint32_t i = 0; i < program.CommandCount; ++i) {
        for (const size_t origin = program.CommandList[i].Origin; at < origin; ++at)
            if (text[at] == '\n') ++line;
        if (lines.size() <= line) lines.resize(line + 1, 0);
        lines[line] += counts[i];
    }
    std::string out = "profile: " + std::to_string(total) + " commands\nline count share\n";
    char row[96];
    for (size_t l = 0; l < lines.size(); ++l) {
        if (lines[l] == 0) continue;
        std::snprintf(row, sizeof row, "%zu %llu %.2f%%\n", l + 1, static_cast<unsigned long long>(lines[l]),
                      share(lines[l]));
        out += row;
    }
    out += "hottest loops:\n";
    for (const cel::TLoopProfile& loop : cel::HottestLoops(program, counts, 10)) {
        const cel::TSourcePlace place = cel::PlaceOf(text, loop.OpenOffset);
        std::snprintf(row, sizeof row, "%zu:%zu %llu %.2f%%\n", place.Line, place.Column,
                      static_cast<unsigned long long>(loop.Commands), share(loop.Commands));
        out += row;
    }
    std::fputs(out.c_str(), stderr);
}

int Run(const TArguments& args, std::string text) {
    TPipe stop;
    TRunSignals signals(stop.Fd[1]);
    TRunnerHost host;
    host.StopFd = stop.Fd[0];
    host.Name = ProgramName(args.Program);
    host.Options.Text = std::move(text);
    host.Options.EndOfInput = args.EndOfInput;
    host.Options.ProcMode = args.PBrain;
    host.Options.CommentMarkers = args.CommentMarkers;
    host.Options.InputFileName = args.InputFile;
    host.Options.OutputVisible = false;
    host.Options.Watch = args.SingleStep;
    host.Options.PlainEngine = args.Plain;
    host.Options.NativeEngine = args.Native;
    host.Delay = 0;
    host.MemoryWindowVisible = false;
    if (args.OutputFile.empty()) {
        // The engine writes to "its output file", which here is standard output.
        host.Options.OutputFileName.assign(1, '-');  // any name: CreateOutputFile ignores it
        host.Options.OutputFileByLine = ::isatty(1) == 1;
    } else {
        host.OutputToStdout = false;
        host.Options.OutputFileName = args.OutputFile;
    }

    host.Breakpoints = args.Breakpoints;
    host.Profile = args.Profile;
    const std::string source = args.Profile ? host.Options.Text : std::string();
    // The clock only for --stats: its first reading costs a short run's start measurably.
    const auto start = args.Stats ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
    // In this thread: the run starts at once, whatever else the machine has to run.
    host.RunHere(args.Wide, UINT64_MAX, args.StopAt);
    const double seconds =
        args.Stats ? std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() : 0.0;

    if (args.Stats) {
        std::fprintf(stderr, "executed: %llu\nseconds: %.3f\n",
                     static_cast<unsigned long long>(host.Interpreter.GetExecuted()), seconds);
        const uint64_t native = host.Interpreter.Engine().GetNativeFrom();
        if (native == UINT64_MAX) std::fprintf(stderr, "native code: none\n");
        else std::fprintf(stderr, "native code: from command %llu\n", static_cast<unsigned long long>(native));
        if (!args.Breakpoints.empty())
            std::fprintf(stderr, "breakpoints met: %llu\n", static_cast<unsigned long long>(host.BreaksMet));
    }
    if (args.Profile) PrintProfile(source, args, host.Interpreter.GetCommandCounts());
    if (SignalCount > 0) EndBySignal(SignalMet);
    if (args.StopAt != UINT64_MAX) {
        // The machine where the run stopped, from a line of its own after the program's output.
        cel::TBFInterpreterBase& engine = host.Interpreter.Engine();
        std::string state;
        if (host.OutputToStdout && host.LastStdoutByte >= 0 && host.LastStdoutByte != '\n') state += '\n';
        state += "executed " + std::to_string(engine.GetExecuted()) + " pointer " +
                 std::to_string(engine.GetDataPtr()) + "\n";
        for (uint32_t i = 0; i < cel::TapeSize; ++i)
            if (const uint32_t v = engine.GetCell(static_cast<uint16_t>(i)); v != 0)
                state += std::to_string(i) + " " + std::to_string(v) + "\n";
        if (!WriteStdout(state)) return 1;
    }
    return host.ErrorShown != 0 ? 1 : 0;
}

// Reads the descriptor to its end; false on a read failure.
bool ReadToEnd(int fd, std::string& bytes) {
    char block[65536];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n == 0) return true;
        if (n > 0) bytes.append(block, static_cast<size_t>(n));
        else if (errno != EINTR) return false;
    }
}

int CannotRead(const std::string& what) {
    std::fprintf(stderr, "cellwright-run: cannot read %s: %s\n", what.c_str(), std::strerror(errno));
    return 2;
}

// True when the two descriptors write to the same terminal, pipe or file.
bool SameDestination(int a, int b) {
    struct stat sa {}, sb {};
    if (::fstat(a, &sa) != 0 || ::fstat(b, &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int Generate(const TArguments& args) {
    std::string text;
    if (args.Program.empty() || args.Program == "-") {
        if (!ReadToEnd(0, text)) return CannotRead("standard input");
    } else {
        const int fd = ::open(args.Program.c_str(), O_RDONLY | O_CLOEXEC);
        const bool read = fd >= 0 && ReadToEnd(fd, text);
        const int error = errno;
        if (fd >= 0) ::close(fd);
        errno = error;
        if (!read) return CannotRead(args.Program);
    }
    return WriteStdout(cel::GenerateCode(text)) ? 0 : 1;
}

int Strip(const TArguments& args, const std::string& source) {
    uint32_t lineLength = 0;
    if (!cel::ParseLineLength(args.LineLength, lineLength)) {
        std::fprintf(stderr, "%s\n", cel::IllegalLineLengthMessage);
        return 2;
    }
    const cel::TStripResult result = cel::StripCode(source, !args.KeepCommentLines, args.PBrain, lineLength);
    if (!WriteStdout(result.Text)) return 1;
    // The count is a line of its own: where both streams reach one terminal or file and the code
    // does not end its last line, a line break comes first.
    const bool breakFirst = !result.Text.empty() && result.Text.back() != '\n' && SameDestination(1, 2);
    std::fprintf(stderr, "%s%llu commands\n", breakFirst ? "\n" : "",
                 static_cast<unsigned long long>(result.Count));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    TArguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (a == "--generate") {
            args.Generate = true;
        } else if (a == "--strip") {
            args.Strip = true;
        } else if (a == "--keep-comment-lines") {
            args.KeepCommentLines = true;
        } else if (a == "--line-length") {
            if (!value(args.LineLength)) return UsageError("--line-length takes a number");
        } else if (a == "--cells") {
            args.RunOption = true;
            std::string v;
            if (!value(v) || (v != "8" && v != "16")) return UsageError("--cells takes 8 or 16");
            args.Wide = v == "16";
        } else if (a == "--pbrain") {
            args.PBrain = true;
        } else if (a == "--no-comment-markers") {
            args.RunOption = true;
            args.CommentMarkers = false;
        } else if (a == "--input-file") {
            args.RunOption = true;
            if (!value(args.InputFile) || args.InputFile.empty())
                return UsageError("--input-file takes a file name");
        } else if (a == "--output-file") {
            args.RunOption = true;
            if (!value(args.OutputFile) || args.OutputFile.empty())
                return UsageError("--output-file takes a file name");
        } else if (a == "--eof") {
            args.RunOption = true;
            std::string v;
            if (!value(v) || (v != "unchanged" && v != "zero" && v != "max"))
                return UsageError("--eof takes unchanged, zero or max");
            args.EndOfInput = v == "zero" ? cel::TEndOfInput::Zero
                              : v == "max" ? cel::TEndOfInput::Max
                                           : cel::TEndOfInput::Unchanged;
        } else if (a == "--stats") {
            args.RunOption = true;
            args.Stats = true;
        } else if (a == "--profile") {
            args.RunOption = true;
            args.Profile = true;
        } else if (a == "--single-step") {
            args.RunOption = true;
            args.SingleStep = true;
        } else if (a == "--break") {
            args.RunOption = true;
            std::string v;
            char* end = nullptr;
            const unsigned long offset = value(v) ? std::strtoul(v.c_str(), &end, 10) : 0;
            if (v.empty() || *end != '\0' || offset > UINT32_MAX) return UsageError("--break takes an offset");
            args.Breakpoints.push_back(static_cast<uint32_t>(offset));
        } else if (a == "--stop-at") {
            std::string v;
            char* end = nullptr;
            errno = 0;
            const unsigned long long n = value(v) ? std::strtoull(v.c_str(), &end, 10) : 0;
            if (v.empty() || *end != '\0' || errno != 0 || v[0] == '-' || n == UINT64_MAX)
                return UsageError("--stop-at takes a count");
            args.StopAt = n;
            args.RunOption = true;
        } else if (a == "--plain") {
            args.RunOption = true;
            args.Plain = true;
        } else if (a == "--engine") {
            std::string v;
            if (!value(v) || (v != "jit" && v != "fast" && v != "plain"))
                return UsageError("--engine takes jit, fast or plain");
            args.RunOption = true;
            args.Plain = v == "plain";
            args.Native = v == "jit";
        } else if (a == "--dump-lists") {
            args.RunOption = true;
            args.DumpLists = true;
        } else if (a == "--dump-fast") {
            args.RunOption = true;
            args.DumpFast = true;
        } else if (a == "--dump-native") {
            args.RunOption = true;
            if (!value(args.DumpNative) || args.DumpNative.empty())
                return UsageError("--dump-native takes a file name");
        } else if (a == "--help" || a == "-h") {
            return WriteStdout(std::string(Usage) + Help) ? 0 : 1;
        } else if (a == "--version") {
            return WriteStdout("cellwright-run " CELLWRIGHT_VERSION "\n") ? 0 : 1;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return UsageError("unknown option " + a);
        } else if (args.Program.empty()) {
            args.Program = a;
        } else {
            return UsageError("only one PROGRAM may be given");
        }
    }
    if (args.Generate && args.Strip) return UsageError("--generate and --strip cannot be combined");
    if ((args.Generate || args.Strip) && args.RunOption)
        return UsageError("run options cannot be combined with --generate or --strip");
    if (args.Generate && args.PBrain) return UsageError("--generate takes no --pbrain");
    if (!args.Strip && (args.KeepCommentLines || args.LineLength != "70"))
        return UsageError("--keep-comment-lines and --line-length belong to --strip");
    if (args.Generate) return Generate(args);
    if (args.Program.empty()) return UsageError("no PROGRAM given");

    std::string text;
    if (struct stat st{}; args.Program != "-" && ::stat(args.Program.c_str(), &st) == 0 && st.st_size >= LargeProgram)
        UseLargePages();
    if (args.Program == "-") {
        std::string bytes;
        if (!ReadToEnd(0, bytes)) return CannotRead("standard input");
        text = cel::SourceTextFromBytes(bytes);
    } else if (!cel::ReadSourceFile(args.Program, text)) {
        return CannotRead(args.Program);
    }
    if (args.Strip) return Strip(args, text);
    if (args.DumpLists + args.DumpFast + !args.DumpNative.empty() > 1)
        return UsageError("--dump-lists, --dump-fast and --dump-native cannot be combined");
    if (args.DumpLists) return DumpLists(args, text);
    if (args.DumpFast) return DumpFast(args, text);
    if (!args.DumpNative.empty()) return DumpNative(args, text);
    return Run(args, std::move(text));
}
