// The map viewer's rules without a window: keys, wheel, drag, scroll bars, title, Space, Escape
// and following the file shown, against a view that records what the model asks of it.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/map_viewer_model.h"
#include "support/bmp_builder.h"
#include "support/temp_dir.h"

namespace {

using testsupport::TTempDir;

// An 8-bit grey map; Shift tells two files of the same size apart.
std::vector<std::uint8_t> MapBytes(int Width, int Height, int Shift = 0) {
  testsupport::TBmpLayout Bmp;
  Bmp.Width = Width;
  Bmp.Height = Height;
  Bmp.Colors = testsupport::GreyColors(256);
  const int Stride = testsupport::DibStride(Width, 8);
  Bmp.Pixels.assign(static_cast<std::size_t>(Stride) * Height, 0);
  for (int Y = 0; Y < Height; ++Y) {
    for (int X = 0; X < Width; ++X) {
      Bmp.Pixels[static_cast<std::size_t>(Y) * Stride + X] =
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
  std::optional<std::string> AskText(const std::string& Title, const std::string& Prompt,
                                     const std::string& Initial) override {
    Calls.push_back("ask " + Title + " | " + Prompt + " | " + Initial);
    return Answer;
  }

  TPoint Cursor{-1, -1};              // off the view
  std::optional<std::string> Answer;  // what the prompt is answered with; none: cancelled
  std::vector<std::string> Calls;
};

const std::vector<std::string> ZoomCalls{"bars", "text", "repaint"};

// A 640 x 480 map in a 300 x 200 view, shown 1:1 around the view's centre: scroll position
// (171, 140) of at most (340, 280); a line step is 15 x 10 pixels.
class ViewerModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::WriteFileBytes(Dir.File("MAP3-X1.BMP"), MapBytes(640, 480));
    Model.Resized(300, 200);
    Model.OpenFile(Dir.File("MAP3-X1.BMP"));
    Model.KeyPressed(TViewerKey::One);
    ASSERT_EQ(Model.View().ScrollX(), 171);
    ASSERT_EQ(Model.View().ScrollY(), 140);
    View.Calls.clear();
  }
  void ExpectScroll(std::int32_t X, std::int32_t Y) const {
    EXPECT_EQ(Model.View().ScrollX(), X);
    EXPECT_EQ(Model.View().ScrollY(), Y);
  }

  TTempDir Dir;
  TRecordingView View;
  TMapViewerModel Model{View};
};

TEST_F(ViewerModelTest, OpensFittedAndAFittedMapFollowsTheViewsSize) {
  TRecordingView Other;
  TMapViewerModel Fresh(Other);
  Fresh.Resized(300, 200);
  Fresh.OpenFile(Dir.File("MAP3-X1.BMP"));
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
  Model.MouseMoved(TPoint{10, 10});  // no button: nothing moves; the position line is new
  EXPECT_EQ(View.Calls, std::vector<std::string>{"text"});
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
  // The map point under the mouse changes with the first drag and the move after it, not while
  // the map moves along with the mouse.
  EXPECT_EQ(View.Calls, (std::vector<std::string>{"text", "bars", "scrolled -50,-40", "text",
                                                  "bars", "scrolled 110,50", "text"}));
}

// The map pixel under the mouse (300 x 200 view, 640 x 480 map), in a file not named like a map.
TEST_F(ViewerModelTest, TheTitleSaysWhichPixelIsUnderTheMouse) {
  testsupport::WriteFileBytes(Dir.File("plain.bmp"), MapBytes(640, 480));
  Model.OpenFile(Dir.File("plain.bmp"));  // the same size: 1:1 at (171, 140) kept
  const auto TitleAt = [this](TPoint At) {
    Model.MouseMoved(At);
    return Model.Title();
  };
  EXPECT_EQ(TitleAt({0, 0}), "plain.bmp - 640 x 480 - 100% - ピクセル 171, 140");
  EXPECT_EQ(TitleAt({299, 199}), "plain.bmp - 640 x 480 - 100% - ピクセル 470, 339");
  Model.KeyPressed(TViewerKey::Plus);  // 905 x 679 at (304, 240)
  EXPECT_EQ(TitleAt({10, 20}), "plain.bmp - 640 x 480 - 141% - ピクセル 222, 183");
  // Fitted: 267 x 200 from view column 16.
  Model.KeyPressed(TViewerKey::Zero);
  EXPECT_EQ(TitleAt({16, 0}), "plain.bmp - 640 x 480 - 42% - ピクセル 0, 0");
  EXPECT_EQ(TitleAt({282, 199}), "plain.bmp - 640 x 480 - 42% - ピクセル 637, 477");
  EXPECT_EQ(TitleAt({15, 100}), "plain.bmp - 640 x 480 - 42%");
  EXPECT_EQ(TitleAt({283, 100}), "plain.bmp - 640 x 480 - 42%");
  TitleAt({100, 100});
  Model.MouseLeft();
  EXPECT_EQ(Model.Title(), "plain.bmp - 640 x 480 - 42%");
  // A map's file: the tile, its block and the sextant reading (Malas, full size: a tile a pixel,
  // 1152 tiles west and 1484 north of 1323, 1624).
  Model.OpenFile(Dir.File("MAP3-X1.BMP"));
  Model.KeyPressed(TViewerKey::One);
  EXPECT_EQ(TitleAt({0, 0}),
            "MAP3-X1.BMP - 640 x 480 - 100% - タイル 171, 140 - ブロック 21, 17 - 130°25'N 81°0'W");
}

struct TGoToCase {
  const char* Name;
  const char* Typed;
  double ZoomBefore;
  double Zoom;
  std::int32_t ScrollX, ScrollY;
  TPoint Mark;
};
void PrintTo(const TGoToCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class ViewerGoToTest : public ViewerModelTest, public ::testing::WithParamInterface<TGoToCase> {};

// Ctrl+G centres the place (its pixel's centre at view point 150, 100) at no less than 1:1 and
// marks it; the next place offered is the one typed.
TEST_P(ViewerGoToTest, CentresThePlaceAndMarksItUntilTheViewMoves) {
  const TGoToCase& C = GetParam();
  Model.ZoomTo(C.ZoomBefore, TPoint{150, 100});
  View.Calls.clear();
  View.Answer = C.Typed;
  Model.KeyPressed(TViewerKey::GoTo);
  ASSERT_EQ(View.Calls.front(),
            "ask 場所へ移動 | タイル座標か六分儀の読み (例: 1323, 1624 または 42°17'N 11°36'E) | ");
  EXPECT_NEAR(Model.View().Zoom(), C.Zoom, 1e-9);
  ExpectScroll(C.ScrollX, C.ScrollY);
  ASSERT_TRUE(Model.View().Mark());
  EXPECT_EQ(Model.View().Mark()->X, C.Mark.X);
  EXPECT_EQ(Model.View().Mark()->Y, C.Mark.Y);
  View.Answer.reset();
  Model.KeyPressed(TViewerKey::GoTo);  // cancelled: nothing changes
  EXPECT_EQ(View.Calls.back(), std::string("ask 場所へ移動 | タイル座標か六分儀の読み (例: 1323, "
                                           "1624 または 42°17'N 11°36'E) | ") +
                                   C.Typed);
  EXPECT_TRUE(Model.View().Mark());
  Model.Resized(310, 210);  // the point stays where it is on the map
  EXPECT_TRUE(Model.View().Mark());
  Model.KeyPressed(TViewerKey::Right);
  EXPECT_FALSE(Model.View().Mark());
}

INSTANTIATE_TEST_SUITE_P(
    Places, ViewerGoToTest,
    ::testing::ValuesIn(std::vector<TGoToCase>{
        {"tile, from a fit up to 1:1", "320, 240", 0.25, 1, 171, 141, {320, 240}},
        {"a larger zoom kept", "320,240", 2, 2, 491, 381, {320, 240}},
        {"near the corner, as far as the map goes", "5 , 5", 1, 1, 0, 0, {5, 5}},
        // The reading of tile 171, 140 (see above) leads back to it.
        {"a sextant reading", "130°25'N 81°0'W", 1, 1, 22, 41, {171, 140}},
        {"written with o and a comma", "130o25'N, 81o0'W", 1, 1, 22, 41, {171, 140}},
    }));

TEST_F(ViewerModelTest, APlaceThatCannotBeReadOrLiesOffTheMapIsShownAndMovesNothing) {
  for (const char* Typed : {"north", "700, 10"}) {
    View.Answer = Typed;
    Model.KeyPressed(TViewerKey::GoTo);
  }
  ASSERT_EQ(View.Calls.size(), 4u);
  EXPECT_EQ(
      View.Calls[1],
      "error ParsePlace: Cannot read \"north\"; type tile coordinates such as 1323, 1624 or a "
      "sextant reading such as 42°17'N 11°36'E");
  EXPECT_EQ(View.Calls[3],
            "error FindPlace: Tile 700, 10 lies outside this map (tiles 0, 0 to 639, 479)");
  ExpectScroll(171, 140);
  EXPECT_DOUBLE_EQ(Model.View().Zoom(), 1);
  EXPECT_FALSE(Model.View().Mark());
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
  testsupport::WriteFileBytes(Dir.File("MAP3-X1.OLD"), MapBytes(640, 480, 1));
  Model.KeyPressed(TViewerKey::Plus);
  View.Calls.clear();
  Model.KeyPressed(TViewerKey::Space);
  EXPECT_EQ(Model.View().FileName(), Dir.File("MAP3-X1.OLD"));
  EXPECT_EQ(Model.Title(), "MAP3-X1.OLD - 640 x 480 - 141%");
  ExpectScroll(304, 240);
  EXPECT_EQ(View.Calls, ZoomCalls);
  Model.KeyPressed(TViewerKey::Space);
  EXPECT_EQ(Model.View().FileName(), Dir.File("MAP3-X1.BMP"));
  ExpectScroll(304, 240);
}

TEST_F(ViewerModelTest, SpaceWithoutABackupDoesNothingAndABackupThatFailsToLoadShowsItsError) {
  Model.KeyPressed(TViewerKey::Space);
  EXPECT_TRUE(View.Calls.empty());
  testsupport::WriteFileBytes(Dir.File("MAP3-X1.OLD"), {'B', 'M', 0});
  Model.KeyPressed(TViewerKey::Space);
  EXPECT_EQ(View.Calls, std::vector<std::string>{"error ストリームからの読み込みエラー"});
  EXPECT_EQ(Model.View().FileName(), Dir.File("MAP3-X1.BMP"));
  ExpectScroll(171, 140);
}

TEST_F(ViewerModelTest, EscapeAsksTheWindowToClose) {
  Model.KeyPressed(TViewerKey::Escape);
  EXPECT_EQ(View.Calls, std::vector<std::string>{"close"});
}

// A run (or anything else) replaces the file shown: the viewer shows the new file at the same
// place, and keeps the old picture while the name is missing or its file only half written.
TEST_F(ViewerModelTest, FollowsItsFileWhenItIsReplacedKeepingTheOldMapUntilTheNewOneLoads) {
  const std::string Name = Dir.File("MAP3-X1.BMP");
  std::filesystem::rename(Name, Dir.File("away.BMP"));
  Model.FollowFile();
  const std::vector<std::uint8_t> Whole = MapBytes(640, 480, 7);
  testsupport::WriteFileBytes(Name, {Whole.begin(), Whole.begin() + Whole.size() / 2});
  Model.FollowFile();
  EXPECT_TRUE(View.Calls.empty());
  testsupport::WriteFileBytes(Dir.File("new.BMP"), Whole);
  std::filesystem::rename(Dir.File("new.BMP"), Name);
  Model.FollowFile();
  EXPECT_EQ(View.Calls, ZoomCalls);
  ExpectScroll(171, 140);
  EXPECT_DOUBLE_EQ(Model.View().Zoom(), 1);
}

}  // namespace
