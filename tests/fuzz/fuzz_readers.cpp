// The source-file reader and the settings reader on arbitrary bytes.

#include "cel_Settings.h"
#include "cel_SourceText.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The editor's text: no NUL, line breaks only as CR LF; reading it again changes nothing but a
    // final line break, which ends the last line rather than starting another.
    const std::string text = cel::SourceTextFromBytes(bytes);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\0') __builtin_trap();
        if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) __builtin_trap();
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) __builtin_trap();
    }
    const bool endsWithBreak = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    if (cel::SourceTextFromBytes(text) != (endsWithBreak ? text.substr(0, text.size() - 2) : text))
        __builtin_trap();

    // The settings file: whatever was read is written back in a form that reads the same.
    cel::TIniFile ini;
    ini.Parse(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const QByteArray written = ini.Text();
    cel::TIniFile again;
    again.Parse(written);
    if (again.Text() != written) __builtin_trap();
    int32_t value = 0;
    (void)ini.ReadInteger(QStringLiteral("Program"), QStringLiteral("main_x"), -1000000);
    (void)cel::ParseIniInteger(QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), value);
    return 0;
}
