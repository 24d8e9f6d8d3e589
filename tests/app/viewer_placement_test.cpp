// Where a new viewer window goes, as a table: screen work area, main window, viewers already open
// and the wanted size against the frame expected.

#include "app/core/viewer_placement.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

struct TPlaceCase {
  const char* Name;
  TRect WorkArea;
  TRect Main;
  std::vector<TRect> Open;
  std::int32_t Width, Height;
  TRect Want;
  std::int32_t TitleHeight = 0;  // of the main window
};
void PrintTo(const TPlaceCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class ViewerPlacementTest : public ::testing::TestWithParam<TPlaceCase> {};

TEST_P(ViewerPlacementTest, PlacesTheViewerBesideTheMainWindow) {
  const TPlaceCase& C = GetParam();
  const TRect Got = PlaceViewer(C.WorkArea, C.Main, C.TitleHeight, C.Open, C.Width, C.Height);
  EXPECT_EQ(Got, C.Want) << Got.Left << "," << Got.Top << "," << Got.Right << "," << Got.Bottom;
}

const TRect Screen = Rect(0, 0, 1920, 1040);
const TRect Centred = Rect(710, 320, 1210, 720);  // a 500 x 400 main window in the middle

INSTANTIATE_TEST_SUITE_P(
    Table, ViewerPlacementTest,
    ::testing::ValuesIn(std::vector<TPlaceCase>{
        {"room on the right", Screen, Rect(0, 0, 500, 400), {}, 800, 600, Rect(500, 0, 1300, 600)},
        {"main window at the right edge: on its left",
         Screen,
         Rect(1420, 100, 1920, 500),
         {},
         800,
         600,
         Rect(620, 100, 1420, 700)},
        {"main window across the top: below it",
         Screen,
         Rect(0, 0, 1920, 300),
         {},
         800,
         600,
         Rect(0, 300, 800, 900)},
        {"main window across the bottom: above it",
         Screen,
         Rect(300, 700, 1920, 1040),
         {},
         800,
         600,
         Rect(300, 100, 1100, 700)},
        {"no side has room whole: narrower on the right",
         Screen,
         Centred,
         {},
         800,
         600,
         Rect(1210, 320, 1920, 920)},
        {"kept within the work area's height",
         Screen,
         Rect(0, 800, 500, 1000),
         {},
         800,
         600,
         Rect(500, 440, 1300, 1040)},
        {"the second viewer cascades",
         Screen,
         Rect(0, 0, 500, 400),
         {Rect(500, 0, 1300, 600)},
         800,
         600,
         Rect(532, 32, 1332, 632)},
        {"also from a first one that the window manager shifted",
         Screen,
         Rect(0, 0, 500, 400),
         {Rect(502, 12, 1302, 612)},
         800,
         600,
         Rect(532, 32, 1332, 632)},
        {"the third too, a closed one's place is taken again",
         Screen,
         Rect(0, 0, 500, 400),
         {Rect(532, 32, 1332, 632), Rect(500, 0, 1300, 600)},
         800,
         600,
         Rect(564, 64, 1364, 664)},
        {"cascading where the side is full width: smaller",
         Screen,
         Centred,
         {Rect(1210, 320, 1920, 920)},
         800,
         600,
         Rect(1242, 352, 1920, 952)},
        {"smaller down to the least size",
         Rect(0, 0, 1300, 600),
         Rect(0, 0, 500, 400),
         {Rect(500, 0, 1300, 600)},
         800,
         600,
         Rect(532, 32, 1300, 600)},
        {"cascade at its end: back to the first place",
         Rect(0, 0, 820, 600),
         Rect(0, 0, 500, 400),
         {Rect(500, 0, 820, 600)},
         800,
         600,
         Rect(500, 0, 820, 600)},
        {"an open viewer that shares only the left edge is not in the way",
         Screen,
         Rect(0, 0, 500, 400),
         {Rect(500, 300, 1300, 900)},
         800,
         600,
         Rect(500, 0, 1300, 600)},
        {"nor one that shares only the top edge",
         Screen,
         Rect(0, 0, 500, 400),
         {Rect(900, 0, 1700, 600)},
         800,
         600,
         Rect(500, 0, 1300, 600)},
        {"no side keeps half the screen: over the main window, below its title",
         Rect(0, 0, 1024, 768),
         Rect(200, 184, 700, 584),
         {},
         800,
         600,
         Rect(224, 214, 1024, 768),
         30},
        // The Windows window centred on a 1280 x 1024 screen at 96, 144 and 192 DPI, with the
        // frame a viewer of 800 x 600 pixels at 96 DPI asks for: no side keeps half the screen's
        // height (below it the frame would be 808 x 406, 1210 x 355, 1280 x 304).
        {"1280 x 1024 at 96 DPI: over the main window, below its title",
         Rect(0, 0, 1280, 1024),
         Rect(478, 406, 802, 618),
         {},
         808,
         630,
         Rect(472, 428, 1280, 1024),
         22},
        {"at 144 DPI",
         Rect(0, 0, 1280, 1024),
         Rect(398, 354, 881, 669),
         {},
         1210,
         945,
         Rect(70, 385, 1280, 1024),
         31},
        {"at 192 DPI: the screen's width",
         Rect(0, 0, 1280, 1024),
         Rect(319, 303, 961, 720),
         {},
         1616,
         1256,
         Rect(0, 343, 1280, 1024),
         40},
        {"the second one there cascades",
         Rect(0, 0, 1280, 1024),
         Rect(319, 303, 961, 720),
         {Rect(0, 343, 1280, 1024)},
         1616,
         1256,
         Rect(32, 375, 1280, 1024),
         40},
        {"1920 x 1040 at 144 DPI: narrower beside it, as it keeps half the screen",
         Screen,
         Rect(718, 362, 1201, 677),
         {},
         1210,
         945,
         Rect(1201, 95, 1920, 1040),
         31},
        {"main window low on the screen: shorter down to half the screen, then moved up",
         Rect(0, 0, 1280, 1024),
         Rect(478, 500, 802, 712),
         {},
         808,
         630,
         Rect(472, 512, 1280, 1024),
         22},
        {"larger than the screen: shrunk to it",
         Screen,
         Rect(0, 0, 500, 400),
         {},
         2000,
         1200,
         Rect(500, 0, 1920, 1040)},
        {"second screen",
         Rect(1920, 0, 3840, 1040),
         Rect(1920, 0, 2420, 400),
         {},
         800,
         600,
         Rect(2420, 0, 3220, 600)},
        {"no main window: centred", Screen, TRect{}, {}, 800, 600, Rect(560, 220, 1360, 820)},
    }));

}  // namespace
