#include "app/Pictures.h"

#include <jpeglib.h>
#include <QBitmap>
#include <QFile>
#include <array>
#include <csetjmp>
#include <cstdio>

namespace katalog {
namespace {

// libjpeg reports a fatal error through error_exit, which must not return: it jumps back to the
// decoder's setjmp. Nothing with a destructor lives in the frames it jumps over.
struct TJpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TJpegError*>(info->err)->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// Allocates the decoded image once the size is known; returns its first row or null.
using TAllocateRows = unsigned char* (*)(void* context, int width, int height, int* stride);

bool DecodeInto(const unsigned char* data, unsigned long size, TAllocateRows allocate,
                void* context) {
  jpeg_decompress_struct info{};
  TJpegError error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = JumpOnError;
  error.manager.output_message = IgnoreMessage;
  if (setjmp(error.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_RGBX;
  jpeg_start_decompress(&info);
  int stride = 0;
  unsigned char* first = allocate(context, static_cast<int>(info.output_width),
                                  static_cast<int>(info.output_height), &stride);
  if (first == nullptr) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = first + static_cast<std::ptrdiff_t>(info.output_scanline) * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

unsigned char* AllocateImage(void* context, int width, int height, int* stride) {
  auto* image = static_cast<QImage*>(context);
  *image = QImage(width, height, QImage::Format_RGBX8888);
  if (image->isNull()) return nullptr;
  *stride = static_cast<int>(image->bytesPerLine());
  return image->bits();
}

// The hand: 'X' black outline, 'o' white, anything else transparent. Rows below the drawing are
// transparent.
constexpr std::array<const char*, 22> kHand = {
    "XX",
    "XoX",
    "XooX",
    "XoooX",
    "XoooX",
    "XoooX",
    "XoooX",
    "XoooXXX",
    "XoooXooXXX",
    "XoooXooXooXX",
    "XoooXooXooXoX",
    "XoooooooooXoX",
    "XoooooooooooX",
    "XooooooooooooX",
    "XooooooooooooX",
    " XoooooooooooX",
    " XoooooooooooX",
    "  XooooooooooX",
    "  XoooooooooX",
    "   XooooooooX",
    "   XooooooooX",
    "   XXXXXXXXXX",
};

}  // namespace

QImage DecodeJpeg(const QByteArray& bytes) {
  QImage image;
  if (bytes.isEmpty()) return image;
  const bool decoded = DecodeInto(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                  static_cast<unsigned long>(bytes.size()), AllocateImage, &image);
  return decoded ? image : QImage();
}

QImage LayoutPicture(const char* fileName) {
  QFile file(QStringLiteral(":/pictures/") + QString::fromLatin1(fileName));
  if (!file.open(QIODevice::ReadOnly)) return QImage();
  const QByteArray bytes = file.readAll();
  if (QByteArray(fileName).endsWith(".jpg")) return DecodeJpeg(bytes);
  return QImage::fromData(bytes, "BMP");
}

QCursor HandCursor() {
  constexpr int kSize = 32;
  QImage shape(kSize, kSize, QImage::Format_Mono);
  QImage mask(kSize, kSize, QImage::Format_Mono);
  const QList<QRgb> colours = {qRgb(0xFF, 0xFF, 0xFF), qRgb(0, 0, 0)};
  shape.setColorTable(colours);
  mask.setColorTable(colours);
  shape.fill(0);
  mask.fill(0);
  // Index 1 is black (a set bit); a set mask bit makes the pixel visible.
  for (int y = 0; y < static_cast<int>(kHand.size()); ++y) {
    for (int x = 0; kHand[y][x] != '\0'; ++x) {
      const char c = kHand[y][x];
      if (c != 'X' && c != 'o') continue;
      mask.setPixel(x, y, 1);
      shape.setPixel(x, y, c == 'X' ? 1 : 0);
    }
  }
  return QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask), 0, 0);
}

}  // namespace katalog
