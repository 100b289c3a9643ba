#include "skin/SkinPicture.h"

#include <QImageReader>

namespace skin {
namespace {

unsigned long long g_generation = 1;

QImage Prepared(QImage image)
{
    if (image.isNull()) {
        return image;
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

unsigned long long SkinPicture::Generation()
{
    return g_generation;
}

SkinPicture::SkinPicture(int id)
    : m_id(id)
{}

bool SkinPicture::LoadFromResource(int resourceId, const QString& module, const QString& type)
{
    const QString kind = type.toLower();
    QString root = module;
    if (!root.isEmpty() && !root.startsWith(u'/')) {
        root.prepend(u'/');
    }
    while (root.endsWith(u'/')) {
        root.chop(1);
    }
    const QString path = QStringLiteral(":%1/%2/%3.%2").arg(root, kind).arg(resourceId);
    return LoadFromFile(path);
}

bool SkinPicture::LoadFromFile(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    m_image = Prepared(reader.read());
    ++g_generation;
    return !m_image.isNull();
}

bool SkinPicture::Resize(int width, int height)
{
    if (m_image.isNull() || width <= 0 || height <= 0) {
        return false;
    }
    if (m_image.width() != width || m_image.height() != height) {
        m_image = m_image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        ++g_generation;
    }
    return true;
}

void SkinPicture::SetImage(const QImage& image)
{
    m_image = Prepared(image);
    ++g_generation;
}

} // namespace skin
