#include "platform/output.h"

#include "base/handle.h"
#include "platform/platform.h"

namespace platform {
namespace {

bool WriteConsoleText(HANDLE console, const std::wstring& text) {
    DWORD mode = 0;
    if (!GetConsoleMode(console, &mode)) return false;
    // Written in pieces: older consoles refuse one long write.
    constexpr size_t kPiece = 8192;
    for (size_t at = 0; at < text.size(); at += kPiece) {
        DWORD written = 0;
        DWORD count = static_cast<DWORD>(text.size() - at < kPiece ? text.size() - at : kPiece);
        if (!WriteConsoleW(console, text.data() + at, count, &written, nullptr)) return false;
    }
    return true;
}

bool WriteUtf8(HANDLE file, const std::wstring& text) {
    std::wstring crlf;
    for (wchar_t c : text) {
        if (c == L'\n') crlf += L'\r';
        crlf += c;
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), &bytes[0], size,
                            nullptr, nullptr);
    DWORD written = 0;
    return bytes.empty() ||
           (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size());
}

// Services and installers run where no one can see a box, or answer it.
bool DesktopVisible() {
    USEROBJECTFLAGS flags{};
    return !GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                      nullptr) ||
           (flags.dwFlags & WSF_VISIBLE);
}

}  // namespace

OutputTo WriteOutput(const std::wstring& text, UINT style, bool box) {
    // Redirected: the handle came with the process.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) {
        DWORD type = GetFileType(out);
        if (type == FILE_TYPE_CHAR && WriteConsoleText(out, text)) return OutputTo::kConsole;
        // Any other file, pipe or device (NUL, as an installer's "> NUL").
        if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR)
            return WriteUtf8(out, text) ? OutputTo::kFile : OutputTo::kNowhere;
    }
    // A windows-subsystem program gets no console of its own; it can borrow
    // the one it was started from. Looked up, like every newer call.
    using Attach = BOOL(WINAPI*)(DWORD);
    auto attach = reinterpret_cast<Attach>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AttachConsole")));
    if (attach && attach(ATTACH_PARENT_PROCESS)) {
        HANDLE opened =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        base::KernelHandle console(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
        // The prompt came back before the program wrote: start on a line of our own.
        if (console && WriteConsoleText(console.Get(), L"\n" + text)) return OutputTo::kConsole;
    }
    if (!box || !DesktopVisible()) return OutputTo::kNowhere;
    Current().ShowMessage(nullptr, text, L"Tavrel", style | MB_OK | MB_SETFOREGROUND);
    return OutputTo::kMessageBox;
}

}  // namespace platform
