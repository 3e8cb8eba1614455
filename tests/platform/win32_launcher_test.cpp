// The launcher dialog as the viewer meets it: built from resource 102, driven from a second
// thread the way a viewer's clicks and keys arrive.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/launcher.h"
#include "platform/win32_resource.h"

namespace {

constexpr char kTitle[] = "Quillon - Veltrum";

HWND WaitForDialog() {
  for (int i = 0; i < 500; ++i) {
    if (HWND dialog = FindWindowA(nullptr, kTitle)) {
      if (IsWindowVisible(dialog)) return dialog;
    }
    Sleep(10);
  }
  return nullptr;
}

std::string Text(HWND window) {
  char text[128] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// Runs the launcher on this thread while `drive` acts on the dialog from another.
template <typename Drive>
bool RunWith(Drive drive, LauncherChoice* choice, std::string* error) {
  std::thread driver([&] {
    HWND dialog = WaitForDialog();
    if (dialog) drive(dialog);
  });
  // The timer only ends a run that the driver could not end.
  const bool run = RunLauncher(choice, nullptr, error, 20000);
  driver.join();
  return run;
}

TEST(Win32Launcher, TemplateHasTheControlsTextsAndRectanglesOfTheDesign) {
  std::string checked;
  RunWith(
      [&](HWND dialog) {
        struct Control {
          int id;
          const char* text;
          RECT units;  // x, y, width, height in dialog units
        } const controls[] = {
            {IDOK, "Run Demo", {25, 96, 50, 14}},
            {IDC_MODE_640_FULLSCREEN, "640x480 Fullscreen", {13, 31, 80, 9}},
            {IDC_MODE_WINDOW, "Window Mode", {13, 20, 76, 9}},
            {IDC_MODE_800_FULLSCREEN, "800x600 Fullscreen", {13, 41, 76, 9}},
            {IDC_MODE_1024_FULLSCREEN, "1024x768 Fullscreen", {13, 52, 77, 9}},
            {IDC_NO_SOUND, "No Sound", {13, 63, 48, 10}},
            {IDC_LOOP_DEMO, "Loop Demo", {13, 73, 53, 10}},
        };
        for (const Control& c : controls) {
          HWND control = GetDlgItem(dialog, c.id);
          EXPECT_NE(control, nullptr) << c.id;
          if (!control) continue;
          EXPECT_EQ(Text(control), c.text);
          // The dialog manager converts position and size each on its own, as this does.
          RECT expected = c.units;
          MapDialogRect(dialog, &expected);
          RECT actual;
          GetWindowRect(control, &actual);
          MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
          EXPECT_EQ(actual.left, expected.left) << c.text;
          EXPECT_EQ(actual.top, expected.top) << c.text;
          EXPECT_EQ(actual.right - actual.left, expected.right) << c.text;
          EXPECT_EQ(actual.bottom - actual.top, expected.bottom) << c.text;
        }
        // "Window Mode" stands above "640x480 Fullscreen" although its id is the next one.
        RECT window, fullscreen;
        GetWindowRect(GetDlgItem(dialog, IDC_MODE_WINDOW), &window);
        GetWindowRect(GetDlgItem(dialog, IDC_MODE_640_FULLSCREEN), &fullscreen);
        EXPECT_LT(window.top, fullscreen.top);

        // Radio 1000 is selected at start, nothing else is ticked.
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_MODE_640_FULLSCREEN), BST_CHECKED);
        for (int id : {IDC_MODE_WINDOW, IDC_MODE_800_FULLSCREEN, IDC_MODE_1024_FULLSCREEN, IDC_NO_SOUND, IDC_LOOP_DEMO})
          EXPECT_EQ(IsDlgButtonChecked(dialog, id), BST_UNCHECKED) << id;
        EXPECT_EQ(GetWindowLongPtrA(GetDlgItem(dialog, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);

        // Client area 234 x 132 dialog units; caption, system menu, modal frame, on the task bar.
        RECT client{0, 0, 234, 132}, actual;
        MapDialogRect(dialog, &client);
        GetClientRect(dialog, &actual);
        EXPECT_EQ(actual.right, client.right);
        EXPECT_EQ(actual.bottom, client.bottom);
        const LONG_PTR style = GetWindowLongPtrA(dialog, GWL_STYLE);
        EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) && (style & WS_POPUP));
        EXPECT_TRUE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        EXPECT_NE(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0), 0);
        EXPECT_NE(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0), 0);

        // The picture: a sunken static control holding the 180 x 182 bitmap, sized to it.
        HWND picture = nullptr;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
          if ((GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) picture = child;
        }
        EXPECT_NE(picture, nullptr);
        if (picture) {
          auto bitmap = reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
          BITMAP info{};
          EXPECT_TRUE(bitmap && GetObjectA(bitmap, sizeof info, &info));
          EXPECT_EQ(info.bmWidth, 180);
          EXPECT_EQ(info.bmHeight, 182);
          EXPECT_TRUE(GetWindowLongPtrA(picture, GWL_STYLE) & SS_SUNKEN);
        }
        checked = "yes";
        PostMessageA(dialog, WM_CLOSE, 0, 0);
      },
      nullptr, nullptr);
  EXPECT_EQ(checked, "yes");
}

TEST(Win32Launcher, RunDemoReturnsTheClickedModeAndTheTickedBoxes) {
  LauncherChoice choice;
  choice.mode = -1;
  std::string error;
  const bool run = RunWith(
      [](HWND dialog) {
        SendMessageA(GetDlgItem(dialog, IDC_MODE_800_FULLSCREEN), BM_CLICK, 0, 0);
        SendMessageA(GetDlgItem(dialog, IDC_MODE_WINDOW), BM_CLICK, 0, 0);
        SendMessageA(GetDlgItem(dialog, IDC_LOOP_DEMO), BM_CLICK, 0, 0);
        // Only the last click on a radio button counts, and the radio buttons exclude each other.
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_MODE_800_FULLSCREEN), BST_UNCHECKED);
        SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
      },
      &choice, &error);
  EXPECT_TRUE(run) << error;
  EXPECT_EQ(choice.mode, 1);
  EXPECT_FALSE(choice.noSound);
  EXPECT_TRUE(choice.loop);
}

TEST(Win32Launcher, RunDemoUntouchedIsFullscreen640WithSoundWithoutLooping) {
  LauncherChoice choice;
  choice.mode = -1;
  choice.noSound = choice.loop = true;
  const bool run = RunWith([](HWND dialog) { SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); }, &choice,
                           nullptr);
  EXPECT_TRUE(run);
  EXPECT_EQ(choice.mode, 0);
  EXPECT_FALSE(choice.noSound);
  EXPECT_FALSE(choice.loop);
}

TEST(Win32Launcher, EscapeAndTheCloseBoxCancelWithoutAChoice) {
  for (int way = 0; way < 2; ++way) {
    LauncherChoice choice;
    choice.mode = 7;
    std::string error = "unset";
    const bool run = RunWith(
        [way](HWND dialog) {
          SendMessageA(GetDlgItem(dialog, IDC_MODE_WINDOW), BM_CLICK, 0, 0);
          SendMessageA(GetDlgItem(dialog, IDC_NO_SOUND), BM_CLICK, 0, 0);
          if (way == 0) {
            // Escape reaches the dialog through its own message loop, as a key press does.
            HWND focus = GetDlgItem(dialog, IDOK);
            PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0000001);
          } else {
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
          }
        },
        &choice, &error);
    EXPECT_FALSE(run) << way;
    EXPECT_EQ(choice.mode, 7) << way;
    EXPECT_TRUE(error.empty()) << error;
  }
}

TEST(Win32Launcher, CloseAfterCancelsByItself) {
  LauncherChoice choice;
  const DWORD start = GetTickCount();
  EXPECT_FALSE(RunLauncher(&choice, nullptr, nullptr, 50));
  EXPECT_LT(GetTickCount() - start, 10000u);
}

}  // namespace
