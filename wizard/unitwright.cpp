// The class generator wizard program. Without arguments it opens the
// wizard's window; with --model it writes the unit for a model file without
// one (see wizard/CodeGenBatch.h).
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "corvid/containers/ObjRoot.h"
#include "corvid/wizard/CodeGenBatch.h"
#include "corvid/wizard/WizMain.h"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return corvid::RunWizardWindow(argc, argv, std::cerr);
    return corvid::RunUnitwright(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "unitwright: " << e.what() << '\n';
    return corvid::kExitInternalError;
  }
}
