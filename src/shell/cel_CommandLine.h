// The IDE's command line: cellwright [FILE...], cellwright --help, cellwright --version.
#pragma once

#include <QString>
#include <QStringList>

namespace cel {

struct TCommandLine {
    enum TAction { Start, Help, Version, UsageError };
    TAction Action = Start;
    // The files to open after start-up, in order, as absolute clean paths (resolved against the
    // current directory at the time of parsing, since opening a file changes it).
    QStringList Files;
    // For UsageError: what was wrong, one line.
    QString Error;
};

// Reads the arguments that follow the program name. Parsing stops at the first --help,
// --version or unknown option; after "--" every argument is a file. With qtOptions, the
// arguments still hold Qt's own options (-platform NAME, -style=NAME, -reverse, ...), which are
// passed over: so the command line is judged before Qt starts, and needs no display.
TCommandLine ParseCommandLine(const QStringList& arguments, bool qtOptions = false);

// The text --help prints; a usage error prints its first line and the error.
QString CommandLineHelp();
QString CommandLineVersion();

}  // namespace cel
