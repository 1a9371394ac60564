#include "ExpectRaises.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace corvid::test {

std::string TypeName(const std::type_info& Type) {
  int status = 0;
  std::unique_ptr<char, decltype(&std::free)> name(
      abi::__cxa_demangle(Type.name(), nullptr, nullptr, &status), &std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(Type.name());
}

}  // namespace corvid::test
