#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "controller_fixture.h"
#include "records/motion_csv.h"
#include "records/number_form.h"

namespace hopster {
namespace {

namespace fs = std::filesystem;
using testing::ControllerFixture;

// The trace each record holds is the CSV text of exactly the samples of its
// own recording: built while recording, started afresh for the next one, and
// kept whole through a failed save for the retry.
TEST(RecordedTrace, EachRecordHoldsTheCsvOfItsOwnSamplesEvenAfterARetry) {
  ControllerFixture f;
  auto& c = *f.controller;
  std::vector<std::string> expected;

  f.record(3);
  expected.push_back(makeMotionCSV(c.motionData()));

  // The second recording's save fails once and is retried.
  f.startRecording();
  f.headphones->jump(5);
  const fs::path blocker = f.documents.path() / (formatNumber(f.scheduler.now()) + ".json");
  fs::create_directory(blocker);
  f.background.hold(true);
  c.toggleRecording();
  f.background.completeAll();
  ASSERT_TRUE(c.saveFailure());
  fs::remove(blocker);
  c.retrySave();
  f.background.completeAll();
  ASSERT_FALSE(c.saveFailure());
  expected.push_back(makeMotionCSV(c.motionData()));
  f.background.hold(false);
  f.background.completeAll();  // the journal let go after the retry

  f.record(4);
  ASSERT_TRUE(c.lastSaved());
  expected.push_back(makeMotionCSV(c.motionData()));

  auto saved = f.records.loadAllUserRecordData();
  ASSERT_EQ(saved.size(), 3u);
  std::vector<std::string> texts;
  for (const UserRecordData& record : saved) texts.push_back(record.csvText);
  std::ranges::sort(texts);
  std::ranges::sort(expected);
  EXPECT_EQ(texts, expected);
  EXPECT_NE(expected[0], expected[2]);
}

}  // namespace
}  // namespace hopster
