// The class generator wizard program. With --model it writes the unit for a
// model file without opening a window (see wizard/CodeGenBatch.h).
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "containers/ObjRoot.h"
#include "wizard/CodeGenBatch.h"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return corvid::RunUnitwright(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "unitwright: " << e.what() << '\n';
    return corvid::kExitInternalError;
  }
}
