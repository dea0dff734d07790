#include "app/progress_journal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/test_files.h"

namespace quor {

namespace {

MailboxAccount Account(const std::string& server, const std::string& user,
                       const std::string& marker = "") {
  MailboxAccount account;
  account.server = server;
  account.user = user;
  account.last_message = marker;
  return account;
}

class ProgressJournalTest : public ::testing::Test {
 protected:
  ProgressJournalTest() {
    store_.Load(
        {Settings{}, {Account("pop.example.org", "ann"), Account("pop.example.org", "bob")}, {}});
  }
  MailboxAccount Live(size_t index) const { return store_.Snapshot().mailboxes.at(index); }
  // What a later start makes of the journal.
  std::vector<MailboxAccount> Replayed(std::vector<MailboxAccount> mailboxes) const {
    ProgressJournal later(path_);
    later.Replay(mailboxes);
    return mailboxes;
  }

  TempDir folder_;
  std::string path_ = folder_.File("quor.progress");
  ConfigurationStore store_;
};

TEST_F(ProgressJournalTest, RecordsReachTheStoreAtOnceAndALaterStartThroughTheFile) {
  ProgressJournal journal(path_);
  ASSERT_TRUE(journal.Record(store_, Live(0), "uid-1"));
  ASSERT_TRUE(journal.Record(store_, Live(1), "uid-7"));
  ASSERT_TRUE(journal.Record(store_, Live(0), "uid-2"));
  EXPECT_EQ(Live(0).last_message, "uid-2");
  EXPECT_EQ(Live(1).last_message, "uid-7");

  std::vector<MailboxAccount> later = Replayed({Account("pop.example.org", "bob", "old"),
                                                Account("other.example.org", "ann", "mine"),
                                                Account("pop.example.org", "ann", "old")});
  EXPECT_EQ(later[0].last_message, "uid-7");
  EXPECT_EQ(later[1].last_message, "mine");   // another server: another mailbox
  EXPECT_EQ(later[2].last_message, "uid-2");  // the last record of a mailbox wins
}

TEST_F(ProgressJournalTest, AnyTextSurvivesTheRecordWhole) {
  const std::string server = "pop example.org:110";
  const std::string user = "ann %41 \t\x01 smith";
  const std::string marker = "%%id with blank";
  store_.Load({Settings{}, {Account(server, user)}, {}});
  ProgressJournal journal(path_);
  ASSERT_TRUE(journal.Record(store_, Live(0), marker));
  std::string content = ReadWholeFile(path_);
  EXPECT_EQ(content.find('\n'), content.size() - 1) << content;  // one line
  EXPECT_EQ(Replayed({Account(server, user)})[0].last_message, marker);
}

TEST_F(ProgressJournalTest, AnEmptyMarkerIsARecordToo) {
  ProgressJournal journal(path_);
  ASSERT_TRUE(journal.Record(store_, Live(0), "uid-1"));
  ASSERT_TRUE(journal.Record(store_, Live(0), ""));
  EXPECT_EQ(Replayed({Account("pop.example.org", "ann", "uid-0")})[0].last_message, "");
}

TEST_F(ProgressJournalTest, DamagedAndCutShortLinesAreSkipped) {
  ProgressJournal journal(path_);
  ASSERT_TRUE(journal.Record(store_, Live(0), "uid-1"));
  std::string whole = ReadWholeFile(path_);
  std::string content = whole + "pop.example.org ann uid-2 extra\n" + "pop.example.org ann %4\n" +
                        "pop.example.org ann\n" + std::string("pop.example.org ann uid\0-3\n", 27) +
                        "no blanks\n" + "pop.example.org ann uid-9";  // cut short by a crash
  WriteWholeFile(path_, content);
  EXPECT_EQ(Replayed({Account("pop.example.org", "ann")})[0].last_message, "uid-1");
}

TEST_F(ProgressJournalTest, ARecordAfterALineCutShortStartsALineOfItsOwn) {
  WriteWholeFile(path_, "pop.example.org bob uid-5\npop.example.org ann ui");
  ProgressJournal journal(path_);
  ASSERT_TRUE(journal.Record(store_, Live(0), "uid-6"));
  EXPECT_EQ(ReadWholeFile(path_), "pop.example.org bob uid-5\npop.example.org ann uid-6\n");
}

TEST_F(ProgressJournalTest, AFoldEmptiesTheJournalOnlyWhenTheSaveWorked) {
  ProgressJournal journal(path_);
  int saves = 0;
  auto failing = [&] { return ++saves, false; };
  auto working = [&] { return ++saves, true; };
  EXPECT_TRUE(journal.Fold(working, false));  // nothing recorded: nothing saved
  EXPECT_EQ(saves, 0);

  ASSERT_TRUE(journal.Record(store_, Live(0), "uid-1"));
  EXPECT_FALSE(journal.Fold(failing, false));
  EXPECT_EQ(Replayed({Account("pop.example.org", "ann")})[0].last_message, "uid-1");
  EXPECT_TRUE(journal.Fold(working, false));
  EXPECT_EQ(saves, 2);
  EXPECT_EQ(ReadWholeFile(path_), "");
  EXPECT_TRUE(journal.Fold(working, true));  // asked for: saved all the same
  EXPECT_EQ(saves, 3);
  ASSERT_TRUE(journal.Record(store_, Live(1), "uid-2"));
  EXPECT_EQ(ReadWholeFile(path_), "pop.example.org bob uid-2\n");
}

TEST_F(ProgressJournalTest, RecordsLeftByAnEarlierRunAreEmptiedByTheFirstFold) {
  {
    ProgressJournal killed(path_);
    ASSERT_TRUE(killed.Record(store_, Live(0), "uid-4"));
  }
  ProgressJournal journal(path_);
  std::vector<MailboxAccount> mailboxes = {Account("pop.example.org", "ann", "uid-1")};
  EXPECT_TRUE(journal.Replay(mailboxes));
  EXPECT_EQ(mailboxes[0].last_message, "uid-4");
  EXPECT_TRUE(journal.Fold([] { return true; }, false));
  EXPECT_EQ(ReadWholeFile(path_), "");
}

TEST_F(ProgressJournalTest, AJournalThatCannotBeWrittenStillMovesTheMarker) {
  WriteWholeFile(folder_.File("plain"), "a file, not a folder");
  ProgressJournal journal(folder_.File("plain/quor.progress"));
  EXPECT_FALSE(journal.Record(store_, Live(0), "uid-1"));
  EXPECT_EQ(Live(0).last_message, "uid-1");
}

}  // namespace

}  // namespace quor
