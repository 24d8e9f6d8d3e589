#include "window_fixture.h"

#include <QAction>
#include <QTest>

#include "platform/files.h"
#include "support/bmp_builder.h"

void WindowTest::SetUp() {
  FSavedHandler =
      ::SetErrorHandler([this](QWidget*, const QString& Message) { Errors.push_back(Message); });
}

void WindowTest::TearDown() {
  Form.reset();
  ::SetErrorHandler(FSavedHandler);
  TBrowseFolder::SetFolderPicker({});
}

void WindowTest::WriteBase(Facet F, MapType T, MapScale S, int Height) const {
  testsupport::TBmpLayout Bmp;
  Bmp.Width = 8;
  Bmp.Height = Height;
  Bmp.Colors = testsupport::GreyColors(256);
  Bmp.Pixels.assign(static_cast<std::size_t>(8 * Height), 100);
  testsupport::WriteFileBytes(GetBaseFileName(Folder(), F, T, S), testsupport::BuildBmp(Bmp));
}

bool WindowTest::TargetExists(const char* Name) const {
  return FileExists(Folder() + "/" + Name);
}

TForm1& WindowTest::ShowWindow() {
  Form = std::make_unique<TForm1>();
  Form->Model().MapFolder = Folder();
  Form->show();
  return *Form;
}

TForm1& WindowTest::ShowWithThreeMapsTicked() {
  WriteBase(fcFeluccaTrammel, mtNormal, msFull);
  WriteBase(fcIlshenar, mtNormal, msFull);
  WriteBase(fcMalas, mtNormal, msFull);
  TForm1& W = ShowWindow();
  Tick(Box(W, FT1CBox));
  Tick(Box(W, I1CBox));
  Tick(Box(W, M1CBox));
  return W;
}

TForm1& WindowTest::ShowActiveWindow() {
  ShowWindow();
  Form->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  return *Form;
}

void WindowTest::Tick(QCheckBox* Box) {
  // On the indicator: a wide box's centre may lie beyond its text.
  QTest::mouseClick(Box, Qt::LeftButton, {}, QPoint(6, Box->height() / 2));
}

void WindowTest::Choose(QComboBox* Box, int Item) {
  Box->setFocus();
  for (int Step = 0; Step < Box->count() && Box->currentIndex() != Item; ++Step) {
    QTest::keyClick(Box, Box->currentIndex() < Item ? Qt::Key_Down : Qt::Key_Up);
  }
  ASSERT_EQ(Box->currentIndex(), Item);
}

void WindowTest::Press(QPushButton* Button) {
  QTest::mouseClick(Button, Qt::LeftButton);
}

void WindowTest::ExpectIdleActions(bool MakeEnabled) const {
  EXPECT_TRUE(Btn(*Form, FolderBtn)->isEnabled());
  EXPECT_EQ(Btn(*Form, MakeBtn)->isEnabled(), MakeEnabled);
  EXPECT_TRUE(Btn(*Form, AboutBtn)->isEnabled());
  EXPECT_FALSE(Btn(*Form, CancelBtn)->isEnabled());
  EXPECT_TRUE(Btn(*Form, QuitBtn)->isEnabled());
  EXPECT_FALSE(Form->Model().IsRunning());
}
