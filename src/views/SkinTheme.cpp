#include "views/SkinTheme.h"

#include <QPixmap>
#include <QResource>

namespace views {
namespace {

constexpr std::array<TextStyle, SkinTheme::StyleCount> Styles = {{
    {15, 0xFFFFFF, 0xFFFFFF}, // 1  category buttons
    {15, 0xFFFFFF, 0xFFFFFF}, // 2  sub-category buttons
    {13, 0xFFFFFF, 0xFFFFFF}, // 3  settings label
    {12, 0xFFFFFF, 0x000000}, // 4  status line
    {13, 0x808080, 0x000000}, // 5  card source and facts
    {13, 0xFFFFFF, 0x000000}, // 6  card name, introduction and strategy buttons
    {12, 0xFFFFFF, 0x000000}, // 7  card action button
    {12, 0xFFFFFF, 0x000000}, // 8  info screen text
    {12, 0xFFFFFF, 0x0000FF}, // 9  card picture buttons
    {12, 0xFFFFFF, 0x000000}, // 10 select all
    {13, 0x9A9A9A, 0x0000FF}, // 11 list cells, settings options
    {12, 0xFFFFFF, 0x0000FF}, // 12 page buttons
    {13, 0xFFFFFF, 0xFFFFFF}, // 13 online and local tabs
    {13, 0xFFFFFF, 0x0000FF}, // 14 window titles
    {12, 0xFFFFFF, 0xFFFFFF}, // 15 tab labels
    {12, 0xFFFFFF, 0x0000FF}, // 16
    {12, 0xFFFFFF, 0x0000FF}, // 17
    {12, 0xFFFFFF, 0x0000FF}, // 18
    {12, 0xFFFFFF, 0x0000FF}, // 19
    {12, 0xFFFFFF, 0x0000FF}, // 20
    {12, 0xFFFFFF, 0x0000FF}, // 21
    {12, 0xFFFFFF, 0x0000FF}, // 22
    {12, 0xFFFFFF, 0x0000FF}, // 23
    {13, 0xFFFFFF, 0x0000FF}, // 24 message box caption
    {12, 0xFFFFFF, 0x0000FF}, // 25 message box text
    {13, 0xFFFFFF, 0x0000FF}, // 26 message box buttons (white: grey on the blue buttons read as disabled)
    {12, 0xC59900, 0x613500}, // 27
    {12, 0xA63491, 0x0000FF}, // 28
    {12, 0xA63491, 0x0000FF}, // 29
}};

constexpr std::array<MarginRect, SkinTheme::MarginCount> Margins = {{
    {144, 80, 315, 40}, // centre area
    {9, 80, 129, 40},   // left bar
    {306, 82, 10, 40},  // right panel
    {140, 35, 120, 0},
    {25, 100, 0, 35},
    {100, 0, 0, 0},
}};

constexpr std::array<ColumnPair, SkinTheme::ColumnCount> Columns = {{
    {10, 20},
    {160, 20},
    {290, 20},
    {170, 20},
    {70, 20},
}};

QString ResourcePath(const char* folder, int id)
{
    return QStringLiteral(":%1/%2/%3.png").arg(QLatin1String(SkinTheme::ResourceRoot), QLatin1String(folder)).arg(id);
}

QImage ReadImage(const QString& path)
{
    QImage image(path);
    if (image.isNull()) {
        return image;
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

SkinTheme::SkinTheme()
    : m_fontFace("宋体")
    , m_styles(Styles)
    , m_margins(Margins)
    , m_columns(Columns)
{}

SkinTheme::~SkinTheme() = default;

bool SkinTheme::Load(const QString& skinFile)
{
    const QString root = QLatin1String(ResourceRoot);
    if (skinFile.isEmpty() || !QResource::registerResource(skinFile, root)) {
        return false;
    }
    for (std::size_t i = 0; i < ImageResources.size(); ++i) {
        m_images[i] = ReadImage(ResourcePath("png", ImageResources[i]));
    }
    m_defaultPicture = ReadImage(ResourcePath("png", DefaultPictureResource));
    skin::SkinEngine& engine = skin::SkinEngine::Instance();
    for (std::size_t i = 0; i < PictureResources.size(); ++i) {
        if (!m_pictures[i]) {
            m_pictures[i].reset(engine.CreatePicture());
        }
        if (!m_pictures[i]->LoadFromResource(PictureResources[i], root)) {
            m_pictures[i]->SetImage(QImage());
        }
    }
    for (int i = 0; i < IconCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        m_iconImages[index] = ReadImage(ResourcePath("ico", FirstIcon + i));
        m_icons[index] = m_iconImages[index].isNull() ? QIcon() : QIcon(QPixmap::fromImage(m_iconImages[index]));
    }
    // Everything is copied out: the file is not needed any more.
    QResource::unregisterResource(skinFile, root);
    m_loaded = true;
    return true;
}

QString SkinTheme::FontFaceText() const
{
    return QString::fromStdString(m_fontFace);
}

const TextStyle& SkinTheme::Style(int n) const
{
    if (n < 1 || n > StyleCount) {
        n = 1;
    }
    return m_styles[static_cast<std::size_t>(n - 1)];
}

const MarginRect& SkinTheme::Margin(int n) const
{
    static const MarginRect none;
    if (n < 1 || n > MarginCount) {
        return none;
    }
    return m_margins[static_cast<std::size_t>(n - 1)];
}

const ColumnPair& SkinTheme::Column(int n) const
{
    static const ColumnPair none;
    if (n < 1 || n > ColumnCount) {
        return none;
    }
    return m_columns[static_cast<std::size_t>(n - 1)];
}

const QImage& SkinTheme::Image(int resourceId) const
{
    static const QImage none;
    for (std::size_t i = 0; i < ImageResources.size(); ++i) {
        if (ImageResources[i] == resourceId) {
            return m_images[i];
        }
    }
    return none;
}

skin::SkinPicture* SkinTheme::Picture(int index) const
{
    if (index < 0 || index >= PictureCount) {
        return nullptr;
    }
    return m_pictures[static_cast<std::size_t>(index)].get();
}

skin::SkinPicture* SkinTheme::PictureFor(int resourceId, int occurrence) const
{
    for (std::size_t i = 0; i < PictureResources.size(); ++i) {
        if (PictureResources[i] == resourceId && occurrence-- == 0) {
            return m_pictures[i].get();
        }
    }
    return nullptr;
}

int SkinTheme::PictureId(int resourceId, int occurrence) const
{
    const skin::SkinPicture* picture = PictureFor(resourceId, occurrence);
    return picture != nullptr ? picture->GetId() : 0;
}

const QIcon& SkinTheme::Icon(int resourceId) const
{
    static const QIcon none;
    const int index = resourceId - FirstIcon;
    if (index < 0 || index >= IconCount) {
        return none;
    }
    return m_icons[static_cast<std::size_t>(index)];
}

const QImage& SkinTheme::IconImage(int resourceId) const
{
    static const QImage none;
    const int index = resourceId - FirstIcon;
    if (index < 0 || index >= IconCount) {
        return none;
    }
    return m_iconImages[static_cast<std::size_t>(index)];
}

} // namespace views
