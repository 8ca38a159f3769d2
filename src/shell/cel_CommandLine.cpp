#include "cel_CommandLine.h"

#include "cel_Version.h"

#include <QDir>

namespace cel {

namespace {

// Qt's own options as QGuiApplication, QApplication and the X11 platform take them out of the
// arguments, with one dash or two: those that take a value (the next argument, or after "=").
const char* const QtValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowicon", "icon", "qwindowtitle", "title", "session", "style", "stylesheet", "display",
    "name", "visual", "ncols", "cmap", "im", "inputstyle", "qmljsdebugger",
};
const char* const QtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

// For an option of Qt's: how many arguments it takes up (1 or 2); 0 for any other argument.
int QtOptionLength(const QString& argument, bool valueFollows) {
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    const bool inlineValue = equals >= 0;
    if (inlineValue) name.truncate(equals);
    for (const char* option : QtValueOptions)
        if (name == QLatin1String(option)) return inlineValue || !valueFollows ? 1 : 2;
    if (inlineValue) return 0;
    for (const char* option : QtFlagOptions)
        if (name == QLatin1String(option)) return 1;
    return 0;
}

}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments, bool qtOptions) {
    TCommandLine result;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument.size() > 1 && argument.startsWith(QLatin1Char('-'))) {
            if (argument == QLatin1String("--")) {
                optionsEnded = true;
                continue;
            }
            if (qtOptions) {
                if (const int length = QtOptionLength(argument, i + 1 < arguments.size())) {
                    i += length - 1;
                    continue;
                }
            }
            if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
                result.Action = TCommandLine::Help;
            } else if (argument == QLatin1String("--version")) {
                result.Action = TCommandLine::Version;
            } else if (argument == QLatin1String("--new-instance")) {
                result.NewInstance = true;
                continue;
            } else {
                result.Action = TCommandLine::UsageError;
                result.Error = QStringLiteral("unknown option ") + argument;
            }
            result.Files.clear();
            result.NewInstance = false;
            return result;
        }
        if (argument.isEmpty()) {
            result.Action = TCommandLine::UsageError;
            result.Error = QStringLiteral("an empty file name");
            result.Files.clear();
            result.NewInstance = false;
            return result;
        }
        result.Files << QDir::cleanPath(QDir::current().absoluteFilePath(argument));
    }
    return result;
}

QString CommandLineHelp() {
    return QStringLiteral(
        "usage: cellwright [--new-instance] [FILE...]\n"
        "       cellwright --help | --version\n"
        "\n"
        "Starts Cellwright, the IDE for Brainfuck and pbrain, and opens each FILE in a tab of its\n"
        "own as File > Open does. When Cellwright runs already (same user, same display), the\n"
        "FILEs open in its editor instead, a tab already open is brought forward, it comes to the\n"
        "front, and this command ends.\n"
        "\n"
        "  FILE...         source files (.b, .bf, .pb) to open once the windows are up\n"
        "  --new-instance  start another Cellwright even when one runs; that one does not save\n"
        "                  its settings, so that it cannot overwrite the other's, and says so\n"
        "  --help          print this help and exit\n"
        "  --version       print the version and exit\n"
        "  --              every later argument is a FILE, also one that begins with -\n"
        "\n"
        "Qt's own options, such as -platform or -style, are taken too. In a Wayland session\n"
        "Cellwright runs on XWayland (-platform xcb) when an X display is there, so that it can\n"
        "arrange its windows, unless -platform or QT_QPA_PLATFORM chooses otherwise. The\n"
        "settings live in cellwr.ini beside the program when its folder can be written,\n"
        "otherwise in ~/.config/Cellwright/cellwr.ini.\n");
}

QString ChoosePlatform(const QStringList& arguments, const TPlatformEnvironment& environment) {
    if (!environment.QpaPlatform.isEmpty()) return {};
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--")) break;
        for (const char* option : {"-platform", "--platform"}) {
            if (argument == QLatin1String(option) || argument.startsWith(QLatin1String(option) + QLatin1Char('=')))
                return {};
        }
    }
    const bool wayland = !environment.WaylandDisplay.isEmpty() ||
                         environment.SessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
    // Without an X display there is no XWayland to go to: Qt's choice stands, and on Wayland the
    // compositor places the windows.
    if (!wayland || environment.Display.isEmpty()) return {};
    // Native Wayland after all when the X display cannot be reached.
    return QStringLiteral("xcb;wayland");
}

QString CommandLineVersion() { return QStringLiteral("cellwright " CELLWRIGHT_VERSION "\n"); }

}  // namespace cel
