#include "cel_CommandLine.h"

#include "cel_Version.h"

#include <QDir>

namespace cel {

TCommandLine ParseCommandLine(const QStringList& arguments) {
    TCommandLine result;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument.size() > 1 && argument.startsWith(QLatin1Char('-'))) {
            if (argument == QLatin1String("--")) {
                optionsEnded = true;
                continue;
            }
            if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
                result.Action = TCommandLine::Help;
            } else if (argument == QLatin1String("--version")) {
                result.Action = TCommandLine::Version;
            } else {
                result.Action = TCommandLine::UsageError;
                result.Error = QStringLiteral("unknown option ") + argument;
            }
            result.Files.clear();
            return result;
        }
        if (argument.isEmpty()) {
            result.Action = TCommandLine::UsageError;
            result.Error = QStringLiteral("an empty file name");
            result.Files.clear();
            return result;
        }
        result.Files << QDir::cleanPath(QDir::current().absoluteFilePath(argument));
    }
    return result;
}

QString CommandLineHelp() {
    return QStringLiteral(
        "usage: cellwright [FILE...]\n"
        "       cellwright --help | --version\n"
        "\n"
        "Starts Cellwright, the IDE for Brainfuck and pbrain, and opens each FILE in a tab of its\n"
        "own as File > Open does.\n"
        "\n"
        "  FILE...    source files (.b, .bf, .pb) to open once the windows are up\n"
        "  --help     print this help and exit\n"
        "  --version  print the version and exit\n"
        "  --         every later argument is a FILE, also one that begins with -\n"
        "\n"
        "Qt's own options, such as -platform or -style, are taken too. The settings live in\n"
        "cellwr.ini beside the program when its folder can be written, otherwise in\n"
        "~/.config/Cellwright/cellwr.ini.\n");
}

QString CommandLineVersion() { return QStringLiteral("cellwright " CELLWRIGHT_VERSION "\n"); }

}  // namespace cel
