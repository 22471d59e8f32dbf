// The pictures of the window layouts and the hand cursor, bundled with the program as Qt
// resources under ":/pictures/". JPEG pictures are decoded with libjpeg-turbo; the note picture
// is a 16-colour bitmap; the cursor is a 32 x 32 two-colour bitmap drawn in Pictures.cpp.
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>

namespace katalog {

// A null image for bytes that are not a whole baseline or progressive JPEG.
QImage DecodeJpeg(const QByteArray& bytes);

// A bundled picture by file name ("background.jpg", "logo-service.jpg", "logo-cd.jpg",
// "note.bmp"). A missing or damaged one gives a null image.
QImage LayoutPicture(const char* fileName);

// The pointing hand, hot spot (0, 0): the fingertip.
QCursor HandCursor();

}  // namespace katalog
