// A database's journal from the outside: each flush is all or nothing
// whatever stops it (a crash while the journal is written or played back, a
// full disk, a failed sync), a journal that is not the database's is left
// alone, and an encrypted database plays back without its key.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "kernel/storage/blowfish.h"
#include "kernel/storage/database.h"
#include "kernel/storage/embedded_file.h"
#include "kernel/storage/journal.h"
#include "tests/support/fault_env.h"
#include "tests/storage/volume_fixture.h"

namespace {

using ztest::ErrorCode;
using ztest::FaultEnv;
using ztest::Pattern;

// The database's content: files of the record volume by sub-index.
using Content = std::map<uint16_t, std::vector<uint8_t>>;
// Every file of a folder by name.
using Files = std::map<std::string, std::string>;

constexpr uint32_t kOwner = 9;
constexpr uint16_t kKind = 200;

// Sizes are whole kilobytes: an enciphered file's length is.
Content Version(int v) {
  constexpr size_t K = 1024;
  Content c;
  c[1] = Pattern(98 * K, 1);
  c[2] = Pattern(5 * K, 2);
  if (v >= 2) {  // overwrites committed bytes, grows, adds and removes files
    auto middle = Pattern(30 * K, 3);
    std::copy(middle.begin(), middle.end(), c[1].begin() + 30 * K);
    auto tail = Pattern(49 * K, 4);
    c[1].insert(c[1].end(), tail.begin(), tail.end());
    c[3] = Pattern(20 * K, 5);
    c.erase(2);
  }
  if (v >= 3) {
    c[1].resize(69 * K);
    c[4] = Pattern(3 * K, 6);
  }
  return c;
}

class JournalDatabaseTest : public ztest::KernelTest {
 protected:
  std::string Base() const { return mDir.File("db"); }
  std::string JournalPath() const { return Base() + ".jnl"; }

  static void Cipher(FBL_EmbededFile& f, const FBL_EncryptionKeyRef& key) {
    if (!key) return;
    f.SetEncryption(std::make_shared<FBL_BlowfishEncryption>(key), false);
    f.SetEncryption(std::make_shared<FBL_BlowfishDecryption>(key), true);
  }

  using OpenFiles = std::vector<std::unique_ptr<FBL_EmbededFile>>;

  // Makes the database's files what `to` says; their blocks stay in the
  // cache with the files, which a flush writes.
  static OpenFiles Write(FBL_DataBase& db, const Content& to,
                         const FBL_EncryptionKeyRef& key = nullptr) {
    OpenFiles files;
    for (uint16_t sub = 1; sub <= 4; ++sub) {
      auto f = std::make_unique<FBL_EmbededFile>(*db.GetRecordVolume(), kOwner, kKind, sub);
      auto it = to.find(sub);
      if (it == to.end()) {
        f->Remove();
        continue;
      }
      f->Create();
      Cipher(*f, key);
      f->Open();
      f->SetPosition(0);
      f->Write(it->second.data(), it->second.size());
      if (f->GetLength() > it->second.size()) f->SetLength(it->second.size());
      f->Close();
      files.push_back(std::move(f));
    }
    return files;
  }

  static void Put(FBL_DataBase& db, const Content& to, const FBL_EncryptionKeyRef& key = nullptr) {
    OpenFiles files = Write(db, to, key);
    db.Flush();
  }

  static Content Get(FBL_DataBase& db, const FBL_EncryptionKeyRef& key = nullptr) {
    Content c;
    for (uint16_t sub = 1; sub <= 4; ++sub) {
      FBL_EmbededFile f(*db.GetRecordVolume(), kOwner, kKind, sub);
      if (!f.Exists()) continue;
      Cipher(f, key);
      f.Open();
      std::vector<uint8_t> data(f.GetLength());
      if (!data.empty()) f.Read(data.data(), data.size());
      f.Close();
      c[sub] = data;
    }
    return c;
  }

  // Opens the files with a clean env and compares; the open may also be
  // asked to fail with a code.
  void Expect(const Content& content, const std::string& where,
              const FBL_EncryptionKeyRef& key = nullptr) {
    FaultEnv clean;
    FBL_DataBase db(&clean);
    ASSERT_EQ(ErrorCode([&] { db.Open(Base(), key); }), 0) << where;
    EXPECT_TRUE(Get(db, key) == content) << where;
    db.Close();
    EXPECT_FALSE(std::filesystem::exists(JournalPath())) << where;
  }

  Files Snapshot() const {
    Files files;
    for (const auto& e : std::filesystem::directory_iterator(mDir.path())) {
      std::ifstream in(e.path(), std::ios::binary);
      files[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
  }
  void Restore(const Files& files) const {
    for (const auto& e : std::filesystem::directory_iterator(mDir.path()))
      std::filesystem::remove(e.path());
    for (const auto& [name, bytes] : files) {
      std::ofstream out(mDir.File(name), std::ios::binary);
      out << bytes;
    }
  }

  // Version 1 flushed, version 2 flushed, then the process dies: the
  // journal holds version 2, the volumes version 1.
  Files CrashAfterSecondFlush(const FBL_EncryptionKeyRef& key = nullptr) {
    FaultEnv env;
    {
      FBL_DataBase db(&env);
      db.Create(Base(), 4096, 4, FBL_ByteOrder::kDefault);
      if (key) db.ChangeKey(nullptr, key);
      Put(db, Version(1), key);
      Put(db, Version(2), key);
      env.CrashNow();
    }
    return Snapshot();
  }
};

TEST_F(JournalDatabaseTest, JournalLivesWhileOpenAndEachFlushSyncs) {
  FaultEnv env;
  FBL_DataBase db(&env);
  db.Create(Base(), 4096, 4, FBL_ByteOrder::kDefault);
  EXPECT_TRUE(std::filesystem::exists(JournalPath()));
  uint64_t before = env.syncs();
  Put(db, Version(1));
  EXPECT_GT(env.syncs(), before);
  // A bulk load commits without a sync, and syncs all at once when it ends.
  db.SetBulkLoad(true);
  before = env.syncs();
  Put(db, Version(2));
  EXPECT_EQ(env.syncs(), before);
  db.SetBulkLoad(false);
  EXPECT_GT(env.syncs(), before);
  // Nothing changed: no commit, no sync.
  before = env.syncs();
  db.Flush();
  EXPECT_EQ(env.syncs(), before);
  db.Close();
  EXPECT_FALSE(std::filesystem::exists(JournalPath()));
  Expect(Version(2), "after close");
}

TEST_F(JournalDatabaseTest, CrashAfterACommitPlaysBackAndIsSeen) {
  CrashAfterSecondFlush();
  EXPECT_TRUE(std::filesystem::exists(JournalPath()));
  {
    FBL_DataBase db;
    db.Open(Base(), nullptr);
    EXPECT_TRUE(db.GetStructureVolume()->WasOpen());  // the unclean close is seen
    EXPECT_TRUE(Get(db) == Version(2));
    db.Close();
  }
  Expect(Version(2), "second open");
}

// Every write of the second flush cut off (whole or torn): the open finds
// version 1 or version 2, nothing in between.
TEST_F(JournalDatabaseTest, CrashWhileTheJournalIsWrittenKeepsAWholeFlush) {
  uint64_t writes = 0;
  {
    FaultEnv env;
    FBL_DataBase db(&env);
    db.Create(Base(), 4096, 4, FBL_ByteOrder::kDefault);
    Put(db, Version(1));
    const uint64_t start = env.writes();
    Put(db, Version(2));
    writes = env.writes() - start;
    db.Close();
  }
  ASSERT_GE(writes, 2u);
  for (int torn = 0; torn <= 1; ++torn) {
    int sawOld = 0, sawNew = 0;
    for (uint64_t n = 1; n <= writes; ++n) {
      {
        FaultEnv env;
        FBL_DataBase db(&env);
        db.Create(Base(), 4096, 4, FBL_ByteOrder::kDefault);
        Put(db, Version(1));
        if (torn) {
          env.TearWrite(n);
          ErrorCode([&] { Put(db, Version(2)); });
          env.CrashNow();
        } else {
          env.CrashAfterWrites(n - 1);
          ErrorCode([&] { Put(db, Version(2)); });
        }
      }
      FBL_DataBase db;
      ASSERT_EQ(ErrorCode([&] { db.Open(Base(), nullptr); }), 0) << n;
      const Content c = Get(db);
      ASSERT_TRUE(c == Version(1) || c == Version(2)) << "torn " << torn << " cut " << n;
      (c == Version(1) ? sawOld : sawNew)++;
      db.Close();
    }
    EXPECT_GT(sawOld, 0);
    EXPECT_EQ(sawNew, 0);  // the commit's sync is not a write: a cut always falls before it
  }
}

TEST_F(JournalDatabaseTest, CrashWhilePlayingBackPlaysBackAgain) {
  const Files image = CrashAfterSecondFlush();
  uint64_t writes = 0;
  {
    FaultEnv env;
    FBL_DataBase db(&env);
    db.Open(Base(), nullptr);
    writes = env.writes();
    db.Close();
  }
  for (uint64_t n = 0; n <= writes; ++n) {
    Restore(image);
    for (int torn = 0; torn <= 1; ++torn) {
      FaultEnv env;
      FBL_DataBase db(&env);
      if (torn) {
        env.TearWrite(n + 1);
      } else {
        env.CrashAfterWrites(n);
      }
      ErrorCode([&] { db.Open(Base(), nullptr); });
      env.CrashNow();
    }
    Expect(Version(2), "cut " + std::to_string(n));
  }
}

TEST_F(JournalDatabaseTest, JournalOfAnotherDatabaseOrAnOlderFlushIsIgnored) {
  // Another database's hot journal beside a database closed cleanly.
  const std::string foreign = CrashAfterSecondFlush().at("db.jnl");
  {
    FBL_DataBase db;
    db.Create(Base(), 4096, 4, FBL_ByteOrder::kDefault);
    Put(db, Version(3));
    db.Close();
  }
  Files files = Snapshot();
  files["db.jnl"] = foreign;
  Restore(files);
  Expect(Version(3), "another database's journal");

  // Older flushes: every commit plays into the volumes at once, and the
  // journal of flush 1 is put back after flush 2 (closed, or crashed).
  for (int crash = 0; crash <= 1; ++crash) {
    std::string older;
    {
      FaultEnv env;
      FBL_DataBase db(&env);
      db.Create(Base(), 4096, 4, FBL_ByteOrder::kDefault);
      db.GetJournal()->SetCheckpointBytes(0);
      Put(db, Version(1));
      older = Snapshot().at("db.jnl");
      Put(db, Version(2));
      if (crash) env.CrashNow();
    }
    files = Snapshot();
    files["db.jnl"] = older;
    Restore(files);
    Expect(Version(2), crash ? "older journal after a crash" : "older journal after close");
  }
}

TEST_F(JournalDatabaseTest, EncryptedDatabasePlaysBackWithoutItsKey) {
  const auto key = zv::MakeEncryptionKey("journal key");
  const Files image = CrashAfterSecondFlush(key);
  // The journal holds the volumes' bytes as stored: enciphered.
  const std::string& journal = image.at("db.jnl");
  const auto plain = Pattern(30 * 1024, 3);
  EXPECT_EQ(journal.find(std::string(plain.begin(), plain.begin() + 64)), std::string::npos);
  FBL_DataBase db;
  EXPECT_EQ(ErrorCode([&] { db.Open(Base(), zv::MakeEncryptionKey("wrong")); }), ERR_WRONG_PASSWORD);
  EXPECT_FALSE(std::filesystem::exists(JournalPath()));  // played back all the same
  Expect(Version(2), "with the key", key);
}

// A flush that fails on a full disk or a failed sync at any point, then a
// flush that succeeds: everything is there. A failing close reports.
TEST_F(JournalDatabaseTest, FailedFlushIsCompletedByTheNextFlush) {
  for (FaultEnv::Op op : {FaultEnv::kWrite, FaultEnv::kSync}) {
    int failed = 0;
    for (uint64_t n = 1; n <= 6; ++n) {
      FaultEnv env;
      int code = 0;
      {
        FBL_DataBase db(&env);
        db.Create(Base(), 4096, 4, FBL_ByteOrder::kDefault);
        Put(db, Version(1));
        OpenFiles files = Write(db, Version(2));
        env.Fail(op, n, ENOSPC);
        code = ErrorCode([&] { db.Flush(); });
        env.Reset();
        if (code != 0) db.Flush();
        files.clear();
        db.Close();
      }
      ASSERT_TRUE(code == 0 || code == ENOSPC) << op << " " << n << " gave " << code;
      failed += code != 0;
      Expect(Version(2), "op " + std::to_string(op) + " n " + std::to_string(n));
    }
    EXPECT_GT(failed, 0) << op;
  }
  // Close reports the error of its last writes and leaves the journal.
  for (uint64_t n = 1; n <= 12; ++n) {
    FaultEnv env;
    FBL_DataBase db(&env);
    db.Create(Base(), 4096, 4, FBL_ByteOrder::kDefault);
    Put(db, Version(1));
    Put(db, Version(2));
    env.FailWrite(n, EIO);
    const int code = ErrorCode([&] { db.Close(); });
    ASSERT_TRUE(code == 0 || code == EIO) << n;
    Expect(Version(2), "close failing at write " + std::to_string(n));
  }
}

TEST_F(JournalDatabaseTest, ChangesLostToAWriteErrorAreNeverCommitted) {
  FaultEnv env;
  {
    FBL_DataBase db(&env);
    db.Create(Base(), 4096, 4, FBL_ByteOrder::kDefault);
    Put(db, Version(1));
    {
      // New bytes past the volume's end: the destructor's write-back puts
      // them in place and fails, and they are gone.
      FBL_EmbededFile f(*db.GetRecordVolume(), kOwner, kKind, 1);
      f.Open();
      auto data = Pattern(40000, 77);
      f.SetPosition(f.GetLength());
      for (int i = 0; i < 10; ++i) f.Write(data.data(), data.size());  // cached, not written
      env.FailWrite(1, EIO);
    }
    EXPECT_EQ(ErrorCode([&] { db.Flush(); }), ERR_DATA_FILE);
    EXPECT_EQ(ErrorCode([&] { db.Close(); }), ERR_DATA_FILE);
  }
  Expect(Version(1), "after lost changes");
}

TEST_F(JournalDatabaseTest, ReadOnlyOpenRefusesAJournalToPlayBack) {
  const Files image = CrashAfterSecondFlush();
  auto setMode = [&](mode_t mode) {
    for (const char* ext : {".vdb", ".dat", ".ind", ".jnl"})
      ::chmod((Base() + ext).c_str(), mode);
  };
  setMode(0444);
  {
    FBL_DataBase db;
    EXPECT_EQ(ErrorCode([&] { db.Open(Base(), nullptr); }), ERR_DATA_FILE);
    EXPECT_TRUE(std::filesystem::exists(JournalPath()));
  }
  setMode(0644);
  Expect(Version(2), "writable again");
  // Nothing to play back: a read-only open goes ahead.
  setMode(0444);
  FBL_DataBase db;
  db.Open(Base(), nullptr);
  EXPECT_TRUE(db.IsReadOnly());
  EXPECT_TRUE(Get(db) == Version(2));
  db.Close();
  setMode(0644);
}

}  // namespace
