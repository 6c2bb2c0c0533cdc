#include <gtest/gtest.h>

#include "assistant/PresenterQueue.h"

namespace ixoral {
namespace {

TEST(RequestQueue, RunsInOrderOneAtATimeAndStopReportsEveryPendingRequest) {
  TRequestQueue q;
  EXPECT_EQ(q.StartNext(), nullptr);
  EXPECT_EQ(q.CompleteCurrent(), 0);
  const TRequestId a = q.Add({0, TRequestKind::Show, {}, 0, 0, 0});
  const TRequestId b = q.Add({0, TRequestKind::Speak, "Bonjour", 0, 0, 0});
  const TRequestId c = q.Add({0, TRequestKind::MoveTo, {}, 10, 20, 1});
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);

  const TRequest* first = q.StartNext();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Id, a);
  EXPECT_EQ(q.StartNext(), nullptr) << "a second request must not start while one is under way";
  EXPECT_EQ(q.CompleteCurrent(), a);
  EXPECT_EQ(q.CompleteCurrent(), 0) << "completing twice reports nothing";
  const TRequest* second = q.StartNext();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Text, "Bonjour");

  EXPECT_EQ(q.Clear(), (std::vector<TRequestId>{b, c}));
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.Current(), nullptr);
  // Numbers are never reused after a stop.
  EXPECT_EQ(q.Add({0, TRequestKind::Hide, {}, 0, 0, 0}), 4);
}

TEST(BalloonTime, GrowsWithTheCharactersWithinItsBounds) {
  EXPECT_EQ(BalloonMilliseconds(""), 2000);
  EXPECT_EQ(BalloonMilliseconds("Oui"), 2000);
  const std::string tip(150, 'a');
  EXPECT_EQ(BalloonMilliseconds(tip), 1000 + 10000);
  EXPECT_EQ(BalloonMilliseconds(std::string(5000, 'a')), 20000);
  // Accented letters count once, not per byte.
  std::string accented;
  for (int i = 0; i < 150; ++i) accented += "é";
  EXPECT_EQ(BalloonMilliseconds(accented), BalloonMilliseconds(tip));
}

TEST(CommandList, KeepsOrderReplacesByNameAndHidesInvisibleEntries) {
  TCommandList list;
  list.Add({"Z", "Conseil Suivant", true, true});
  list.Add({"Y", "Conseil Précedent", true, true});
  list.Add({"H", "Cachée", true, false});
  list.Add({"Z", "Suivant", false, true});
  ASSERT_EQ(list.Entries().size(), 3u);
  EXPECT_EQ(list.Entries()[0].Caption, "Suivant");
  EXPECT_FALSE(list.Entries()[0].Enabled);
  const auto menu = list.MenuEntries();
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[1].Name, "Y");
  EXPECT_TRUE(list.Find("H").has_value());
  EXPECT_FALSE(list.Find("Q").has_value());
  list.Clear();
  EXPECT_TRUE(list.Entries().empty());
}

}  // namespace
}  // namespace ixoral
