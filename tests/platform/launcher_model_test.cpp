#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/launcher.h"

namespace {
using Outcome = LauncherModel::Outcome;

TEST(LauncherModel, RadioButtonsInScreenOrderSelectTheirModes) {
  EXPECT_STREQ(LauncherModel::LabelOfRow(0), "Window Mode");
  EXPECT_STREQ(LauncherModel::LabelOfRow(1), "640x480 Fullscreen");
  EXPECT_STREQ(LauncherModel::LabelOfRow(2), "800x600 Fullscreen");
  EXPECT_STREQ(LauncherModel::LabelOfRow(3), "1024x768 Fullscreen");
  EXPECT_EQ(LauncherModel::ModeOfRow(0), 1);
  EXPECT_EQ(LauncherModel::ModeOfRow(1), 0);
  EXPECT_EQ(LauncherModel::ModeOfRow(2), 2);
  EXPECT_EQ(LauncherModel::ModeOfRow(3), 3);
  for (int row = 0; row < LauncherModel::kRowCount; ++row) {
    EXPECT_EQ(LauncherModel::RowOfMode(LauncherModel::ModeOfRow(row)), row);
  }
  EXPECT_EQ(LauncherModel::ModeOfRow(-1), -1);
  EXPECT_EQ(LauncherModel::ModeOfRow(4), -1);
  EXPECT_EQ(LauncherModel::RowOfMode(4), -1);
  EXPECT_STREQ(LauncherModel::LabelOfRow(7), "");
}

TEST(LauncherModel, RunDemoUntouchedGives640x480FullscreenWithSoundNoLoop) {
  LauncherModel model;
  EXPECT_EQ(model.mode(), 0);
  EXPECT_EQ(model.selectedRow(), 1);  // the second radio button on screen
  EXPECT_EQ(model.outcome(), Outcome::kOpen);
  model.RunDemo(false, false);
  EXPECT_EQ(model.outcome(), Outcome::kRun);
  const LauncherChoice c = model.choice();
  EXPECT_EQ(c.mode, 0);
  EXPECT_FALSE(c.noSound);
  EXPECT_FALSE(c.loop);
}

TEST(LauncherModel, ClicksChangeTheModeAndCheckBoxesAreTakenOnRun) {
  LauncherModel model;
  model.SelectRow(0);
  EXPECT_EQ(model.mode(), 1);
  model.SelectRow(3);
  EXPECT_EQ(model.mode(), 3);
  model.SelectRow(9);  // not a button: nothing changes
  EXPECT_EQ(model.mode(), 3);
  model.RunDemo(true, true);
  EXPECT_EQ(model.choice().mode, 3);
  EXPECT_TRUE(model.choice().noSound);
  EXPECT_TRUE(model.choice().loop);
  // Decided: later input changes nothing.
  model.SelectRow(0);
  model.Cancel();
  model.RunDemo(false, false);
  EXPECT_EQ(model.outcome(), Outcome::kRun);
  EXPECT_EQ(model.choice().mode, 3);
  EXPECT_TRUE(model.choice().noSound);
}

TEST(LauncherModel, WindowModeThenEscapeStartsNothing) {
  LauncherModel model;
  model.SelectRow(0);
  model.Cancel();
  EXPECT_EQ(model.outcome(), Outcome::kCancelled);
  model.RunDemo(true, true);  // Enter after Escape does not revive it
  EXPECT_EQ(model.outcome(), Outcome::kCancelled);
}

TEST(LauncherModel, ArrowKeysWalkTheRowsAndStopAtTheEnds) {
  LauncherModel model;  // row 1 (mode 0)
  model.MoveSelection(-1);
  EXPECT_EQ(model.mode(), 1);
  model.MoveSelection(-1);
  EXPECT_EQ(model.mode(), 1);
  model.MoveSelection(+1);
  model.MoveSelection(+1);
  EXPECT_EQ(model.mode(), 2);
  model.MoveSelection(+1);
  model.MoveSelection(+1);
  EXPECT_EQ(model.mode(), 3);
}

}  // namespace
