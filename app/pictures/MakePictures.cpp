// Draws the viewer's pictures: the main window's 640 x 480 background, the two logos (95 x 62 and
// 80 x 47, JPEG), the 44 x 12 16-colour note picture (BMP) and the program icon (PNG). They are
// made for this program and committed beside this file; run `make_pictures DIR` to draw them
// again after a change here.
#include <QByteArray>
#include <QConicalGradient>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kCream(0xF6, 0xEE, 0xDC);
const QColor kTerracotta(0xC8, 0x6B, 0x3C);

QFont Font(int pixels, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans Condensed"));
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

// A white card with a soft shadow and a thin warm border.
void Card(QPainter& p, QRectF r) {
  for (int i = 4; i > 0; --i) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x60, 0x40, 0x20, 14));
    p.drawRoundedRect(r.translated(i * 0.7, i * 0.9).adjusted(-i, -i, i, i), 8, 8);
  }
  p.setBrush(Qt::white);
  p.setPen(QPen(QColor(0xD9, 0xB8, 0x8F), 1));
  p.drawRoundedRect(r, 6, 6);
}

// Crossed fork and knife as a faint emblem.
void Cutlery(QPainter& p, QPointF centre, qreal size, QColor colour) {
  p.save();
  p.translate(centre);
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  for (int side : {-1, 1}) {
    p.save();
    p.rotate(side * 28);
    p.drawRoundedRect(QRectF(-size * 0.05, -size * 0.1, size * 0.1, size * 0.6), 3, 3);
    if (side < 0) {  // fork: tines
      for (int t = -1; t <= 1; ++t)
        p.drawRect(QRectF(t * size * 0.07 - size * 0.02, -size * 0.5, size * 0.04, size * 0.3));
      p.drawRect(QRectF(-size * 0.09, -size * 0.22, size * 0.18, size * 0.12));
    } else {  // knife: blade
      QPainterPath blade;
      blade.moveTo(-size * 0.06, -size * 0.1);
      blade.lineTo(-size * 0.06, -size * 0.5);
      blade.quadTo(size * 0.12, -size * 0.35, size * 0.06, -size * 0.1);
      blade.closeSubpath();
      p.drawPath(blade);
    }
    p.restore();
  }
  p.restore();
}

QImage Background() {
  QImage image(640, 480, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 640, 480);
  sky.setColorAt(0, kCream);
  sky.setColorAt(1, QColor(0xEC, 0xD3, 0xB0));
  p.fillRect(image.rect(), sky);
  // A fine dotted texture.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xB0, 0x80, 0x50, 28));
  for (int y = 6; y < 480; y += 12)
    for (int x = (y / 12) % 2 * 6 + 6; x < 640; x += 12) p.drawEllipse(QPointF(x, y), 0.9, 0.9);
  // A terracotta band along the top and the bottom edge of the window.
  p.fillRect(QRect(0, 0, 640, 8), kTerracotta);
  p.fillRect(QRect(0, 447, 640, 8), kTerracotta);
  Card(p, QRectF(18, 18, 272, 237));   // the list
  Card(p, QRectF(18, 278, 462, 157));  // the description
  Card(p, QRectF(316, 20, 306, 236));  // search, heading and address
  // A rule under the heading.
  p.setPen(QPen(kNavy, 1));
  p.drawLine(QPointF(328, 168.5), QPointF(610, 168.5));
  p.setPen(QPen(QColor(0xD9, 0xB8, 0x8F), 1));
  p.drawLine(QPointF(328, 112.5), QPointF(610, 112.5));
  return image;
}

QImage ServiceLogo() {
  QImage image(95, 62, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, 62);
  fill.setColorAt(0, QColor(0x1A, 0x2A, 0x9A));
  fill.setColorAt(1, kNavy);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(1, 1, 93, 60), 8, 8);
  QPainterPath v;  // a bold V
  v.moveTo(10, 10);
  v.lineTo(19, 10);
  v.lineTo(25, 34);
  v.lineTo(31, 10);
  v.lineTo(40, 10);
  v.lineTo(29, 44);
  v.lineTo(21, 44);
  v.closeSubpath();
  p.setBrush(QColor(0xF2, 0xB1, 0x3B));
  p.drawPath(v);
  p.setPen(Qt::white);
  p.setFont(Font(13, true));
  p.drawText(QRectF(40, 12, 52, 16), Qt::AlignLeft, QStringLiteral("velmar"));
  p.setFont(Font(9, false));
  p.drawText(QRectF(41, 29, 52, 12), Qt::AlignLeft, QStringLiteral("informace"));
  p.setPen(QPen(QColor(0xF2, 0xB1, 0x3B), 1));
  p.drawLine(QPointF(10, 51.5), QPointF(85, 51.5));
  return image;
}

QImage CdLogo() {
  QImage image(80, 47, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF centre(23, 23.5);
  QConicalGradient shine(centre, 30);
  shine.setColorAt(0.0, QColor(0xC0, 0xD8, 0xF0));
  shine.setColorAt(0.2, QColor(0xF0, 0xC8, 0xE8));
  shine.setColorAt(0.4, QColor(0xF8, 0xF0, 0xC0));
  shine.setColorAt(0.6, QColor(0xC8, 0xF0, 0xD0));
  shine.setColorAt(0.8, QColor(0xD0, 0xC8, 0xF8));
  shine.setColorAt(1.0, QColor(0xC0, 0xD8, 0xF0));
  p.setPen(QPen(QColor(0x80, 0x80, 0x90), 1));
  p.setBrush(shine);
  p.drawEllipse(centre, 20, 20);
  p.setBrush(Qt::white);
  p.drawEllipse(centre, 5, 5);
  p.setPen(kNavy);
  p.setFont(Font(16, true));
  p.drawText(QRectF(44, 6, 36, 20), Qt::AlignLeft, QStringLiteral("Q"));
  p.setFont(Font(10, true));
  p.drawText(QRectF(45, 25, 36, 14), Qt::AlignLeft, QStringLiteral("CD"));
  return image;
}

QImage Icon() {
  QImage image(128, 128, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(kTerracotta);
  p.drawRoundedRect(QRectF(4, 4, 120, 120), 22, 22);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(24, 18, 80, 92), 6, 6);
  p.setBrush(kNavy);
  for (int row = 0; row < 5; ++row)
    p.drawRoundedRect(QRectF(34, 30 + row * 15, row == 0 ? 60 : 44 - (row % 2) * 10, 6), 3, 3);
  Cutlery(p, QPointF(86, 84), 44, QColor(0xC8, 0x6B, 0x3C));
  return image;
}

// The note picture in the 16 colours of the standard palette.
const QRgb kPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                           0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                           0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

QImage Note() {
  QImage image(44, 12, QImage::Format_RGB32);
  image.fill(kPalette[11]);
  QPainter p(&image);
  p.setPen(QColor(kPalette[8]));
  p.drawRect(0, 0, 43, 11);
  p.setPen(QColor(kPalette[4]));
  p.setFont(Font(9, true));
  p.drawText(QRect(3, 0, 40, 12), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("pozn."));
  p.end();
  return image;
}

int Nearest(QRgb colour) {
  int best = 0;
  int bestDistance = 1 << 30;
  for (int i = 0; i < 16; ++i) {
    const int dr = qRed(colour) - qRed(kPalette[i] | 0xFF000000);
    const int dg = qGreen(colour) - qGreen(kPalette[i] | 0xFF000000);
    const int db = qBlue(colour) - qBlue(kPalette[i] | 0xFF000000);
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

void Put32(QByteArray& out, quint32 v) {
  for (int i = 0; i < 4; ++i) out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(QByteArray& out, quint16 v) {
  out.append(static_cast<char>(v & 0xFF));
  out.append(static_cast<char>(v >> 8));
}

// A 4-bit BMP: file header (14 bytes), info header (40), 16 palette entries, then the rows from
// the bottom up, two pixels a byte, each row padded to 4 bytes.
QByteArray Bmp4(const QImage& image) {
  const int rowBytes = ((image.width() + 1) / 2 + 3) / 4 * 4;
  const quint32 offset = 14 + 40 + 16 * 4;
  QByteArray out;
  out.append("BM");
  Put32(out, offset + static_cast<quint32>(rowBytes * image.height()));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, static_cast<quint32>(image.width()));
  Put32(out, static_cast<quint32>(image.height()));
  Put16(out, 1);
  Put16(out, 4);
  Put32(out, 0);
  Put32(out, static_cast<quint32>(rowBytes * image.height()));
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, 16);
  Put32(out, 16);
  for (QRgb colour : kPalette) Put32(out, colour & 0xFFFFFF);
  for (int y = image.height() - 1; y >= 0; --y) {
    QByteArray row(rowBytes, '\0');
    for (int x = 0; x < image.width(); ++x) {
      const int index = Nearest(image.pixel(x, y));
      row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 == 0 ? index << 4 : index));
    }
    out.append(row);
  }
  return out;
}

bool Write(const QString& path, const QImage& image, const char* format) {
  QImageWriter writer(path, format);
  if (QByteArray(format) == "jpg") writer.setQuality(92);
  if (writer.write(image)) return true;
  std::fprintf(stderr, "make_pictures: %s\n", qPrintable(writer.errorString()));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_pictures DIR\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
  QFile note(dir + QStringLiteral("note.bmp"));
  const bool ok = Write(dir + "background.jpg", Background(), "jpg") &&
                  Write(dir + "logo-service.jpg", ServiceLogo(), "jpg") &&
                  Write(dir + "logo-cd.jpg", CdLogo(), "jpg") &&
                  Write(dir + "katalog.png", Icon(), "png") && note.open(QIODevice::WriteOnly) &&
                  note.write(Bmp4(Note())) > 0;
  return ok ? 0 : 1;
}
