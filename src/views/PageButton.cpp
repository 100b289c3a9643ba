#include "views/PageButton.h"

#include "skin/RichText.h"
#include "views/SkinMarkup.h"
#include "views/SkinTheme.h"

namespace views {
namespace {

constexpr int PagePicture = 321;

} // namespace

void FormatPageButton(skin::RichText& button, const SkinTheme& theme, const TextStyle& style, int page, bool current)
{
    const QString number = QString::number(page + 1);
    // Long page numbers get a smaller font so that they stay on their button.
    const int fontHeight = number.size() <= 3 ? style.height : (number.size() == 4 ? 10 : 8);
    button.Format(QStringLiteral("/global,c=%1,font,font,font_face=%2,font_height=%3//a,p5=%4,btn_text='%5',"
                                 "btn_height=23,btn_width=24/")
                      .arg(Hex(current ? style.second : style.colour), theme.FontFaceText())
                      .arg(fontHeight)
                      .arg(theme.PictureId(PagePicture))
                      .arg(number));
    button.SetState(current ? skin::RichText::StateSelected : skin::RichText::StateNormal);
}

} // namespace views
