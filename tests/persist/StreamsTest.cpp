// Byte streams: memory and file streams.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "PersistTestSupport.h"
#include "corvid/persist/Streams.h"

namespace corvid {
namespace {

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("corvid_h3_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

TEST(MemoryStream, ReadWriteSeekAndSize) {
  TMemoryStream m;
  EXPECT_EQ(m.GetSize(), 0);
  EXPECT_EQ(m.Memory(), nullptr);
  m.WriteBuffer("hello", 5);
  EXPECT_EQ(m.GetPosition(), 5);
  m.Seek(-3, soCurrent);
  m.WriteBuffer("LLO!", 4);
  EXPECT_EQ(test::Content(m), "heLLO!");
  m.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 5);  // short read at the end
  EXPECT_EQ(std::string(buf, 5), "eLLO!");
  EXPECT_EQ(m.Read(buf, 8), 0);
  EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);
  EXPECT_THROW(m.Seek(-1, soBeginning), EReadError);
  EXPECT_EQ(m.Seek(-2, soEnd), 4);

  // Writing past the end fills the gap with zero bytes.
  m.Seek(2, soEnd);
  m.WriteBuffer("x", 1);
  EXPECT_EQ(test::Content(m), std::string("heLLO!\0\0x", 9));

  m.SetSize(3);
  EXPECT_EQ(test::Content(m), "heL");
  EXPECT_EQ(m.GetPosition(), 9);  // kept, past the end
  m.SetSize(5);
  EXPECT_EQ(test::Content(m), std::string("heL\0\0", 5));
  m.Clear();
  EXPECT_EQ(m.GetSize(), 0);
  EXPECT_EQ(m.GetPosition(), 0);
}

TEST(MemoryStream, LargeWritesGrowAndCopyFromCopiesWholeSource) {
  TMemoryStream a;
  std::string big(100000, 'q');
  for (int i = 0; i < 10; ++i) a.WriteBuffer(big.data(), static_cast<std::int64_t>(big.size()));
  EXPECT_EQ(a.GetSize(), 1000000);
  TMemoryStream b;
  b.WriteBuffer("<", 1);
  EXPECT_EQ(b.CopyFrom(a, 0), 1000000);
  EXPECT_EQ(b.GetSize(), 1000001);
  a.SetPosition(10);
  TMemoryStream c;
  EXPECT_EQ(c.CopyFrom(a, 5), 5);
  EXPECT_EQ(test::Content(c), "qqqqq");
  a.SetPosition(a.GetSize() - 2);
  EXPECT_THROW(c.CopyFrom(a, 5), EReadError);
}

TEST(FileStream, CreateTruncateReadAndErrors) {
  const std::string path = TempPath("file.bin");
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.GetSize(), 10);
  }
  {
    TFileStream f(path, fmOpenRead);
    EXPECT_EQ(f.GetSize(), 10);
    f.Seek(4, soBeginning);
    char buf[4];
    f.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "4567");
    EXPECT_THROW(f.ReadBuffer(buf, 4), EReadError);
    // A file opened for reading cannot be written.
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
  }
  {
    TFileStream f(path, fmCreate);  // truncates
    EXPECT_EQ(f.GetSize(), 0);
  }
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  m.SaveToFile(path);
  TMemoryStream n;
  n.LoadFromFile(path);
  EXPECT_EQ(test::Content(n), "abc");
  std::filesystem::remove(path);

  EXPECT_THROW(TFileStream(path, fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(TempPath("no/such/dir/x"), fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(std::filesystem::temp_directory_path().string(), fmOpenRead),
               EFOpenError);
  try {
    TFileStream f(path, fmOpenRead);
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find(path), std::string::npos);
  }
}

}  // namespace
}  // namespace corvid
