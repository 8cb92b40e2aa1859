// The C++ runtime's failure hooks and the library search, as the programs
// need them. Linked into Tavrel.exe and tavrelc.exe only: the tests keep the
// library's own.
#include "runtime.h"

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <new>

void LoadLibrariesFromSystemOnly() {
    // Both looked up: SetDefaultDllDirectories came with Windows 8 and an
    // update to Vista and 7; where it is missing, SetDllDirectoryW(L"") at
    // least takes the current folder out of the search.
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    using DefaultProc = BOOL(WINAPI*)(DWORD);
    using DirectoryProc = BOOL(WINAPI*)(LPCWSTR);
    constexpr DWORD kSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32, not in XP's headers
    auto setDefault = reinterpret_cast<DefaultProc>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault && setDefault(kSystem32)) return;
    if (auto setDirectory = reinterpret_cast<DirectoryProc>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW"))))
        setDirectory(L"");
}

#if defined(__GLIBCXX__)
namespace {

// Thrown where the library would throw length_error, logic_error or
// out_of_range: those classes carry a copy-on-write string that links the
// library's whole prebuilt string code (about 110 KiB). Nothing catches them
// by type. The programs themselves are built without exceptions, and then
// each of these ends the run instead.
class LibraryError final : public std::exception {
public:
    explicit LibraryError(const char* what) : what_(what) {}
    const char* what() const noexcept override { return what_; }

private:
    const char* what_;
};

}  // namespace

namespace std {
#if defined(__cpp_exceptions)
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char* what) { throw LibraryError(what); }
void __throw_logic_error(const char* what) { throw LibraryError(what); }
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }
#else
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
#endif
}  // namespace std

// libstdc++'s default terminate handler names the exception on stderr, which a
// windows-subsystem program has not got, and pulls the C++ demangler and a
// printf into the file (about 75 KB). It aborts after its message; so do we.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

#if !defined(__cpp_exceptions)
// The library's own operator new is built to throw, and brings the
// exception runtime with it; without exceptions a failed allocation ends
// the run here instead.
void* operator new(std::size_t size) {
    if (void* block = std::malloc(size ? size : 1)) return block;
    std::abort();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
#endif
#endif
