#pragma once

// A picture that markup refers to by its id (keys p, p3 and p5).

#include <QImage>
#include <QString>

#include "skin/SkinObject.h"

namespace skin {

class SkinPicture : public SkinObject
{
public:
    explicit SkinPicture(int id);

    // The number that markup keys p, p3 and p5 take; unique while the picture lives.
    int GetId() const { return m_id; }

    // Loads ":<module>/<type>/<resourceId>.<type>" from the registered Qt resources (type in
    // lower case), e.g. LoadFromResource(303, "/skin") reads ":/skin/png/303.png". False, and
    // the picture empty, when the resource is missing or cannot be decoded.
    bool LoadFromResource(int resourceId, const QString& module = {}, const QString& type = QStringLiteral("PNG"));
    // Loads an image file of any format Qt decodes. False, and the picture empty, on failure.
    bool LoadFromFile(const QString& path);
    // Scales the picture to exactly width x height (smooth). False when empty or a size is not positive.
    bool Resize(int width, int height);
    // Replaces the picture (used by tests and by code that draws pictures itself).
    void SetImage(const QImage& image);

    const QImage& Image() const { return m_image; }
    // Grows whenever any picture changes, so that laid-out texts know to measure again.
    static unsigned long long Generation();
    bool IsNull() const { return m_image.isNull(); }
    int Width() const { return m_image.width(); }
    int Height() const { return m_image.height(); }

private:
    int m_id;
    QImage m_image;
};

} // namespace skin
