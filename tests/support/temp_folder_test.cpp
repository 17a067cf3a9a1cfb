// Throwaway folders: unique names, removal of whole trees, kept folders, the file listing and
// copies, and a failed folder that leaves no path to write through.
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;

bool Write(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  return static_cast<bool>(file);
}

std::string Read(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Points $TMPDIR somewhere else for one test and puts the old value back.
class TemporaryFolderVariable {
 public:
  explicit TemporaryFolderVariable(const std::string& value) {
    if (const char* old = getenv("TMPDIR")) old_ = old;
    setenv("TMPDIR", value.c_str(), 1);
  }
  ~TemporaryFolderVariable() {
    if (old_) {
      setenv("TMPDIR", old_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

 private:
  std::optional<std::string> old_;
};

TEST(TempFolder, EachIsFreshPrivateAndRemovedWithItsWholeTree) {
  std::string removed;
  {
    TempFolder a("vexel-unit");
    TempFolder b("vexel-unit");
    ASSERT_TRUE(a.ok()) << a.error();
    ASSERT_TRUE(b.ok()) << b.error();
    EXPECT_TRUE(a.error().empty());
    EXPECT_NE(a.path(), b.path());
    EXPECT_EQ(a.path().back(), '/');
    EXPECT_EQ(fs::path(a.path()).parent_path().filename().string().rfind("vexel-unit-", 0), 0u) << a.path();
    EXPECT_EQ(a / "x.txt", a.path() + "x.txt");
    struct stat info {};
    ASSERT_EQ(stat(a.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);  // other users cannot plant files in it

    // Nested folders, an empty one, and files in each.
    ASSERT_TRUE(fs::create_directories(a / "deep/er/still"));
    ASSERT_TRUE(fs::create_directory(a / "empty"));
    ASSERT_TRUE(Write(a / "deep/er/still/leaf.bin", std::string(3, '\0')));
    ASSERT_TRUE(Write(a / "top.txt", "top"));
    removed = a.path();
  }
  EXPECT_FALSE(fs::exists(removed)) << removed;

  std::string kept;
  {
    TempFolder folder;
    ASSERT_TRUE(folder.ok()) << folder.error();
    ASSERT_TRUE(Write(folder / "evidence.log", "why it failed"));
    folder.Keep();
    kept = folder.path();
  }
  EXPECT_EQ(Read(kept + "evidence.log"), "why it failed");
  std::error_code ignored;
  fs::remove_all(kept, ignored);
}

TEST(TempFolder, FilesListsRegularFilesAndCopyFromMergesATree) {
  TempFolder source;
  TempFolder target;
  ASSERT_TRUE(source.ok() && target.ok());
  EXPECT_TRUE(target.Files().empty());

  ASSERT_TRUE(fs::create_directories(source / "projects/myprj"));
  ASSERT_TRUE(fs::create_directory(source / "empty"));
  ASSERT_TRUE(Write(source / "projects/myprj/default.prj", "new"));
  ASSERT_TRUE(Write(source / "b.ini", ""));
  ASSERT_TRUE(Write(source / ".hidden", "h"));
  // What the copy must replace, and what it must leave alone.
  ASSERT_TRUE(fs::create_directories(target / "projects/myprj"));
  ASSERT_TRUE(Write(target / "projects/myprj/default.prj", "old and longer"));
  ASSERT_TRUE(Write(target / "a.txt", "mine"));

  ASSERT_TRUE(target.CopyFrom(source.path()));
  EXPECT_EQ(target.Files(), (std::vector<std::string>{".hidden", "a.txt", "b.ini", "projects/myprj/default.prj"}));
  EXPECT_EQ(Read(target / "projects/myprj/default.prj"), "new");
  EXPECT_EQ(Read(target / "a.txt"), "mine");
  EXPECT_TRUE(fs::is_directory(target / "empty"));

  EXPECT_FALSE(target.CopyFrom(source / "no-such-folder"));
}

TEST(TempFolder, AFolderThatCannotBeMadeSaysWhyAndGivesNoPath) {
  TempFolder scratch;
  ASSERT_TRUE(scratch.ok());
  ASSERT_TRUE(Write(scratch / "plain-file", "x"));
  const auto expectUnusable = [&](const TempFolder& failed, const std::string& reason) {
    EXPECT_FALSE(failed.ok());
    EXPECT_NE(failed.error().find(reason), std::string::npos) << failed.error();
    EXPECT_EQ(failed.path(), "");
    EXPECT_EQ(failed / "config.ini", "");  // not "config.ini" in the current folder
    EXPECT_FALSE(failed.CopyFrom(scratch.path()));
    EXPECT_TRUE(failed.Files().empty());
  };
  {
    // $TMPDIR naming a file: there is no temporary folder to make it in.
    TemporaryFolderVariable variable(scratch / "plain-file");
    TempFolder failed;
    expectUnusable(failed, "no temporary folder");
  }
  {
    // The temporary folder exists, but making the new one under it fails.
    TemporaryFolderVariable variable(scratch.path());
    TempFolder failed("missing/sub");
    expectUnusable(failed, "cannot create a folder under " + scratch.path());
  }
  // Neither failure removed or wrote anything.
  EXPECT_EQ(scratch.Files(), std::vector<std::string>{"plain-file"});
}

}  // namespace
