// cellwright-run: runs a Brainfuck or pbrain program on the IDE's engine, without windows.
//
//   cellwright-run [--cells 8|16] [--pbrain] [--no-comment-markers] [--input-file FILE]
//                  [--output-file FILE] [--stats] [--single-step] [--plain] [--dump-lists]
//                  PROGRAM
//   cellwright-run --generate [TEXTFILE]
//   cellwright-run --strip [--keep-comment-lines] [--pbrain] [--line-length N] PROGRAM
//
// Output goes through the engine's output-file path to standard output (or FILE); input comes
// from the input file first, then from standard input. Exit status: 0 normal end, 1 engine
// error, 2 usage error or unreadable program.
//
// The two tools are the IDE's: --generate prints the code that prints the bytes of TEXTFILE (or
// of standard input); --strip prints PROGRAM reduced to its commands and the count on standard
// error.
//
//   cellwright-run --help | --version

#include "cel_HeadlessHost.h"
#include "cel_SourceText.h"
#include "cel_Strip.h"
#include "cel_TextGen.h"
#include "cel_Version.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: cellwright-run [--cells 8|16] [--pbrain] [--no-comment-markers]\n"
    "                      [--input-file FILE] [--output-file FILE] [--stats] [--single-step]\n"
    "                      [--plain] [--dump-lists] PROGRAM\n"
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
    "  --stats                print the executed command count and the seconds on standard error\n"
    "  --single-step          run one command at a time throughout, as the IDE's watch mode does\n"
    "  --plain                run at full speed on the folded list as it is, without its fast\n"
    "                         form (for comparisons)\n"
    "  --dump-lists           print the analysed instruction lists instead of running\n"
    "The tools:\n"
    "  --generate [TEXTFILE]  print code that prints the bytes of TEXTFILE (or standard input)\n"
    "  --strip PROGRAM        print the program's commands alone, their count on standard error\n"
    "  --keep-comment-lines   with --strip: keep the commands on comment lines\n"
    "  --line-length N        with --strip: a line break after every N commands (default 70)\n"
    "Other:\n"
    "  --help                 print this help and exit\n"
    "  --version              print the version and exit\n"
    "\n"
    "Exit status: 0 normal end, 1 engine error, 2 usage error or unreadable PROGRAM.\n";

struct TArguments {
    bool Wide = false;
    bool PBrain = false;
    bool CommentMarkers = true;
    std::string InputFile;
    std::string OutputFile;
    bool Stats = false;
    bool SingleStep = false;
    bool Plain = false;
    bool DumpLists = false;
    // --break OFFSET (repeatable, for measurements, not in the help): the run passes these
    // breakpoints without stopping; --stats counts them.
    std::vector<uint32_t> Breakpoints;
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

// Standard output as the program's output file; it is flushed, never closed.
class TStdoutFile final : public cel::TByteFile {
public:
    long Read(uint8_t*, size_t) override { return -1; }
    bool Write(const uint8_t* data, size_t size) override {
        return std::fwrite(data, 1, size, stdout) == size;
    }
    bool Close() override { return std::fflush(stdout) == 0; }
};

class TRunnerHost final : public cel::THeadlessHost {
public:
    bool OutputToStdout = true;
    int ErrorShown = 0;
    bool EndOfInput = false;
    uint64_t BreaksMet = 0;

    // A breakpoint's pause: counted, and the run goes on at once.
    void PresentPaused() override {
        if (ErrorShown == cel::errIllegalCall) return;  // that pause ends the run
        ++BreaksMet;
        Interpreter.Continue();
    }

    std::unique_ptr<cel::TByteFile> CreateOutputFile(const std::string& name) override {
        if (OutputToStdout) return std::make_unique<TStdoutFile>();
        return cel::THeadlessHost::CreateOutputFile(name);
    }

    void ShowError(int code) override {
        std::fprintf(stderr, "%s\n", cel::ErrorText(code).c_str());
        if (ErrorShown == 0) ErrorShown = code;
        // An illegal call would pause for the user; here it ends the run.
        if (code == cel::errIllegalCall) Interpreter.Terminate();
    }

    // Serves an input request from standard input; at its end the cell stays unchanged.
    // Runs in the engine's hand-off, so its output buffer may be written out here.
    void RequestInput() override {
        std::string data;
        if (!EndOfInput) {
            // What the program printed so far (its prompt) is out before the runner waits.
            Interpreter.FlushOutputFile();
            std::fflush(stdout);
            data.resize(cel::IOBlockSize);
            ssize_t n;
            do n = ::read(0, data.data(), data.size());
            while (n < 0 && errno == EINTR);
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

void AppendNumber(std::string& out, uint64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

int DumpLists(const TArguments& args, const std::string& text) {
    TRunnerHost host;
    cel::TBFInterpreter8 engine(host);
    const int error = engine.Analyze(text, args.CommentMarkers, args.PBrain);
    std::string out;
    out.reserve(1 << 20);
    auto dump = [&](char tag, const std::vector<cel::TInstruction>& list, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            out.push_back(tag);
            out.push_back(' ');
            AppendNumber(out, i);
            out.push_back(' ');
            AppendNumber(out, list[i].Origin);
            out.push_back(' ');
            AppendNumber(out, list[i].Arg);
            out.push_back(' ');
            AppendNumber(out, cel::Operation(list[i].Op).Code);
            out.push_back('\n');
            if (out.size() > (1 << 20) - 64) {
                std::fwrite(out.data(), 1, out.size(), stdout);
                out.clear();
            }
        }
    };
    dump('C', engine.GetCommandList(), engine.GetCommandCount());
    dump('F', engine.GetFoldedList(), engine.GetFoldedCount());
    out += "error: ";
    AppendNumber(out, static_cast<uint64_t>(error));
    out.push_back('\n');
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int Run(const TArguments& args, std::string text) {
    TRunnerHost host;
    host.Options.Text = std::move(text);
    host.Options.ProcMode = args.PBrain;
    host.Options.CommentMarkers = args.CommentMarkers;
    host.Options.InputFileName = args.InputFile;
    host.Options.OutputVisible = false;
    host.Options.Watch = args.SingleStep;
    host.Options.PlainEngine = args.Plain;
    host.Delay = 0;
    host.MemoryWindowVisible = false;
    if (args.OutputFile.empty()) {
        // The engine writes to "its output file", which here is standard output.
        host.Options.OutputFileName.assign(1, '-');  // any name: CreateOutputFile ignores it
    } else {
        host.OutputToStdout = false;
        host.Options.OutputFileName = args.OutputFile;
    }

    const auto start = std::chrono::steady_clock::now();
    host.Breakpoints = args.Breakpoints;
    host.StartRun(args.Wide, false);
    host.Interpreter.Engine().WaitFor();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fflush(stdout);

    if (args.Stats) {
        std::fprintf(stderr, "executed: %llu\nseconds: %.3f\n",
                     static_cast<unsigned long long>(host.Interpreter.GetExecuted()), seconds);
        if (!args.Breakpoints.empty())
            std::fprintf(stderr, "breakpoints met: %llu\n", static_cast<unsigned long long>(host.BreaksMet));
    }
    return host.ErrorShown != 0 ? 1 : 0;
}

// True when the two descriptors write to the same terminal, pipe or file.
bool SameDestination(int a, int b) {
    struct stat sa {}, sb {};
    if (::fstat(a, &sa) != 0 || ::fstat(b, &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool WriteAll(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
}

int Generate(const TArguments& args) {
    std::string text;
    if (args.Program.empty() || args.Program == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(args.Program, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cellwright-run: cannot read %s: %s\n", args.Program.c_str(), std::strerror(errno));
            return 2;
        }
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    return WriteAll(cel::GenerateCode(text)) ? 0 : 1;
}

int Strip(const TArguments& args, const std::string& source) {
    uint32_t lineLength = 0;
    if (!cel::ParseLineLength(args.LineLength, lineLength)) {
        std::fprintf(stderr, "%s\n", cel::IllegalLineLengthMessage);
        return 2;
    }
    const cel::TStripResult result = cel::StripCode(source, !args.KeepCommentLines, args.PBrain, lineLength);
    if (!WriteAll(result.Text)) return 1;
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
        } else if (a == "--stats") {
            args.RunOption = true;
            args.Stats = true;
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
        } else if (a == "--plain") {
            args.RunOption = true;
            args.Plain = true;
        } else if (a == "--dump-lists") {
            args.RunOption = true;
            args.DumpLists = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(Usage, stdout);
            std::fputs(Help, stdout);
            return 0;
        } else if (a == "--version") {
            std::puts("cellwright-run " CELLWRIGHT_VERSION);
            return 0;
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
    if (!cel::ReadSourceFile(args.Program, text)) {
        std::fprintf(stderr, "cellwright-run: cannot read %s: %s\n", args.Program.c_str(),
                     std::strerror(errno));
        return 2;
    }
    if (args.Strip) return Strip(args, text);
    if (args.DumpLists) return DumpLists(args, text);
    return Run(args, std::move(text));
}
