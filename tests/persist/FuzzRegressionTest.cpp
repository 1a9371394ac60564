// Inputs the object-stream fuzzer once crashed on (fuzz/regressions): each
// is read, under the sanitizers, with the outcome recorded for it here:
// refused with a given exception class, or read to its end. What was read
// before a refusal, or in full, must write back and read again, as the
// fuzzer demands.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "TempDir.h"
#include "corvid/persist/ObjPerst.h"

namespace corvid {
namespace {

std::filesystem::path RegressionDir() {
  // The source tree by its absolute path: __FILE__ may be relative to the
  // build folder (ccache with a base directory rewrites it).
  return std::filesystem::path(CORVID_SOURCE_DIR) / "fuzz" / "regressions" / "ReadObjectFuzz";
}

// Reads every object of Bytes; returns the class name of the exception that
// stopped the reading, or "" when the stream was read to its end. Each
// object read is copied through a stream of its own.
std::string ReadAll(const std::string& Bytes, int& Objects) {
  TMemoryStream input;
  input.WriteBuffer(Bytes.data(), static_cast<std::int64_t>(Bytes.size()));
  input.SetPosition(0);
  TObjectStream stream(&input, false);
  while (!stream.GetEndOfStream()) {
    std::unique_ptr<TObject> obj;
    try {
      obj = stream.ReadObject();
    } catch (const Exception& e) {
      return std::string(e.ClassName());
    }
    ++Objects;
    std::unique_ptr<TObject> copy;
    EXPECT_NO_THROW(copy = CloneObj(obj.get())) << "object " << Objects;
    EXPECT_EQ(copy == nullptr, obj == nullptr) << "object " << Objects;
  }
  return std::string();
}

TEST(FuzzRegressions, EveryRecordedInputEndsAsRecorded) {
  // Input file -> the exception class that refuses it ("" = read in full)
  // and the number of objects read before.
  const std::map<std::string, std::pair<std::string, int>> expected{
      {"array-wrong-compare-function", {"EInvalidObjectType", 0}},
      {"huge-declared-sizes", {"", 3}},
  };
  std::set<std::string> seen;
  for (const auto& entry : std::filesystem::directory_iterator(RegressionDir())) {
    const std::string name = entry.path().filename().string();
    seen.insert(name);
    int objects = 0;
    const std::string outcome = ReadAll(test::ReadBytes(entry.path().string()), objects);
    const auto it = expected.find(name);
    ASSERT_NE(it, expected.end()) << "no outcome recorded for " << name;
    EXPECT_EQ(std::pair(outcome, objects), it->second) << name;
  }
  EXPECT_EQ(seen.size(), expected.size()) << "recorded inputs missing from " << RegressionDir();
}

}  // namespace
}  // namespace corvid
