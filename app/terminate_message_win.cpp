// The message of std::terminate, without the C++ name demangler.
//
// libstdc++'s default terminate handler prints the type of the uncaught
// exception demangled, which links in the whole demangler (about 46 KB, some
// 3 % of the installer). This definition takes the place of the library's
// (the linker then never loads that member of libstdc++.a): the same lines on
// stderr, with the type's mangled name, then abort().
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include <cxxabi.h>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  static bool terminating = false;
  if (terminating) {
    std::fputs("terminate called recursively\n", stderr);
    std::abort();
  }
  terminating = true;
  if (const std::type_info* type = abi::__cxa_current_exception_type()) {
    const char* name = type->name();
    std::fprintf(stderr, "terminate called after throwing an instance of '%s'\n", name + (*name == '*'));
    try {
      throw;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "  what():  %s\n", e.what());
    } catch (...) {
    }
  } else {
    std::fputs("terminate called without an active exception\n", stderr);
  }
  std::abort();
}

}  // namespace __gnu_cxx
