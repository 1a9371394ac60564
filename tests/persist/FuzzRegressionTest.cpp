// Inputs the object-stream fuzzer once crashed on (fuzz/regressions): each
// must now be read to its end or refused with a library exception, under the
// sanitizers, without touching freed memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "persist/ObjPerst.h"

namespace corvid {
namespace {

std::filesystem::path RegressionDir() {
  // The source tree by its absolute path: __FILE__ may be relative to the
  // build folder (ccache with a base directory rewrites it).
  return std::filesystem::path(CORVID_SOURCE_DIR) / "fuzz" / "regressions" / "ReadObjectFuzz";
}

TEST(FuzzRegressions, EveryRecordedInputIsReadOrRefusedCleanly) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(RegressionDir())) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    const std::string bytes = content.str();
    TMemoryStream input;
    input.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    input.SetPosition(0);
    TObjectStream stream(&input, false);
    bool refused = false;
    while (!refused && !stream.GetEndOfStream()) {
      try {
        stream.ReadObject();
      } catch (const Exception&) {
        refused = true;
      }
    }
    EXPECT_TRUE(refused || stream.GetEndOfStream()) << entry.path();
    ++files;
  }
  EXPECT_GT(files, 0) << "no regression inputs found in " << RegressionDir();
}

}  // namespace
}  // namespace corvid
