#include "viewer/picture_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QStringList>
#include <algorithm>

namespace sp::view {

QString PictureFileName(const QString& recording, double milliseconds, int copy) {
  const QFileInfo info(recording);
  static const QStringList kRecordingSuffixes = {"exe", "vexa", "bin", "payload"};
  const QString base =
      kRecordingSuffixes.contains(info.suffix(), Qt::CaseInsensitive) ? info.completeBaseName() : info.fileName();
  const auto ms = static_cast<long long>(std::max(0.0, milliseconds));
  QString name = base + QString::asprintf("-%02lld-%02lld-%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                                          ms / 1000 % 60, ms % 1000);
  if (copy > 1) name += QString("-%1").arg(copy);
  return info.dir().filePath(name + ".png");
}

SavedPicture SavePictureBeside(const QString& recording, double milliseconds, const QImage& picture) {
  for (int copy = 1; copy < 1000; ++copy) {
    QFile file(PictureFileName(recording, milliseconds, copy));
    // NewOnly fails on a file that is there, whoever made it and when.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
      if (file.exists()) continue;
      return {file.fileName(), file.errorString()};
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(picture)) {
      file.remove();
      return {file.fileName(), writer.errorString()};
    }
    return {file.fileName(), {}};
  }
  return {{}, "999 pictures of that moment are there already"};
}

}  // namespace sp::view
