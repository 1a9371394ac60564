// The seed corpus of the object-stream fuzzer (fuzz/corpus/ReadObjectFuzz):
// valid records of every library class. This test checks that the committed
// seeds are exactly what the writer produces and read back; run it with
// CORVID_WRITE_FUZZ_CORPUS=1 to regenerate them after a format change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "PersistTestSupport.h"
#include "corvid/containers/ObjArray.h"
#include "corvid/containers/ObjHash.h"
#include "corvid/containers/ObjList.h"
#include "corvid/containers/ObjStack.h"
#include "corvid/persist/Graphics.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {
namespace {

std::filesystem::path CorpusDir() {
  // The source tree by its absolute path: __FILE__ may be relative to the
  // build folder (ccache with a base directory rewrites it).
  return std::filesystem::path(CORVID_SOURCE_DIR) / "fuzz" / "corpus" / "ReadObjectFuzz";
}

std::vector<std::pair<std::string, std::function<std::unique_ptr<TObject>()>>> Seeds() {
  using P = std::unique_ptr<TObject>;
  std::vector<std::pair<std::string, std::function<P()>>> s;
  s.emplace_back("nil", [] { return P(); });
  s.emplace_back("unordered_list", [] {
    auto l = std::make_unique<TUnorderedList>(TIntegerBucket::StaticClass(), CompareIntegerBucket);
    for (int v : {1, -200, 70000}) l->Insert(new TIntegerBucket(v));
    return P(l.release());
  });
  s.emplace_back("ordered_list", [] {
    auto l = std::make_unique<TOrderedList>(TStringCombo::StaticClass(), CompareStringComboNoCase);
    for (const char* v : {"b", "A", "c", "caf\xE9"}) l->Insert(new TStringCombo(v));
    return P(l.release());
  });
  s.emplace_back("circular_list", [] {
    auto l = std::make_unique<TCircularList>(TDoubleBucket::StaticClass(), CompareDoubleBucket);
    for (double v : {2.5, -1.0}) l->Insert(new TDoubleBucket(v));
    return P(l.release());
  });
  s.emplace_back("stack", [] {
    auto st = std::make_unique<TStack>(TCharBucket::StaticClass());
    for (char c : {'x', 'y'}) st->Push(new TCharBucket(c));
    return P(st.release());
  });
  s.emplace_back("array", [] {
    auto a = std::make_unique<TArray>(TWordBucket::StaticClass(), CompareWordBucket, 4, 2);
    for (int v : {3, 1, 2}) a->Insert(new TWordBucket(static_cast<std::uint16_t>(v)));
    return P(a.release());
  });
  s.emplace_back("hash_table", [] {
    auto t = std::make_unique<THashTable>(TStringCombo::StaticClass(), CompareStringCombo,
                                          HashStringCombo2, 3);
    t->Insert(new TStringCombo("one", new TLongIntBucket(1)));
    t->Insert(new TStringCombo("two"));
    return P(t.release());
  });
  s.emplace_back("buckets", [] {
    auto l = std::make_unique<TUnorderedList>(TBucket::StaticClass(), CompareEqual);
    l->Insert(new TBucket(std::uint16_t{0}));
    l->Insert(new TShortIntBucket(-3));
    l->Insert(new TByteBucket(250));
    l->Insert(new TBooleanBucket(true));
    l->Insert(new TWordBoolBucket(false));
    l->Insert(new TLongBoolBucket(true));
    l->Insert(new TRealBucket(0.5));
    l->Insert(new TDateTimeBucket(45000.5));
    l->Insert(new TSingleBucket(1.25f));
    l->Insert(new TExtendedBucket(3.0L));
    l->Insert(new TCompBucket(-7));
    return P(l.release());
  });
  s.emplace_back("combo_nested", [] {
    auto inner = new TStack(TStringCombo::StaticClass());
    inner->Push(new TStringCombo("deep", new TIntegerBucket(5)));
    return P(new TStringCombo("outer", inner));
  });
  s.emplace_back("bitmap", [] {
    auto b = std::make_unique<TBitmap>();
    b->SetData("BM\x06\x00\x00\x00");
    return P(b.release());
  });
  s.emplace_back("metafile", [] {
    auto m = std::make_unique<TMetafile>();
    m->SetData(std::string(300, '\x01'));
    return P(m.release());
  });
  s.emplace_back("icon", [] { return P(new TIcon); });
  s.emplace_back("memory_stream", [] {
    auto m = std::make_unique<TMemoryStream>();
    m->WriteBuffer("content", 7);
    return P(m.release());
  });
  return s;
}

TEST(FuzzCorpus, SeedsAreCurrentRecordsOfEveryLibraryClass) {
  SetSystemCodePage(cpWindows1252);
  const bool write = std::getenv("CORVID_WRITE_FUZZ_CORPUS") != nullptr;
  if (write) std::filesystem::create_directories(CorpusDir());
  for (const auto& [name, make] : Seeds()) {
    std::unique_ptr<TObject> obj = make();
    const std::string rec = test::Record(obj.get());
    const std::filesystem::path path = CorpusDir() / (name + ".bin");
    if (write) {
      std::ofstream(path, std::ios::binary) << rec;
      continue;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path << " missing; regenerate with CORVID_WRITE_FUZZ_CORPUS=1";
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(test::Hex(content.str()), test::Hex(rec)) << name;
    auto back = test::ReadRecord(content.str());
    EXPECT_TRUE(ObjectsEqual(back.get(), obj.get())) << name;
  }
}

}  // namespace
}  // namespace corvid
