// One IDE per user and display: a later start hands its files to the IDE that runs already,
// through a local socket, and ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace cel {

// The local socket for this user and this display or Wayland session: in the user's runtime
// folder (XDG_RUNTIME_DIR), else in the temporary folder, named with the user id and the
// displays.
QString InstanceServerName();

class TInstance final : public QObject {
    Q_OBJECT
public:
    enum TRole {
        Primary,     // this process is the IDE of the session (or runs alone: no socket could be made)
        HandedOver,  // the running IDE took the files; this process ends
        Second,      // another IDE runs and this one starts anyway (--new-instance)
        Unanswered,  // another IDE runs but did not take the files in time
    };
    // Decides this process's role before any window exists: hands files (none: just "come to
    // the front") to the IDE listening at name unless newInstance; without one, listens there
    // itself. A socket left by an IDE that crashed is removed; two processes starting at once
    // decide one after the other (a lock file beside the socket), so only one listens.
    TRole Start(const QString& name, const QStringList& files, bool newInstance);

signals:
    // A later start handed these files over (an empty list: it asked only to come to the front).
    // Emitted on the GUI thread, after the other process has its answer.
    void FilesHandedOver(const QStringList& files);

private:
    void Receive(class QLocalSocket* socket);
    QLocalServer Server;
};

}  // namespace cel
