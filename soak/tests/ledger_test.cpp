#include "ledger.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace owl::soak {
namespace {

using namespace std::chrono_literals;

struct Checked : testing::Test {
  Violations violations;
  // A deadline of zero makes every write still open at a check overdue.
  Ledger ledger{"t", violations, 0s};

  void SetUp() override {
    ledger.add_unit("U");
    ledger.adding("U");
    ledger.announced("U");
  }
  void accepted_write() {
    ledger.write_issued("U");
    ledger.write_answered("U", true);
  }
  std::vector<std::string> found() {
    ledger.finish(0s);
    return violations.first();
  }
};

TEST_F(Checked, EachWriteEndsInOneResultOrItsUnitsStop) {
  accepted_write();
  ledger.write_result("U");
  // The outcome may overtake the answer that accepted the write.
  ledger.write_issued("U");
  ledger.write_result("U");
  ledger.write_answered("U", true);
  accepted_write();
  ledger.removing("U");
  ledger.stopped("U");
  EXPECT_EQ(found(), std::vector<std::string>{});
  EXPECT_EQ(ledger.totals().results, 2u);
  EXPECT_EQ(ledger.totals().ended_by_stop, 1u);
}

TEST_F(Checked, ASecondResultOrOneForARefusedWriteIsAFault) {
  accepted_write();
  ledger.write_result("U");
  ledger.write_result("U");
  ledger.write_issued("U");
  ledger.write_result("U");
  ledger.write_answered("U", false);
  EXPECT_EQ(found(),
            (std::vector<std::string>{"t: WriteResult for U with no write open (a second result)",
                                      "t: 1 WriteResult for U that no accepted write claims"}));
}

TEST_F(Checked, AWriteOfAReplacedUnitIsNotEndedByTheStopOfItsSuccessor) {
  accepted_write();
  ledger.adding("U");  // replaced while the write is open
  ledger.announced("U");
  ledger.removing("U");
  ledger.stopped("U");
  ledger.check_deadlines();
  EXPECT_EQ(found(), std::vector<std::string>{
                         "t: write to U (since replaced) accepted 0 s ago has neither a "
                         "WriteResult nor a Stopped"});
}

TEST_F(Checked, AWriteThatNeverEndsIsReportedOnce) {
  accepted_write();
  ledger.check_deadlines();
  ledger.check_deadlines();
  EXPECT_EQ(found().size(), 1u);
  EXPECT_EQ(violations.count(), 1u);
}

TEST_F(Checked, AListingMustNotShowAUnitWhoseStopWasDelivered) {
  ledger.removing("U");
  ledger.stopped("U");
  const Ledger::Listing stale = ledger.listing_issued();
  ledger.listing_answered(stale, {"U"});
  // Added again after the listing was asked for: it may be listed.
  const Ledger::Listing asked = ledger.listing_issued();
  ledger.adding("U");
  ledger.listing_answered(asked, {"U"});
  EXPECT_EQ(found(),
            std::vector<std::string>{"t: units() listed U after its Stopped was delivered"});
}

TEST(Violations, AreTalliedByKindWithoutKeysAndNumbers) {
  Violations v;
  v.add("x: SOAK01 took 12 s");
  v.add("x: SIM0002 took 3 s");
  v.add("y");
  EXPECT_EQ(v.by_kind(), (std::map<std::string, std::uint64_t>{{"x: # took # s", 2}, {"y", 1}}));
  EXPECT_EQ(v.count(), 3u);
}

TEST_F(Checked, AUnitThatStaysUnannouncedOrUnansweredIsReported) {
  ledger.adding("U");
  EXPECT_FALSE(ledger.wait_idle("U", 0s));
  EXPECT_TRUE(ledger.wait_idle("U", 0s));  // reported once, then counted as gone
  ledger.set_busy("U", true);
  EXPECT_FALSE(ledger.wait_idle("U", 0s));
  EXPECT_EQ(found(), (std::vector<std::string>{
                         "t: U stayed waiting for its announcement after being replaced for 0 s",
                         "t: a call about U was not answered in 0 s"}));
}

}  // namespace
}  // namespace owl::soak
