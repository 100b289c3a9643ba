#include "views/Fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace views {

QString InstallFontSubstitutes()
{
    // WenQuanYi Micro Hei comes with the program's dependencies; the others are common elsewhere.
    const QStringList candidates = {QStringLiteral("WenQuanYi Micro Hei"),
                                    QStringLiteral("Noto Sans CJK SC"),
                                    QStringLiteral("Source Han Sans SC"),
                                    QStringLiteral("Droid Sans Fallback")};
    const QStringList installed = QFontDatabase::families();
    QString family;
    for (const QString& candidate : candidates) {
        if (installed.contains(candidate, Qt::CaseInsensitive)) {
            family = candidate;
            break;
        }
    }
    if (family.isEmpty()) {
        return {};
    }
    for (const QString& face :
         {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("新宋体"), QStringLiteral("NSimSun")}) {
        QFont::insertSubstitution(face, family);
    }
    return family;
}

} // namespace views
