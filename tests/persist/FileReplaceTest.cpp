// Whole-file writers (TMemoryStream::SaveToFile, WriteObjectToFile) replace
// the file only once the new content is complete: a write that fails part
// way raises and leaves the old file as it was, with no temporary behind.
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

#include "PersistTestSupport.h"
#include "persist/ObjPerst.h"

namespace corvid {
namespace {

namespace fs = std::filesystem;

class FileReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    std::string tmpl = (fs::temp_directory_path() / "replaceXXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    target_ = (dir_ / "history.bin").string();
    test::Fill(old_, "the old content");
    old_.SaveToFile(target_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
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

  fs::path dir_;
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

}  // namespace
}  // namespace corvid
