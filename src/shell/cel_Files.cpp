#include "cel_Files.h"

#include <QSaveFile>

namespace cel {

const QString SourceFilter = QStringLiteral(
    "All brainfuck files|*.b;*.bf;*.pb|Classic brainfuck files (*.b, *.bf)|*.b;*.bf|"
    "pbrain files (*.pb)|*.pb|All files|*.*");

bool ReplaceFileContents(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace cel
