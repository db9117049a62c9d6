#pragma once

#include <QImage>
#include <QString>

namespace sp::view {

// "lesson.exe" at 1:02:03.250 makes lesson-01-02-03.250.png beside it, and
// copy 2 lesson-01-02-03.250-2.png; a Linux recording (no .exe, .vexa, .bin
// or .payload) keeps its whole name.
QString PictureFileName(const QString& recording, double milliseconds, int copy);

struct SavedPicture {
  QString path;   // the file written
  QString error;  // empty when it was written
};

// Writes `picture` as a PNG under the first of those names that is free;
// never over a file, even one made a moment ago.
SavedPicture SavePictureBeside(const QString& recording, double milliseconds, const QImage& picture);

}  // namespace sp::view
