// The program's clipboard object connected to the desktop's clipboard through the Win32 hook: a
// picture stored on it reaches the desktop's clipboard, and a clipboard object that holds nothing
// fetches it back from there.

#include "app/win32/clipboard_hook.h"

#include <gtest/gtest.h>

#include "bigbitmap/bigbitmap.h"
#include "platform/clipboard.h"
#include "platform/globalmem.h"
#include "platform/streams.h"
#include "viewer_test_maps.h"

namespace {

std::unique_ptr<TBigBitmap> Map(int Width, int Height, int Shift) {
  const std::vector<std::uint8_t> File = win32test::MapFileBytes(Width, Height, Shift);
  TMemoryStream Stream;
  Stream.WriteBuffer(File.data(), static_cast<std::int32_t>(File.size()));
  Stream.SetPosition(0);
  auto Result = std::make_unique<TBigBitmap>();
  Result->LoadFromStream(Stream);
  return Result;
}

// A clipboard object of its own, connected to the desktop's clipboard.
struct TConnectedClipboard {
  TConnectedClipboard() { Board.SetHook(Hook.get()); }
  std::unique_ptr<TClipboardHook> Hook = NewDesktopClipboardHook(win32test::ClipboardTestOwner());
  TClipboard Board;
};

TEST(DesktopClipboardHookTest, APictureStoredComesBackThroughAnotherClipboardObject) {
  const int BlocksBefore = LiveGlobalBlocks();
  const std::unique_ptr<TBigBitmap> Copied = Map(37, 23, 0);
  {
    TConnectedClipboard Connected;
    Connected.Board.Assign(Copied.get());
  }
  // Only the desktop's clipboard holds it now.
  EXPECT_EQ(LiveGlobalBlocks(), BlocksBefore);
  const std::unique_ptr<TBigBitmap> Pasted = Map(5, 5, 3);
  {
    TConnectedClipboard Connected;
    Pasted->Assign(&Connected.Board);
    EXPECT_EQ(LiveGlobalBlocks(), BlocksBefore + 1);  // the fetched copy, the clipboard's own
  }
  EXPECT_EQ(LiveGlobalBlocks(), BlocksBefore);
  EXPECT_TRUE(Pasted->Equals(Copied.get()));
}

TEST(DesktopClipboardHookTest, AFormatTheDesktopClipboardDoesNotHoldIsNotFetched) {
  const int BlocksBefore = LiveGlobalBlocks();
  TConnectedClipboard Connected;
  Connected.Board.Clear();  // empties the desktop's clipboard too
  EXPECT_FALSE(Connected.Board.HasFormat(CF_DIB));
  EXPECT_EQ(LiveGlobalBlocks(), BlocksBefore);
}

}  // namespace
