#include <gtest/gtest.h>

#include "platform/key_map.h"
#include "platform/platform.h"

namespace {

int Vk(const char* name) {
  return VirtualKeyFromSdlKeycode(SdlKeycodeFromName(name));
}

TEST(KeyMap, KeysGetTheirVirtualKeyCodes) {
  EXPECT_EQ(Vk("Escape"), kKeyEscape);
  EXPECT_EQ(Vk("Escape"), 27);
  EXPECT_EQ(Vk("A"), 'A');
  EXPECT_EQ(Vk("q"), 'Q');  // letters by their capital
  EXPECT_EQ(Vk("Z"), 'Z');
  EXPECT_EQ(Vk("0"), '0');
  EXPECT_EQ(Vk("9"), '9');
  EXPECT_EQ(Vk("Space"), 0x20);
  EXPECT_EQ(Vk("Return"), 0x0D);
  EXPECT_EQ(Vk("Keypad Enter"), 0x0D);
  EXPECT_EQ(Vk("Backspace"), 0x08);
  EXPECT_EQ(Vk("Tab"), 0x09);
  EXPECT_EQ(Vk("Left"), 0x25);
  EXPECT_EQ(Vk("Up"), 0x26);
  EXPECT_EQ(Vk("Right"), 0x27);
  EXPECT_EQ(Vk("Down"), 0x28);
  EXPECT_EQ(Vk("F1"), 0x70);
  EXPECT_EQ(Vk("F12"), 0x7B);
  EXPECT_EQ(Vk("F13"), 0x7C);
  EXPECT_EQ(Vk("F24"), 0x87);
  EXPECT_EQ(Vk("Keypad 0"), 0x60);
  EXPECT_EQ(Vk("Keypad 9"), 0x69);
  EXPECT_EQ(Vk("Left Shift"), 0x10);
  EXPECT_EQ(Vk("Right Shift"), 0x10);
  EXPECT_EQ(Vk("Right Ctrl"), 0x11);
  EXPECT_EQ(Vk("Delete"), 0x2E);
  EXPECT_EQ(Vk("PageDown"), 0x22);
}

TEST(KeyMap, UnknownKeysHaveNoCodeAndCodesFitTheKeyTable) {
  EXPECT_EQ(VirtualKeyFromSdlKeycode(0), 0);
  EXPECT_EQ(VirtualKeyFromSdlKeycode(-1), 0);
  EXPECT_EQ(VirtualKeyFromSdlKeycode(0x7FFFFFFF), 0);
  EXPECT_EQ(SdlKeycodeFromName(nullptr), 0);
  EXPECT_EQ(Vk("No Such Key"), 0);
  // Whatever the code, it indexes a 256-entry key table.
  // (SDL codes are characters below 0x200 and scancodes with bit 30 set.)
  for (int32_t base : {0, 0x40000000}) {
    for (int32_t code = base; code < base + 0x200; ++code) {
      const int vk = VirtualKeyFromSdlKeycode(code);
      ASSERT_GE(vk, 0) << code;
      ASSERT_LT(vk, 256) << code;
    }
  }
}

}  // namespace
