#include "filter/work_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "tests/test_support.h"

using namespace quillfern;  // NOLINT(google-build-using-namespace)

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(WorkDirTest, MkdirsCreatesEveryMissingLevel) {
  TempDir dir;
  EXPECT_EQ(mkdirs((dir.path() + "/a/b/c/").c_str()), 0);
  EXPECT_EQ(mkdirs((dir.path() + "/a/b/d").c_str()), 0);
  struct stat status;
  ASSERT_EQ(stat((dir.path() + "/a/b/c").c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  WriteFile(dir.File("file"), "");
  EXPECT_EQ(mkdirs(dir.File("file").c_str()), 1);
  EXPECT_EQ(mkdirs((dir.path() + "/file/below/").c_str()), 1);
}

TEST(WorkDirTest, RemovalNeverFollowsALink) {
  TempDir outside, dir;
  WriteFile(outside.File("canary"), "keep");
  const std::string tree = dir.path() + "/tree";
  ASSERT_EQ(mkdirs((tree + "/sub/").c_str()), 0);
  WriteFile(tree + "/sub/file", "x");
  ASSERT_EQ(symlink(outside.path().c_str(), (tree + "/sub/link").c_str()), 0);
  ASSERT_EQ(symlink(outside.File("canary").c_str(), (tree + "/filelink").c_str()), 0);
  EXPECT_TRUE(RemoveTreeNoFollow(tree));
  EXPECT_FALSE(FileExists(tree));
  EXPECT_EQ(ReadFile(outside.File("canary")), "keep");

  // A link in place of the tree is removed itself.
  ASSERT_EQ(symlink(outside.path().c_str(), tree.c_str()), 0);
  EXPECT_TRUE(RemoveTreeNoFollow(tree));
  EXPECT_FALSE(FileExists(tree));
  EXPECT_TRUE(FileExists(outside.File("canary")));
  EXPECT_TRUE(RemoveTreeNoFollow(tree));  // nothing there is no failure
}

class WorkDirectoryTest : public ::testing::Test {
 protected:
  bool Prepare(int jobId, std::string* problem) {
    CaptureStderr();
    bool ok = work_.Prepare(jobId, problem);
    log_ = GetCapturedStderr();
    return ok;
  }

  TempDir dir_;
  std::string path_ = dir_.path() + "/work";
  std::string lock_ = dir_.path() + "/work.lock";
  WorkDirectory work_{path_ + "/", lock_};
  std::string log_;
};

TEST_F(WorkDirectoryTest, AloneItWipesEverythingEarlierJobsLeft) {
  ASSERT_EQ(mkdirs((path_ + "/").c_str()), 0);
  WriteFile(path_ + "/3_1_gs.pbm", "old");
  WriteFile(path_ + "/4-1.jbg", "old");
  std::string problem;
  ASSERT_TRUE(Prepare(4, &problem)) << problem;
  EXPECT_FALSE(FileExists(path_ + "/3_1_gs.pbm"));
  EXPECT_FALSE(FileExists(path_ + "/4-1.jbg"));
  struct stat status;
  ASSERT_EQ(lstat(path_.c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
}

TEST_F(WorkDirectoryTest, BesideARunningJobItClearsOnlyItsOwnFiles) {
  ASSERT_EQ(mkdirs((path_ + "/").c_str()), 0);
  chmod(path_.c_str(), 0755);
  for (const char* name :
       {"3_1_gs.pbm", "3-1.jbg", "4_1_gs.pbm", "4-2.jbg", "44_1_gs.pbm", "-4_1_gs.pbm"}) {
    WriteFile(path_ + "/" + name, "");
  }
  int other = open(lock_.c_str(), O_RDONLY | O_CREAT, 0644);
  ASSERT_EQ(flock(other, LOCK_SH), 0);
  std::string problem;
  ASSERT_TRUE(Prepare(4, &problem)) << problem;
  EXPECT_TRUE(FileExists(path_ + "/3_1_gs.pbm"));
  EXPECT_TRUE(FileExists(path_ + "/3-1.jbg"));
  EXPECT_TRUE(FileExists(path_ + "/44_1_gs.pbm"));
  EXPECT_TRUE(FileExists(path_ + "/-4_1_gs.pbm"));
  EXPECT_FALSE(FileExists(path_ + "/4_1_gs.pbm"));
  EXPECT_FALSE(FileExists(path_ + "/4-2.jbg"));
  // Holding its shared lock, it keeps a later job from wiping.
  int later = open(lock_.c_str(), O_RDONLY);
  EXPECT_NE(flock(later, LOCK_EX | LOCK_NB), 0);
  close(later);
  close(other);
}

TEST_F(WorkDirectoryTest, DirectoryOthersCanWriteIsRefusedBesideARunningJob) {
  ASSERT_EQ(mkdirs((path_ + "/").c_str()), 0);
  ASSERT_EQ(chmod(path_.c_str(), 0777), 0);
  int other = open(lock_.c_str(), O_RDONLY | O_CREAT, 0644);
  ASSERT_EQ(flock(other, LOCK_SH), 0);
  std::string problem;
  EXPECT_FALSE(Prepare(4, &problem));
  EXPECT_EQ(problem, "work directory " + path_ + " is writable by others");
  close(other);
}

// Whatever makes the shared directory or its lock unusable, the job neither
// stops nor runs unlocked: it works in a private directory under the
// fallback root, says why in one WARNING line, and touches nothing that is
// not its own.
TEST_F(WorkDirectoryTest, UnusableSharedPlacesFallBackToAPrivateDirectory) {
  struct Case {
    const char* name;
    std::function<void()> plant;
    std::string problem;
    bool needsRoot;
  } const cases[] = {
      {"fifo lock", [&] { mkfifo(lock_.c_str(), 0600); },
       "lock file " + lock_ + " is not a regular file", false},
      {"linked lock", [&] { symlink("/dev/null", lock_.c_str()); },
       "lock file " + lock_ + " is a symbolic link", false},
      {"foreign lock",
       [&] {
         WriteFile(lock_, "");
         chown(lock_.c_str(), 65534, 65534);
       },
       "lock file " + lock_ + " belongs to another user (uid 65534)", true},
      {"foreign directory",
       [&] {
         mkdir(path_.c_str(), 0755);
         WriteFile(path_ + "/theirs", "keep");
         chown(path_.c_str(), 65534, 65534);
       },
       "work directory " + path_ + " belongs to another user (uid 65534)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needsRoot && geteuid() != 0) continue;
    testing_support::RemoveTree(path_);
    testing_support::RemoveTree(lock_);
    TempDir privateRoot;
    c.plant();
    WorkPlaces places{path_ + "/", lock_, privateRoot.path()};
    std::string problem;
    CaptureStderr();
    std::unique_ptr<WorkDirectory> work = OpenWorkDirectory(places, 4, &problem);
    std::string log = GetCapturedStderr();
    ASSERT_NE(work, nullptr) << problem;
    const std::string own = PrivateWorkDirectory(privateRoot.path());
    EXPECT_EQ(work->directory(), own);
    EXPECT_EQ(log, "WARNING: " + c.problem + "; this job works in " + own + " instead\n");
    struct stat status;
    ASSERT_EQ(stat(own.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_TRUE(FileExists(own.substr(0, own.size() - 1) + ".lock"));
    if (std::string(c.name) == "foreign directory") {
      EXPECT_EQ(ReadFile(path_ + "/theirs"), "keep");
    }
  }
}

TEST_F(WorkDirectoryTest, AloneItMovesTheOldTreeAsideBeforeRemovingIt) {
  ASSERT_EQ(mkdirs((path_ + "/sub/").c_str()), 0);
  WriteFile(path_ + "/sub/3_1_gs.pbm", "old");
  std::string problem;
  ASSERT_TRUE(Prepare(4, &problem)) << problem;
  EXPECT_FALSE(FileExists(path_ + "/sub"));
  EXPECT_FALSE(FileExists(path_ + ".old-" + std::to_string(getpid())));
  // It holds its shared lock: a later job shares it and does not wipe.
  int later = open(lock_.c_str(), O_RDONLY);
  EXPECT_NE(flock(later, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(flock(later, LOCK_SH | LOCK_NB), 0);
  close(later);
}

}  // namespace
