#include "views/PictureFile.h"

#include <algorithm>

#include <QFileInfo>
#include <QImageReader>

#include "views/QtText.h"

namespace views {

QString GamePictureFile(const std::string& programDir, std::string_view cataloguePath)
{
    if (cataloguePath.empty()) {
        return {};
    }
    QString relative = FromUtf8(cataloguePath);
    relative.replace(u'\\', u'/');
    return FromUtf8(programDir) + relative;
}

QSize FittedSize(QSize size, QSize area)
{
    if (size.isEmpty() || area.isEmpty()) {
        return size;
    }
    const double sx = static_cast<double>(area.width()) / size.width();
    const double sy = static_cast<double>(area.height()) / size.height();
    if (sx >= 1.0 && sy >= 1.0) {
        return size;
    }
    const double scale = std::min(sx, sy);
    return QSize(std::max(1, static_cast<int>(size.width() * scale)),
                 std::max(1, static_cast<int>(size.height() * scale)));
}

QImage ReadPicture(const QString& file, QSize fit)
{
    // Only plain files: a pipe or a device named in the catalogue would block the window.
    if (file.isEmpty() || !QFileInfo(file).isFile()) {
        return {};
    }
    QImageReader reader(file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (fit.isValid() && size.isValid()) {
        const QSize fitted = FittedSize(size, fit);
        if (fitted != size) {
            reader.setScaledSize(fitted);
        }
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return image;
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace views
