// Wide texts into real windows, the narrow fallback's conversion, and the
// count of a process's visible top-level windows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "provision/WinWindowHelpers.h"
#include "tests/support/WinTestSupport.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo::test {
namespace {

class Window {
 public:
  Window(DWORD style, HWND parent = nullptr, int id = 0)
      : window_(CreateWindowExA(0, "STATIC", "", style, 0, 0, 100, 20, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr)) {}
  ~Window() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

std::string wideText(HWND window) {
  wchar_t buffer[256];
  GetWindowTextW(window, buffer, 256);
  return utf8FromWide(buffer);
}

TEST(WindowHelpers, WideTextsKeepCharactersOutsideTheCodePage) {
  Window dialog(WS_POPUP);
  Window item(WS_CHILD, dialog.get(), 1003);
  ASSERT_NE(item.get(), nullptr);
  for (const char* text : {"", "plain", "Java ランタイム環境", "Ærø ✓ 😀"}) {
    std::u16string wide = utf16FromUtf8(text);
    setWindowTextWide(dialog.get(), wide.c_str());
    setDlgItemTextWide(dialog.get(), 1003, wide.c_str());
    EXPECT_EQ(wideText(dialog.get()), text);
    EXPECT_EQ(wideText(item.get()), text);
  }
}

TEST(WindowHelpers, NarrowTextIsAlwaysTerminatedWithinItsBuffer) {
  struct Case {
    std::u16string text;
    std::size_t capacity;
    std::string narrow;
  } cases[] = {
      {u"java.exe", 64, "java.exe"},
      {u"", 64, ""},
      {u"abcdef", 4, "abc"},
      {u"abc", 4, "abc"},
      {u"abc", 1, ""},
      {u"\u30e9\u30f3", 64, "??"},  // not in a Western code page
  };
  for (const Case& c : cases) {
    if (c.narrow == "??" && GetACP() != 1252) continue;
    char buffer[80];
    std::memset(buffer, 'x', sizeof buffer);
    narrowText(c.text.c_str(), buffer, c.capacity);
    EXPECT_EQ(std::string(buffer), c.narrow);
    EXPECT_EQ(buffer[c.capacity], 'x') << "wrote past the capacity";
  }
  // A text longer than a value may be is cut, not lost.
  std::u16string longText(10000, u'a');
  char value[8192];
  narrowText(longText.c_str(), value, sizeof value);
  EXPECT_EQ(std::strlen(value), 8191u);
}

TEST(WindowHelpers, CountsOnlyVisibleTopLevelWindowsOfTheProcess) {
  DWORD self = GetCurrentProcessId();
  int before = countVisibleProcessWindows(self);
  Window shown(WS_POPUP | WS_VISIBLE);
  Window hidden(WS_POPUP);
  Window child(WS_CHILD | WS_VISIBLE, shown.get(), 5);
  ASSERT_NE(child.get(), nullptr);
  EXPECT_EQ(countVisibleProcessWindows(self), before + 1);
  Window second(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  EXPECT_EQ(countVisibleProcessWindows(self), before + 2);
  ShowWindow(second.get(), SW_HIDE);
  EXPECT_EQ(countVisibleProcessWindows(self), before + 1);

  EXPECT_TRUE(isWindowOfProcess(shown.get(), self));
  EXPECT_FALSE(isWindowOfProcess(shown.get(), self + 4));
  // The desktop window belongs to another process.
  EXPECT_FALSE(isWindowOfProcess(GetDesktopWindow(), self));
  EXPECT_EQ(countVisibleProcessWindows(0xFFFFFFF0u), 0);
}

}  // namespace
}  // namespace plimo::test
