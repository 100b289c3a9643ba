#pragma once

// The program's narrow texts are UTF-8; these are the conversions at the Qt edge.

#include <string>
#include <string_view>

#include <QByteArray>
#include <QString>

namespace views {

inline QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToUtf8(const QString& text)
{
    return text.toStdString();
}

} // namespace views
