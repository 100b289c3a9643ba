#pragma once

// Game pictures on disk: where a catalogue path lives and how a file is decoded.

#include <string>
#include <string_view>

#include <QImage>
#include <QSize>
#include <QString>

namespace views {

// The file of a catalogue picture path in the program folder: "ico\123.gif" is
// programDir + "ico/123.gif". Empty for an empty path.
QString GamePictureFile(const std::string& programDir, std::string_view cataloguePath);

// Decodes an image file by its content (GIF, JPEG or PNG, whatever its name says). A picture
// larger than fit (when given) is decoded straight at the size that fits, keeping its aspect.
// A null image when the file is missing, not a plain file, unreadable or broken.
QImage ReadPicture(const QString& file, QSize fit = {});

// The size of a picture of size shown in an area of area: the same when it fits, else both sides
// times the smaller of the two ratios, cut to whole pixels (at least one).
QSize FittedSize(QSize size, QSize area);

} // namespace views
