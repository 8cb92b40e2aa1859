#include "base/text.h"

#include <windows.h>

namespace base {

std::wstring Cat(std::initializer_list<std::wstring_view> parts) {
    size_t size = 0;
    for (std::wstring_view part : parts) size += part.size();
    std::wstring text;
    text.reserve(size);
    for (std::wstring_view part : parts) text.append(part.data(), part.size());
    return text;
}

std::wstring TimeText(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME t;
    wchar_t text[32] = L"(no time)";
    if (FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &t))
        wsprintfW(text, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return text;
}

}  // namespace base
