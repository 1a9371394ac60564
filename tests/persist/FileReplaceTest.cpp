// Whole-file writers (TMemoryStream::SaveToFile, WriteObjectToFile) replace
// the file only once the new content is complete: a write that fails part
// way (the file system refuses it, or the stream fails or writes short at
// any byte) raises and leaves the old file as it was, with no temporary
// behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "ExpectRaises.h"
#include "FaultStream.h"
#include "PersistTestSupport.h"
#include "TempDir.h"
#include "corvid/containers/ObjList.h"
#include "corvid/persist/ObjPerst.h"

namespace corvid {
namespace {

namespace fs = std::filesystem;

class FileReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    target_ = (dir_ / "history.bin").string();
    test::Fill(old_, "the old content");
    old_.SaveToFile(target_);
  }

  // The names in the folder besides the target.
  std::vector<std::string> Others() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) {
      if (e.path().string() != target_) names.push_back(e.path().filename().string());
    }
    return names;
  }
  std::string TargetContent() const {
    TMemoryStream m;
    m.LoadFromFile(target_);
    return test::Content(m);
  }

  test::TTempDir temp_;
  const fs::path dir_ = temp_.Path();
  std::string target_;
  TMemoryStream old_;
};

// Runs Write in a child process whose files cannot grow past Limit bytes, so
// that a write fails part way (EFBIG; SIGXFSZ is ignored). The child's exit
// status: 0 when Write raised EWriteError, 1 when it returned normally, 2 for
// any other exception.
int WriteWithFileSizeLimit(rlim_t Limit, const std::function<void()>& Write) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{Limit, Limit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int status = 2;
    try {
      Write();
      status = 1;
    } catch (const EWriteError&) {
      status = 0;
    } catch (...) {
      status = 2;
    }
    ::_exit(status);
  }
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST_F(FileReplace, AWriteThatFailsPartWayRaisesAndKeepsTheOldFile) {
  TMemoryStream big;
  big.SetSize(256 * 1024);
  const std::function<void()> writers[] = {
      [&] { big.SaveToFile(target_); },
      [&] { WriteObjectToFile(&big, target_, true); },
      [&] { WriteObjectToFile(&big, target_, false); },
  };
  for (std::size_t i = 0; i < std::size(writers); ++i) {
    EXPECT_EQ(WriteWithFileSizeLimit(64 * 1024, writers[i]), 0) << "writer " << i;
    const std::string content = TargetContent();
    EXPECT_TRUE(content == "the old content")
        << "writer " << i << ": " << content.size() << " bytes";
    EXPECT_EQ(Others(), std::vector<std::string>()) << "writer " << i;
  }
}

TEST_F(FileReplace, ACompleteWriteReplacesTheFileAndKeepsItsPermissions) {
  fs::permissions(target_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  TMemoryStream next;
  test::Fill(next, "the new content");
  next.SaveToFile(target_);
  EXPECT_EQ(TargetContent(), "the new content");
  EXPECT_EQ(fs::status(target_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  WriteObjectToFile(&next, target_, false);
  EXPECT_EQ(TargetContent(), test::Record(&next));
  EXPECT_EQ(Others(), std::vector<std::string>());

  // A file that cannot be created beside a missing folder.
  EXPECT_THROW(next.SaveToFile((dir_ / "no" / "such.bin").string()), EFCreateError);
}

// A stream that fails at byte N of an object file: at the first byte, the
// second, the middle and the last. A raised error is the one that arrives;
// a short write raises the stream's write error. With room for every byte
// the same write succeeds, so the failure point is what made it fail.
TEST_F(FileReplace, AnObjectFileFailingAtAnyByteKeepsTheOldFile) {
  TUnorderedList list(test::TCounted::StaticClass(), CompareEqual);
  for (int i = 0; i < 50; ++i) list.Insert(new test::TCounted(i));
  const std::int64_t size = static_cast<std::int64_t>(test::Record(&list).size());
  for (const bool buffered : {true, false}) {
    for (const test::TFault fault : {test::TFault::Raise, test::TFault::ShortWrite}) {
      for (const std::int64_t at : {std::int64_t{0}, std::int64_t{1}, size / 2, size - 1}) {
        SCOPED_TRACE(::testing::Message() << (buffered ? "buffered" : "direct") << " fault "
                                          << static_cast<int>(fault) << " at " << at);
        test::TFaultyFiles faulty(at, fault);
        test::ExpectRaises<EWriteError>([&] { WriteObjectToFile(&list, target_, buffered); },
                                        fault == test::TFault::Raise
                                            ? test::TFaultStream::ErrorText(at)
                                            : std::string("Stream write error"));
        EXPECT_EQ(faulty.Failures(), 1);
        EXPECT_EQ(TargetContent(), "the old content");
        EXPECT_EQ(Others(), std::vector<std::string>());
      }
    }
    test::TFaultyFiles roomy(size, test::TFault::Raise);
    WriteObjectToFile(&list, target_, buffered);
    EXPECT_EQ(roomy.Failures(), 0);
    EXPECT_EQ(TargetContent(), test::Record(&list));
    old_.SaveToFile(target_);
  }
}

}  // namespace
}  // namespace corvid
