// Large inputs through the real windows on the offscreen platform: one scenario per process, so
// the peak memory it reports is the scenario's own. Prints one line:
//   <scenario> seconds=<wall time> peak_mb=<peak resident set> <details>
// Run all of them with bench/large.sh.

#include "gui_support.h"

#include "cel_EditWin.h"
#include "cel_Main.h"
#include "cel_MemoryWin.h"
#include "cel_OutputWin.h"
#include "cel_Strip.h"
#include "cel_StripWin.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <Qsci/qsciscintilla.h>

#include <sys/resource.h>

#include <cstdio>

using namespace celtest;

namespace {

double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A loop that repeats body count times (count 1..255) using the cell at offset from the
// current one as its counter; the pointer ends where it started.
QByteArray Repeat(int count, int offset, const QByteArray& body) {
    const QByteArray right(offset, '>');
    const QByteArray left(offset, '<');
    return right + QByteArray(count, '+') + "[" + left + body + right + "-]" + left;
}

// mb * 10486 lines of 99 letters A and a line feed: a little over mb * 2^20 bytes.
QByteArray LinesProgram(int mb) {
    return QByteArray(65, '+') + ">" + QByteArray(10, '+') + "<" +
           Repeat(mb, 2, Repeat(107, 3, Repeat(98, 4, Repeat(9, 5, "...........") + ">.<")));
}

QString CorpusFile(const char* name) {
    QString dir = qEnvironmentVariable("CELLWRIGHT_CORPUS");
    if (dir.isEmpty()) dir = QStringLiteral(CELLWRIGHT_DEFAULT_CORPUS);
    return dir + QLatin1Char('/') + QLatin1String(name);
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (condition()) return true;
    }
    return false;
}

// Runs the editor's program to its end; the time from the Run command to the ready state.
double RunToEnd(int timeoutMs = 3600000) {
    QElapsedTimer timer;
    timer.start();
    if (!Trigger("MenuDoRun")) return -1;
    if (!WaitFor([] { return !Workspace->Running() && celtest::Action("MenuDoRun")->isEnabled(); }, timeoutMs)) return -1;
    WaitReady();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// RunToEnd as the IDE runs: the GUI thread sleeps in its event loop between events instead of
// polling, so it leaves the engine thread the processor.
double RunToEndIdle() {
    QElapsedTimer timer;
    timer.start();
    if (!Trigger("MenuDoRun")) return -1;
    QTimer tick;  // wakes the loop now and then, whatever the engine does
    tick.start(100);
    while (Workspace->Running() || !celtest::Action("MenuDoRun")->isEnabled())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    WaitReady();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

void Report(const char* scenario, double seconds, const QString& details) {
    std::printf("%s seconds=%.3f peak_mb=%.1f %s\n", scenario, seconds, PeakMb(), qPrintable(details));
    std::fflush(stdout);
}

// The output window's text: its size in bytes (line breaks as CR LF), its line count, and the
// number of lines shown (a very long line is shown in pieces).
QString OutputShape() {
    QCoreApplication::processEvents();
    const QByteArray text = OutputWin->Text();
    return QStringLiteral("output_bytes=%1 output_lines=%2 shown_lines=%3")
        .arg(text.size())
        .arg(text.count("\r\n") + 1)
        .arg(OutputWin->Output->document()->blockCount());
}

int Scenario(const QString& name) {
    TWindows windows;
    const QByteArray name8 = name.toLatin1();
    const char* scenario = name8.constData();
    QTemporaryDir temp;
    QElapsedTimer timer;

    if (name == QLatin1String("open-lostkng") || name == QLatin1String("run-lostkng") ||
        name == QLatin1String("strip-lostkng")) {
        timer.start();
        if (!TMainWinProbe::OpenFile(CorpusFile("LostKng.b"))) return 1;
        TMainWinProbe::AfterOpen();
        QCoreApplication::processEvents();
        const double openSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        if (name == QLatin1String("open-lostkng")) {
            Report(scenario, openSeconds, QStringLiteral("text_bytes=%1").arg(EditWin->Text().size()));
        } else if (name == QLatin1String("run-lostkng")) {
            Workspace->InputFileName = CorpusFile("LostKng.in");
            const double seconds = RunToEnd();
            Report(scenario, seconds, QStringLiteral("executed=%1 %2")
                                          .arg(Workspace->Interpreter->GetExecuted())
                                          .arg(OutputShape()));
        } else {
            // The dialog strips the editor's text as it opens.
            timer.restart();
            QTimer::singleShot(0, [] { StripWin->reject(); });
            Trigger("MenuStrip");
            Report(scenario, static_cast<double>(timer.nsecsElapsed()) / 1e9, QStringLiteral("dialog opened and closed"));
        }
        return 0;
    }
    if (name.startsWith(QLatin1String("output-lines-")) || name.startsWith(QLatin1String("output-one-line-"))) {
        // N MB (N = 1..255) of output: lines of 99 letters and a line break, or letters alone
        // in one line. The largest output buffer: each buffer is shown after a 1 ms pause.
        const int mb = name.section(QLatin1Char('-'), -1).toInt();
        if (mb < 1 || mb > 255) return 2;
        QByteArray program;
        if (name.startsWith(QLatin1String("output-lines-"))) {
            program = LinesProgram(mb);
        } else {
            program = QByteArray(65, '+') + Repeat(mb, 2, Repeat(16, 3, Repeat(64, 4, Repeat(8, 5, Repeat(128, 6, ".")))));
        }
        Workspace->OutputBufferSize = 255;
        EditWin->SetText(program);
        const double seconds = RunToEnd();
        Report(scenario, seconds, OutputShape());
        return 0;
    }
    if (name.startsWith(QLatin1String("run-file="))) {
        // The program in the file, opened in the editor and run to its end with the settings'
        // output buffer (128): the time from Run to the ready state, and the SHA-1 of the output
        // window's text with its line breaks as LF, to compare with what the command-line
        // runner prints for a program that prints no CR and no NUL.
        if (!TMainWinProbe::OpenFile(name.section(QLatin1Char('='), 1))) return 1;
        TMainWinProbe::AfterOpen();
        const double seconds = RunToEndIdle();
        QByteArray printed = OutputWin->Text();
        printed.replace("\r\n", "\n");
        Report(scenario, seconds, QStringLiteral("output_sha1=%1 %2")
                                      .arg(QString::fromLatin1(QCryptographicHash::hash(printed, QCryptographicHash::Sha1).toHex()))
                                      .arg(OutputShape()));
        return 0;
    }
    if (name == QLatin1String("reset-during-50mb-line")) {
        // A program floods one line until the window holds 50 MB of it; then Program Reset.
        // Reports the time Reset takes to bring the IDE to the ready state, and the longest
        // time the GUI thread spent in one piece of work meanwhile: what a click on Reset may
        // have to wait for at worst.
        EditWin->SetText(QByteArray(65, '+') + "[.]");
        Workspace->OutputBufferSize = 255;
        Trigger("MenuDoRun");
        QElapsedTimer gap;
        gap.start();
        qint64 longest = 0;
        WaitFor([&] {
            longest = std::max(longest, gap.restart());
            return OutputWin->Output->document()->characterCount() > 50 * 1024 * 1024;
        }, 3600000);
        timer.start();
        Trigger("MenuReset");
        const bool ended = WaitReady(600000);
        Report(scenario, static_cast<double>(timer.nsecsElapsed()) / 1e9,
               QStringLiteral("ended=%1 longest_gui_stall_ms=%2 %3").arg(ended).arg(longest).arg(OutputShape()));
        return 0;
    }
    if (name == QLatin1String("nesting-1m")) {
        const QByteArray program = QByteArray(1000000, '[') + QByteArray(1000000, ']') + "+.";
        timer.start();
        EditWin->SetText(program);
        QCoreApplication::processEvents();
        const double setSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        const double seconds = RunToEnd();
        Report(scenario, seconds, QStringLiteral("editor_seconds=%1 %2").arg(setSeconds, 0, 'f', 3).arg(OutputShape()));
        return 0;
    }
    if (name == QLatin1String("caret-1mb")) {
        // 1 MB of lines like "+[>+<-]>[-<+>]<." after one change: the caret steps 2,000 times
        // through the text onto a bracket, whose pair is highlighted, and as a peer 2,000 times
        // onto the start of a line, next to no bracket.
        const QByteArray line = "+[>+<-]>[-<+>]<.\r\n";
        QByteArray program;
        while (program.size() < 1000000) program += line;
        EditWin->SetText(program);
        QCoreApplication::processEvents();
        const int moves = 2000;
        const int step = int(program.size() / moves / line.size()) * int(line.size());
        double msPerMove[2] = {};
        for (const int onBracket : {1, 0}) {
            timer.start();
            for (int i = 0; i < moves; ++i) {
                EditWin->SetSelection(i * step + onBracket, 0);
                QCoreApplication::processEvents();
            }
            msPerMove[onBracket] = static_cast<double>(timer.nsecsElapsed()) / 1e6 / moves;
        }
        Report(scenario, msPerMove[1] * moves / 1000,
               QStringLiteral("moves=%1 ms_per_move_onto_bracket=%2 ms_per_move_elsewhere=%3 text_bytes=%4")
                   .arg(moves).arg(msPerMove[1], 0, 'f', 3).arg(msPerMove[0], 0, 'f', 3).arg(program.size()));
        return 0;
    }
    if (name == QLatin1String("typed-line-64k")) {
        // The program echoes what it reads up to a NUL.
        EditWin->SetText(",[.,]");
        Trigger("MenuDoRun");
        if (!WaitFor([] { return Workspace->WaitingForInput(); }, 60000)) return 1;
        timer.start();
        OutputWin->LastInputEdit = OutputWin->EditLine;
        OutputWin->EditLine->setText(QString(65536, QLatin1Char('a')));
        OutputWin->BtnOkClick();
        WaitFor([] { return Workspace->WaitingForInput(); }, 600000);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        Trigger("MenuReset");
        WaitReady();
        Report(scenario, seconds, OutputShape());
        return 0;
    }
    if (name == QLatin1String("input-file-100mb")) {
        const QString path = temp.filePath(QStringLiteral("input"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        const QByteArray block(1 << 20, 'a');
        for (int i = 0; i < 100; ++i) file.write(block);
        file.write(QByteArray(1, '\0'));
        file.close();
        EditWin->SetText(",[,]");
        Workspace->InputFileName = path;
        const double seconds = RunToEnd();
        Report(scenario, seconds, QStringLiteral("executed=%1").arg(Workspace->Interpreter->GetExecuted()));
        return 0;
    }
    if (name.startsWith(QLatin1String("output-file-"))) {
        // N MB of lines of 100 bytes into an output file. output-file-N closes the output window
        // as the run starts, as a user who only wants the file would: the window then takes
        // nothing and the file everything. output-file-window-N keeps the window open, so the
        // output also goes there, a buffer at a time after a 1 ms pause each (buffer size 255).
        const bool window = name.startsWith(QLatin1String("output-file-window-"));
        const int mb = name.section(QLatin1Char('-'), -1).toInt();
        if (mb < 1 || mb > 255) return 2;
        const QString path = temp.filePath(QStringLiteral("output"));
        EditWin->SetText(LinesProgram(mb));
        Workspace->OutputFileName = path;
        Workspace->OutputBufferSize = 255;
        timer.start();
        if (!Trigger("MenuDoRun")) return 1;
        if (!window) OutputWin->close();
        if (!WaitFor([] { return !Workspace->Running() && celtest::Action("MenuDoRun")->isEnabled(); }, 3600000)) return 1;
        WaitReady();
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        // Every byte must be in the file: mb * 10486 lines of 99 letters and a line feed.
        QFile file(path);
        bool exact = file.open(QIODevice::ReadOnly) && file.size() == qint64(mb) * 10486 * 100;
        for (QByteArray block; exact && !(block = file.read(100 * 4096)).isEmpty();) {
            for (qsizetype i = 0; exact && i < block.size(); i += 100)
                exact = block.mid(i, 99) == QByteArray(99, 'A') && block.at(i + 99) == '\n';
        }
        Report(scenario, seconds, QStringLiteral("file_bytes=%1 file_exact=%2 %3")
                                      .arg(QFileInfo(path).size())
                                      .arg(exact)
                                      .arg(OutputShape()));
        return 0;
    }
    if (name == QLatin1String("watch-memory-shown") || name == QLatin1String("watch-memory-hidden") ||
        name == QLatin1String("watch-100hz")) {
        // Watching for 3 seconds: steps per second at the unlimited speed with the memory window
        // drawn at every step, or hidden; and at 100 Hz with it drawn.
        if (name.endsWith(QLatin1String("hidden"))) Trigger("MenuMemory");
        Workspace->WatchDelay = name == QLatin1String("watch-100hz") ? 10 : 0;
        Trigger("MenuWatch");
        EditWin->SetText("+[>+]");
        Trigger("MenuDoRun");
        timer.start();
        WaitFor([] { return false; }, 3000);
        const uint64_t executed = Workspace->Interpreter->GetExecuted();
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        Trigger("MenuReset");
        WaitReady();
        Report(scenario, seconds, QStringLiteral("steps_per_second=%1").arg(static_cast<double>(executed) / seconds, 0, 'f', 0));
        return 0;
    }
    std::fprintf(stderr, "unknown scenario %s\n", scenario);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QuietOffscreenWarnings();
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: bench_large SCENARIO\n  open-lostkng run-lostkng strip-lostkng output-lines-N "
                     "output-one-line-N (N megabytes) reset-during-50mb-line nesting-1m typed-line-64k "
                     "input-file-100mb output-file-N output-file-window-N watch-memory-shown watch-memory-hidden "
                     "watch-100hz run-file=PROGRAM.b\n");
        return 2;
    }
    return Scenario(QString::fromLatin1(argv[1]));
}
