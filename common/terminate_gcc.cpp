// GCC only: linked into the programs alone (common/CMakeLists.txt); tests keep the default.
// libstdc++'s default terminate handler prints the type of an uncaught exception to stderr,
// which a GUI program does not have, and brings the C++ demangler and MinGW's printf along:
// about a quarter of each program. A definition of our own keeps the library's copy out of the
// link; terminate still ends the program through abort.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler()
{
    std::abort();
}

}  // namespace __gnu_cxx
