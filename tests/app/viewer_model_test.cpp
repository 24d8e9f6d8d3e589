// The map viewer's rules without a window: keys, wheel, drag, scroll bars, title, Space, Escape
// and following the file shown, against a view that records what the model asks of it.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/map_viewer_model.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"

namespace {

using testsupport::TempDir;

// An 8-bit grey map; Shift tells two files of the same size apart.
std::vector<std::uint8_t> MapBytes(int Width, int Height, int Shift = 0) {
  testsupport::BmpLayout Bmp;
  Bmp.width = Width;
  Bmp.height = Height;
  Bmp.colors = testsupport::GreyColors(256);
  const int Stride = testsupport::DibStride(Width, 8);
  Bmp.pixels.assign(static_cast<std::size_t>(Stride) * Height, 0);
  for (int Y = 0; Y < Height; ++Y) {
    for (int X = 0; X < Width; ++X) {
      Bmp.pixels[static_cast<std::size_t>(Y) * Stride + X] =
          static_cast<std::uint8_t>((X + Y + Shift) % 256);
    }
  }
  return testsupport::BuildBmp(Bmp);
}

class TRecordingView : public TMapViewerView {
 public:
  TPoint CursorPos() override { return Cursor; }
  void RepaintAll() override { Calls.emplace_back("repaint"); }
  void Scrolled(std::int32_t Dx, std::int32_t Dy) override {
    Calls.push_back("scrolled " + std::to_string(Dx) + "," + std::to_string(Dy));
  }
  void ScrollBarsChanged() override { Calls.emplace_back("bars"); }
  void TextChanged() override { Calls.emplace_back("text"); }
  void ShowError(const std::string& Message) override { Calls.push_back("error " + Message); }
  void Close() override { Calls.emplace_back("close"); }

  TPoint Cursor{-1, -1};  // off the view
  std::vector<std::string> Calls;
};

const std::vector<std::string> ZoomCalls{"bars", "text", "repaint"};

// A 640 x 480 map in a 300 x 200 view, shown 1:1 around the view's centre: scroll position
// (171, 140) of at most (340, 280); a line step is 15 x 10 pixels.
class ViewerModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::WriteFileBytes(Dir.file("MAP3-X1.BMP"), MapBytes(640, 480));
    Model.Resized(300, 200);
    Model.OpenFile(Dir.file("MAP3-X1.BMP"));
    Model.KeyPressed(TViewerKey::One);
    ASSERT_EQ(Model.View().ScrollX(), 171);
    ASSERT_EQ(Model.View().ScrollY(), 140);
    View.Calls.clear();
  }
  void ExpectScroll(std::int32_t X, std::int32_t Y) const {
    EXPECT_EQ(Model.View().ScrollX(), X);
    EXPECT_EQ(Model.View().ScrollY(), Y);
  }

  TempDir Dir;
  TRecordingView View;
  TMapViewerModel Model{View};
};

TEST_F(ViewerModelTest, OpensFittedAndAFittedMapFollowsTheViewsSize) {
  TRecordingView Other;
  TMapViewerModel Fresh(Other);
  Fresh.Resized(300, 200);
  Fresh.OpenFile(Dir.file("MAP3-X1.BMP"));
  EXPECT_TRUE(Fresh.View().Fitted());
  EXPECT_DOUBLE_EQ(Fresh.View().Zoom(), 200.0 / 480);
  EXPECT_EQ(Fresh.Title(), "MAP3-X1.BMP - 640 x 480 - 42%");
  EXPECT_EQ(Other.Calls,
            (std::vector<std::string>{"bars", "text", "repaint", "bars", "text", "repaint"}));
  Fresh.Resized(600, 400);
  EXPECT_DOUBLE_EQ(Fresh.View().Zoom(), 400.0 / 480);
  // Not once the zoom was chosen.
  Model.Resized(600, 400);
  EXPECT_DOUBLE_EQ(Model.View().Zoom(), 1);
  EXPECT_EQ(Model.Title(), "MAP3-X1.BMP - 640 x 480 - 100%");
}

struct TKeyCase {
  const char* Name;
  TViewerKey Key;
  TPoint Cursor;  // in view coordinates
  double Zoom;
  std::int32_t ScrollX, ScrollY;
  const char* Percent;  // the zoom in the title
};
void PrintTo(const TKeyCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class ViewerKeyTest : public ViewerModelTest, public ::testing::WithParamInterface<TKeyCase> {};

// From 1:1 at (171, 140). A zoom keeps the map point under its anchor: the view's centre, map
// point (321, 240), or the mouse, at (70, 130) over map point (241, 270).
TEST_P(ViewerKeyTest, ZoomsAroundTheMouseOrTheViewsCentreAndPans) {
  const TKeyCase& C = GetParam();
  View.Cursor = C.Cursor;
  Model.KeyPressed(C.Key);
  EXPECT_NEAR(Model.View().Zoom(), C.Zoom, 1e-9);
  ExpectScroll(C.ScrollX, C.ScrollY);
  EXPECT_EQ(Model.Title(), std::string("MAP3-X1.BMP - 640 x 480 - ") + C.Percent);
}

const double Root2 = std::sqrt(2.0);
INSTANTIATE_TEST_SUITE_P(
    Keys, ViewerKeyTest,
    ::testing::ValuesIn(std::vector<TKeyCase>{
        {"plus, around the centre", TViewerKey::Plus, {-1, -1}, Root2, 304, 240, "141%"},
        {"equal as plus", TViewerKey::Equal, {300, 100}, Root2, 304, 240, "141%"},
        {"plus around the mouse", TViewerKey::Plus, {70, 130}, Root2, 271, 252, "141%"},
        {"minus", TViewerKey::Minus, {150, 200}, 1 / Root2, 77, 70, "71%"},
        {"minus around the mouse", TViewerKey::Minus, {70, 130}, 1 / Root2, 101, 61, "71%"},
        {"one around the mouse", TViewerKey::One, {0, 0}, 1, 171, 140, "100%"},
        {"zero fits", TViewerKey::Zero, {70, 130}, 200.0 / 480, 0, 0, "42%"},
        {"left: a line step", TViewerKey::Left, {70, 130}, 1, 156, 140, "100%"},
        {"right", TViewerKey::Right, {-1, -1}, 1, 186, 140, "100%"},
        {"up", TViewerKey::Up, {-1, -1}, 1, 171, 130, "100%"},
        {"down", TViewerKey::Down, {-1, -1}, 1, 171, 150, "100%"},
        {"page up, to the top", TViewerKey::PageUp, {-1, -1}, 1, 171, 0, "100%"},
        {"page down, to the bottom", TViewerKey::PageDown, {-1, -1}, 1, 171, 280, "100%"},
        {"home: top-left corner", TViewerKey::Home, {-1, -1}, 1, 0, 0, "100%"},
        {"end: bottom-right corner", TViewerKey::End, {-1, -1}, 1, 340, 280, "100%"},
    }));

// Notches of 120 zoom a step each around the mouse; smaller deltas add up to notches.
TEST_F(ViewerModelTest, TheWheelZoomsANotchAtATimeAroundTheMouse) {
  Model.WheelTurned(60, TPoint{70, 130});
  EXPECT_DOUBLE_EQ(Model.View().Zoom(), 1);
  Model.WheelTurned(60, TPoint{70, 130});
  EXPECT_NEAR(Model.View().Zoom(), Root2, 1e-9);
  ExpectScroll(271, 252);
  for (const int Delta : {-30, -90, 120, 240, 120, -40}) Model.WheelTurned(Delta, {70, 130});
  EXPECT_NEAR(Model.View().Zoom(), 4, 1e-9);
  // Map point (241, 270) under the mouse: whole view pixels at every step, within a map pixel.
  EXPECT_NEAR(241 * 4 - Model.View().ScrollX(), 70, 4);
  EXPECT_NEAR(270 * 4 - Model.View().ScrollY(), 130, 4);
  Model.WheelTurned(-80, TPoint{70, 130});  // with the -40 left over: one notch back
  EXPECT_NEAR(Model.View().Zoom(), 2 * Root2, 1e-9);
}

TEST_F(ViewerModelTest, DraggingMovesTheMapWithTheMouse) {
  Model.MouseMoved(TPoint{10, 10});  // no button: nothing moves
  EXPECT_TRUE(View.Calls.empty());
  Model.ButtonDown(TPoint{200, 150});
  EXPECT_TRUE(Model.Dragging());
  Model.MouseMoved(TPoint{150, 110});
  ExpectScroll(221, 180);
  Model.MouseMoved(TPoint{260, 160});
  ExpectScroll(111, 130);
  Model.ButtonUp();
  EXPECT_FALSE(Model.Dragging());
  Model.MouseMoved(TPoint{100, 100});
  ExpectScroll(111, 130);
  EXPECT_EQ(View.Calls,
            (std::vector<std::string>{"bars", "scrolled -50,-40", "bars", "scrolled 110,50"}));
}

TEST_F(ViewerModelTest, ScrollBarsStepByLinesAndPagesAndFollowTheirThumbs) {
  Model.ScrollBarUsed(TViewerAxis::Horizontal, TScrollRequest::LineForward);
  ExpectScroll(186, 140);
  Model.ScrollBarUsed(TViewerAxis::Vertical, TScrollRequest::LineBack);
  ExpectScroll(186, 130);
  Model.ScrollBarUsed(TViewerAxis::Horizontal, TScrollRequest::PageBack);
  ExpectScroll(0, 130);
  Model.ScrollBarUsed(TViewerAxis::Vertical, TScrollRequest::PageForward);
  ExpectScroll(0, 280);
  Model.ScrollBarUsed(TViewerAxis::Horizontal, TScrollRequest::End);
  ExpectScroll(340, 280);
  Model.ScrollBarUsed(TViewerAxis::Vertical, TScrollRequest::Start);
  ExpectScroll(340, 0);
  Model.ScrollBarsMoved(50, 60);
  ExpectScroll(50, 60);
  Model.ScrollBarsMoved(5000, -3);
  ExpectScroll(340, 0);
  EXPECT_EQ(Model.LineStepX(), 15);
  EXPECT_EQ(Model.LineStepY(), 10);
}

TEST_F(ViewerModelTest, SpaceSwitchesBetweenTheResultAndItsBackupInPlace) {
  testsupport::WriteFileBytes(Dir.file("MAP3-X1.OLD"), MapBytes(640, 480, 1));
  Model.KeyPressed(TViewerKey::Plus);
  View.Calls.clear();
  Model.KeyPressed(TViewerKey::Space);
  EXPECT_EQ(Model.View().FileName(), Dir.file("MAP3-X1.OLD"));
  EXPECT_EQ(Model.Title(), "MAP3-X1.OLD - 640 x 480 - 141%");
  ExpectScroll(304, 240);
  EXPECT_EQ(View.Calls, ZoomCalls);
  Model.KeyPressed(TViewerKey::Space);
  EXPECT_EQ(Model.View().FileName(), Dir.file("MAP3-X1.BMP"));
  ExpectScroll(304, 240);
}

TEST_F(ViewerModelTest, SpaceWithoutABackupDoesNothingAndABackupThatFailsToLoadShowsItsError) {
  Model.KeyPressed(TViewerKey::Space);
  EXPECT_TRUE(View.Calls.empty());
  testsupport::WriteFileBytes(Dir.file("MAP3-X1.OLD"), {'B', 'M', 0});
  Model.KeyPressed(TViewerKey::Space);
  EXPECT_EQ(View.Calls, std::vector<std::string>{"error ストリームからの読み込みエラー"});
  EXPECT_EQ(Model.View().FileName(), Dir.file("MAP3-X1.BMP"));
  ExpectScroll(171, 140);
}

TEST_F(ViewerModelTest, EscapeAsksTheWindowToClose) {
  Model.KeyPressed(TViewerKey::Escape);
  EXPECT_EQ(View.Calls, std::vector<std::string>{"close"});
}

// A run (or anything else) replaces the file shown: the viewer shows the new file at the same
// place, and keeps the old picture while the name is missing or its file only half written.
TEST_F(ViewerModelTest, FollowsItsFileWhenItIsReplacedKeepingTheOldMapUntilTheNewOneLoads) {
  const std::string Name = Dir.file("MAP3-X1.BMP");
  std::filesystem::rename(Name, Dir.file("away.BMP"));
  Model.FollowFile();
  const std::vector<std::uint8_t> Whole = MapBytes(640, 480, 7);
  testsupport::WriteFileBytes(Name, {Whole.begin(), Whole.begin() + Whole.size() / 2});
  Model.FollowFile();
  EXPECT_TRUE(View.Calls.empty());
  testsupport::WriteFileBytes(Dir.file("new.BMP"), Whole);
  std::filesystem::rename(Dir.file("new.BMP"), Name);
  Model.FollowFile();
  EXPECT_EQ(View.Calls, ZoomCalls);
  ExpectScroll(171, 140);
  EXPECT_DOUBLE_EQ(Model.View().Zoom(), 1);
}

}  // namespace
