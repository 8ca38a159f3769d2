// Files and byte texts as the windows hand them on: saving a file whole, and a byte array seen
// as the engine and the tools take text.
#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

namespace cel {

// Replaces a file's contents through a temporary file that takes the file's place only once
// every byte has been written: a failed write (a full disk, no permission) leaves the old file
// as it was. Writes are unbuffered, so an error of the last bytes is not lost in a buffer that
// is flushed only on closing.
bool ReplaceFileContents(const QString& path, const QByteArray& bytes);

// The file filter of the dialogs that open and save sources.
extern const QString SourceFilter;

// The bytes of a byte array, without a copy; valid while the array is unchanged.
inline std::string_view BytesView(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace cel
