// Linked into each program rather than the library: libstdc++ looks the
// handler up after the program's own objects.
#include <cstdlib>

#if defined(__GLIBCXX__)
// libstdc++'s default terminate handler names the exception on stderr, and
// pulls the C++ demangler and a printf into the file (about 75 KB). It aborts
// after its message; so do we.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif
