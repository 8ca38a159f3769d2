#include "cel_SourceText.h"

#include <algorithm>
#include <cstdio>

namespace cel {

std::string SourceTextFromBytes(std::string_view bytes) {
    const size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 32);
    const size_t n = bytes.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n') {
            text.push_back(c);
            continue;
        }
        if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ++i;
        // A break that ends the text starts no further line.
        if (i + 1 < n) text.append("\r\n");
    }
    return text;
}

bool ReadSourceFile(const std::string& path, std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    // Read into the string itself in growing blocks: a short file touches one page.
    std::string bytes;
    size_t used = 0;
    for (size_t block = 4096;; block = std::min<size_t>(block * 2, size_t{1} << 20)) {
        bytes.resize(used + block);
        const size_t n = std::fread(bytes.data() + used, 1, block, f);
        used += n;
        if (n < block) break;
    }
    bytes.resize(used);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return false;
    text = SourceTextFromBytes(bytes);
    return true;
}

TSourcePlace PlaceOf(std::string_view text, size_t offset) {
    const std::string_view before = text.substr(0, offset);
    const size_t lineStart = before.rfind('\n') + 1;  // npos + 1 == 0: the first line
    return {static_cast<size_t>(std::count(before.begin(), before.end(), '\n')) + 1, offset - lineStart + 1};
}

}  // namespace cel
