#include "core/CodePage.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// The system's ANSI code page; a character it lacks becomes '?'.
QByteArray ToCodePage(const QString& text) {
    if (text.isEmpty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int length = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, "?", nullptr);
    QByteArray bytes(size, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide, length, bytes.data(), size, "?", nullptr);
    return bytes;
}
