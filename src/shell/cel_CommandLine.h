// The IDE's command line: cellwright [--new-instance] [FILE...], cellwright --help, cellwright
// --version; and the platform the IDE asks Qt for.
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
    // --new-instance: start even when an IDE runs in this session already.
    bool NewInstance = false;
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

// What the platform choice looks at in the environment.
struct TPlatformEnvironment {
    QString WaylandDisplay;  // WAYLAND_DISPLAY
    QString Display;         // DISPLAY
    QString SessionType;     // XDG_SESSION_TYPE
    QString QpaPlatform;     // QT_QPA_PLATFORM
};
// The platform plugin to ask Qt for, or empty to leave the choice to Qt. On Wayland a program
// cannot place its own windows, and the IDE's window set would fall apart: in a Wayland session
// with an X display (XWayland) the IDE runs on "xcb" ("xcb;wayland": Qt goes on to Wayland
// when the X display cannot be reached). A platform the user chose, with -platform
// among the arguments (Qt's options still in them) or QT_QPA_PLATFORM, stands.
QString ChoosePlatform(const QStringList& arguments, const TPlatformEnvironment& environment);

}  // namespace cel
