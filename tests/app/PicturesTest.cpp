// The pictures and cursor bundled with the viewer, and the command line.
#include <gtest/gtest.h>

#include <QBitmap>
#include <QFile>

#include "app/CommandLine.h"
#include "app/Pictures.h"

namespace katalog::testing {
namespace {

TEST(PicturesTest, EveryPictureDecodesAtItsLayoutSize) {
  EXPECT_EQ(LayoutPicture("background.jpg").size(), QSize(640, 480));
  EXPECT_EQ(LayoutPicture("logo-service.jpg").size(), QSize(95, 62));
  EXPECT_EQ(LayoutPicture("logo-cd.jpg").size(), QSize(80, 47));
  const QImage note = LayoutPicture("note.bmp");
  EXPECT_EQ(note.size(), QSize(44, 12));
  EXPECT_LE(note.colorCount(), 16);
  EXPECT_TRUE(LayoutPicture("missing.jpg").isNull());
}

TEST(PicturesTest, DamagedJpegBytesGiveANullImage) {
  QFile file(QStringLiteral(":/pictures/logo-cd.jpg"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
  EXPECT_TRUE(DecodeJpeg(QByteArray("not a picture")).isNull());
  for (qsizetype cut : {qsizetype{2}, qsizetype{20}, bytes.size() / 2}) {
    const QImage image = DecodeJpeg(bytes.left(cut));
    // A cut stream either fails or decodes with grey rows; it never reads beyond the bytes.
    if (!image.isNull()) {
      EXPECT_EQ(image.size(), QSize(80, 47));
    }
  }
  QByteArray damaged = bytes;
  for (qsizetype i = 2; i < 200 && i < damaged.size(); i += 7) damaged[i] = '\xFF';
  (void)DecodeJpeg(damaged);
}

TEST(PicturesTest, TheHandCursorIs32PixelsWithItsHotSpotAtTheFingertip) {
  const QCursor hand = HandCursor();
  EXPECT_EQ(hand.shape(), Qt::BitmapCursor);
  EXPECT_EQ(hand.hotSpot(), QPoint(0, 0));
  EXPECT_EQ(hand.bitmap().size(), QSize(32, 32));
  EXPECT_EQ(hand.mask().size(), QSize(32, 32));
}

TEST(CommandLineTest, OptionsComeOutFirstAndOnlyTheFirstArgumentCounts) {
  EXPECT_EQ(ParseCommandLine({}).section, "1");
  const TCommandLine line =
      ParseCommandLine({"--data", "/mnt/cd/data", "2", "3", "--screenshot", "out.png"});
  EXPECT_EQ(line.section, "2");
  EXPECT_EQ(line.dataDirectory, "/mnt/cd/data");
  EXPECT_EQ(line.screenshot, "out.png");
  EXPECT_THROW(ParseCommandLine({"--colour", "red"}), TCommandLineError);
  EXPECT_THROW(ParseCommandLine({"--screenshot"}), TCommandLineError);
}

}  // namespace
}  // namespace katalog::testing
