// The window's editing rules without the window: drafts, dirty form, current check, waiting and
// in-flight writes.
#include <QtTest>

#include "ui/edit_session.hpp"

using namespace owl;
using namespace owl::desktop;

namespace {

UiSettings with_delay(std::uint16_t ms) {
  UiSettings s;
  s.delay_ms = ms;
  return s;
}

}  // namespace

class EditSessionTest : public QObject {
  Q_OBJECT

 private slots:
  void switchingUnitsKeepsEdits();
  void onlyTheNewestCheckCountsAndStartsAWaitingWrite();
  void writesCleanOnlyWhatTheUnitConfirmedOrKeepWhatAGoneUnitWasSent();
};

void EditSessionTest::switchingUnitsKeepsEdits() {
  EditSession s;
  s.select("A", std::nullopt);
  QVERIFY(!s.dirty());
  s.edited();
  s.select("B", with_delay(50));
  QVERIFY(!s.dirty());
  QCOMPARE(s.draft("A"), with_delay(50));
  // An unedited form leaves nothing behind.
  s.select("A", with_delay(0));
  QVERIFY(s.dirty());
  QVERIFY(!s.has_draft("B"));
  QCOMPARE(s.unsaved(with_delay(60)), QStringList{"A"});
  s.set_draft("C", with_delay(1));
  QCOMPARE(s.unsaved(std::nullopt), (QStringList{"A", "C"}));
  s.drop_draft("A");
  QVERIFY(!s.dirty());
  s.forget("C");
  QVERIFY(s.unsaved(with_delay(60)).isEmpty());
}

void EditSessionTest::onlyTheNewestCheckCountsAndStartsAWaitingWrite() {
  EditSession s;
  s.select("A", std::nullopt);
  s.expect_check();
  const quint64 first = s.next_check();
  s.edited();  // the answer to `first` is about the old form
  QVERIFY(!s.check_answered("A", first));
  QVERIFY(s.check_pending());
  const quint64 second = s.next_check();
  QVERIFY(!s.check_answered("B", second));
  QCOMPARE(s.check_answered("A", second), std::optional(WriteRequest::None));
  QVERIFY(!s.check_pending());
  // Loading the form again voids an answer on its way.
  const quint64 third = s.next_check();
  s.reloaded();
  QVERIFY(!s.check_answered("A", third));

  // A write waiting for the check starts once, or is cancelled by another edit.
  s.expect_check();
  quint64 n = s.next_check();
  s.wait(WriteRequest::All);
  QCOMPARE(s.check_answered("A", n), std::optional(WriteRequest::All));
  QCOMPARE(s.check_answered("A", n), std::optional(WriteRequest::None));
  n = s.next_check();
  s.wait(WriteRequest::One);
  QVERIFY(s.edited());  // editing again cancels it
  QCOMPARE(s.waiting(), WriteRequest::None);
  QVERIFY(!s.edited());
  s.wait(WriteRequest::One);
  QVERIFY(s.reloaded());
  QVERIFY(!s.cancel_waiting());
}

void EditSessionTest::writesCleanOnlyWhatTheUnitConfirmedOrKeepWhatAGoneUnitWasSent() {
  EditSession s;
  s.select("A", std::nullopt);
  s.edited();
  s.write_started("A", with_delay(10), true);
  QVERIFY(!s.write_done("A", false));  // a failed write leaves the edits
  QVERIFY(s.dirty());
  s.write_started("A", with_delay(10), true);
  QVERIFY(s.write_done("A", true));
  QVERIFY(!s.dirty());
  // Edited while the unit confirmed: the newer edits stay.
  s.edited();
  s.write_started("A", with_delay(20), true);
  s.edited();
  QVERIFY(!s.write_done("A", true));
  QVERIFY(s.dirty());
  // Only some fields written (a preview): the rest stays an edit.
  s.write_started("A", with_delay(30), false);
  QVERIFY(!s.write_done("A", true));

  // The draft of another unit goes once that unit confirms exactly what the draft holds.
  s.set_draft("B", with_delay(40));
  s.set_draft("C", with_delay(40));
  s.write_started("B", with_delay(40), true);
  s.write_started("C", with_delay(41), true);
  QVERIFY(!s.write_done("B", true));
  QVERIFY(!s.write_done("C", true));
  QVERIFY(!s.has_draft("B"));
  QVERIFY(s.has_draft("C"));

  // A unit gone during a write keeps what it was sent as its draft.
  s.write_started("B", with_delay(70), true);
  s.unit_stopped("B", true, with_delay(1));  // the form is A's, not B's
  QCOMPARE(s.draft("B"), with_delay(70));
  // The selected unit goes while its edits are unwritten: they are kept.
  s.edited();
  s.unit_stopped("A", false, with_delay(5));
  QCOMPARE(s.draft("A"), with_delay(5));
  // A forgotten unit keeps nothing, not even what it was sent.
  s.write_started("C", with_delay(9), true);
  s.forget("C");
  s.unit_stopped("C", true, std::nullopt);
  QVERIFY(!s.has_draft("C"));
}

QTEST_MAIN(EditSessionTest)
#include "edit_session_test.moc"
