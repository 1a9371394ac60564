// Paths, file search and deletion.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "corvid/containers/ObjList.h"
#include "corvid/persist/Graphics.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {
namespace {

TEST(OdbMiscPaths, AddAndRemoveTrailingSlash) {
  EXPECT_EQ(AddBackSlashToPath(""), "/");
  EXPECT_EQ(AddBackSlashToPath("/data"), "/data/");
  EXPECT_EQ(AddBackSlashToPath("/data/"), "/data/");
  EXPECT_EQ(AddBackSlashToPath("C:"), "C:/");  // a colon means nothing here
  EXPECT_EQ(RemoveBackSlashFromPath(""), "");
  EXPECT_EQ(RemoveBackSlashFromPath("/data/"), "/data");
  EXPECT_EQ(RemoveBackSlashFromPath("/data//"), "/data/");
  EXPECT_EQ(RemoveBackSlashFromPath("/data"), "/data");
}

TEST(OdbMiscPaths, LocalObjectFileName) {
  EXPECT_EQ(GetLocalObjectFileName("/data", "Orders", "dat"), "/data/Orders.dat");
  EXPECT_EQ(GetLocalObjectFileName("/data/", "Orders", ".dat"), "/data/Orders.dat");
  EXPECT_EQ(GetLocalObjectFileName("/data", "/other/Orders.old", "dat"), "/other/Orders.old");
  EXPECT_EQ(GetLocalObjectFileName("/data", "sub/Orders", "dat"), "sub/Orders.dat");
  EXPECT_EQ(GetLocalObjectFileName("/data", "Orders.old", "dat"), "/data/Orders.old");
  EXPECT_EQ(GetLocalObjectFileName("/data", "Orders", ""), "/data/Orders");
  // A dot in a directory name is no extension.
  EXPECT_EQ(GetLocalObjectFileName("/my.dir", "Orders", "dat"), "/my.dir/Orders.dat");
}

// A scratch directory with a few files, removed afterwards.
class FileSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b.dat", "a.dat", "c.txt", "noext", ".hidden.dat"}) {
      std::ofstream(dir_ + "/" + name) << "x";
    }
    ASSERT_EQ(mkdir((dir_ + "/sub.dat").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir_ + "/.git").c_str(), 0700), 0);
  }

  std::vector<std::string> Find(const std::string& mask, std::uint16_t attr) {
    TUnorderedList list(TStringCombo::StaticClass(), &CompareStringCombo);
    list.Insert(new TStringCombo("stale"));
    FindFiles(mask, attr, list);
    std::vector<std::string> names;
    for (TObject* o : list) {
      const auto* combo = static_cast<TStringCombo*>(o);
      EXPECT_EQ(combo->Obj, nullptr);
      names.push_back(combo->Str);
    }
    return names;
  }
  bool Exists(const std::string& name) { return access((dir_ + "/" + name).c_str(), F_OK) == 0; }

  test::TTempDir temp_;
  const std::string dir_ = temp_.Path().string();
};

TEST_F(FileSearch, FilesMatchingTheMaskWithFullPaths) {
  EXPECT_EQ(Find(dir_ + "/*.dat", faArchive),
            (std::vector<std::string>{dir_ + "/.hidden.dat", dir_ + "/a.dat", dir_ + "/b.dat"}));
  EXPECT_EQ(Find(dir_ + "/?.txt", faArchive), (std::vector<std::string>{dir_ + "/c.txt"}));
  EXPECT_TRUE(Find(dir_ + "/*.none", faAnyFile).empty());
  EXPECT_TRUE(Find(dir_ + "/missing/*", faAnyFile).empty());
}

TEST_F(FileSearch, StarDotStarMatchesNamesWithoutExtension) {
  const std::vector<std::string> all = Find(dir_ + "/*.*", faArchive);
  EXPECT_EQ(all.size(), 5u);
  EXPECT_EQ(all.back(), dir_ + "/noext");
}

TEST_F(FileSearch, DirectoriesAreListedOnlyWhenAskedFor) {
  EXPECT_EQ(Find(dir_ + "/*", faDirectory), (std::vector<std::string>{dir_ + "/sub.dat"}));
  EXPECT_EQ(Find(dir_ + "/*.dat", faArchive | faDirectory),
            (std::vector<std::string>{dir_ + "/.hidden.dat", dir_ + "/a.dat", dir_ + "/b.dat",
                                      dir_ + "/sub.dat"}));
  // Hidden entries asked for by the hidden bit; never "." and "..".
  EXPECT_EQ(Find(dir_ + "/.*", faHidden),
            (std::vector<std::string>{dir_ + "/.git", dir_ + "/.hidden.dat"}));
}

TEST_F(FileSearch, ListOfAnotherClassIsRefusedWithoutLeak) {
  TUnorderedList wrong(TIntegerBucket::StaticClass(), &CompareIntegerBucket);
  EXPECT_THROW(FindFiles(dir_ + "/*.dat", faArchive, wrong), EInvalidObjectType);
}

TEST_F(FileSearch, DeleteFilesRemovesMatchingFilesOnly) {
  DeleteFiles(dir_ + "/*.dat");
  EXPECT_FALSE(Exists("a.dat"));
  EXPECT_FALSE(Exists("b.dat"));
  EXPECT_FALSE(Exists(".hidden.dat"));
  EXPECT_TRUE(Exists("sub.dat"));  // a directory
  EXPECT_TRUE(Exists("c.txt"));
  DeleteFiles(dir_ + "/*.dat");  // nothing left to delete: no error
}

TEST_F(FileSearch, MaskWithoutDirectorySearchesTheWorkingDirectory) {
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  const std::vector<std::string> found = Find("*.txt", faArchive);
  DeleteFiles("a.dat");
  const bool aGone = !Exists("a.dat");
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(found, (std::vector<std::string>{"c.txt"}));
  EXPECT_TRUE(aGone);
}

TEST(OdbMiscResources, BitmapsAreFoundByNameWithoutCase) {
  RegisterBitmapResource("TestGlyphFirst", {'B', 'M', 1, 2});
  std::unique_ptr<TBitmap> bmp = LoadBitmapFromExeRes("TESTGLYPHFIRST");
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(bmp->Data(), std::string_view("BM\x01\x02", 4));
  // Each call hands over a new bitmap.
  std::unique_ptr<TBitmap> again = LoadBitmapFromExeRes("testglyphfirst");
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again.get(), bmp.get());
  EXPECT_EQ(LoadBitmapFromExeRes("NoSuchGlyph"), nullptr);
  RegisterBitmapResource("TestGlyphFirst", {'X'});
  EXPECT_EQ(LoadBitmapFromExeRes("TestGlyphFirst")->Data(), "X");
}

TEST(OdbMiscResources, NamesAreCutTo127Characters) {
  const std::string name127(127, 'r');
  RegisterBitmapResource(name127 + "tail", {'Y'});
  std::unique_ptr<TBitmap> bmp = LoadBitmapFromExeRes(name127);
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(bmp->Data(), "Y");
  EXPECT_EQ(LoadBitmapFromExeRes(name127.substr(1)), nullptr);
}

}  // namespace
}  // namespace corvid
