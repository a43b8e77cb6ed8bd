#include "dialog_units.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStringList>
#include <QStyle>
#include <cstdlib>

namespace dialogkit {

BaseUnits DialogBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int sum = metrics.horizontalAdvance(
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    // Average over 52 letters, rounded to the nearest pixel.
    return BaseUnits{(sum / 26 + 1) / 2, metrics.height()};
}

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const long long product = static_cast<long long>(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    const long long divisor = std::llabs(static_cast<long long>(denominator));
    const long long magnitude = (std::llabs(product) + divisor / 2) / divisor;
    return static_cast<int>(negative ? -magnitude : magnitude);
}

QRect MapDialogRect(const BaseUnits& units, int x, int y, int cx, int cy)
{
    return QRect(MulDiv(x, units.cx, 4), MulDiv(y, units.cy, 8), MulDiv(cx, units.cx, 4),
                 MulDiv(cy, units.cy, 8));
}

namespace {

// Pixels a control needs around its caption.
int CaptionChrome(const DialogItemTemplate& item)
{
    const QStyle* style = QApplication::style();
    if (item.cls != ControlClass::Button)
        return 0;
    switch (item.style & BS_TYPEMASK) {
    case BS_AUTORADIOBUTTON:
        return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    case BS_GROUPBOX:
        return 16; // title inset on both sides
    default:
        return 2 * style->pixelMetric(QStyle::PM_ButtonMargin);
    }
}

bool HasCaption(const DialogItemTemplate& item)
{
    if (item.caption == nullptr || item.caption[0] == '\0')
        return false;
    // The progress bar's template text is never drawn; pictures carry none.
    return item.cls == ControlClass::Button || item.cls == ControlClass::Static;
}

} // namespace

bool CaptionsFit(const DialogTemplate& tmpl, const QFont& font)
{
    const QFontMetrics metrics(font);
    const BaseUnits units = DialogBaseUnits(font);
    for (std::size_t i = 0; i < tmpl.itemCount; ++i) {
        const DialogItemTemplate& item = tmpl.items[i];
        if (!HasCaption(item))
            continue;
        const QRect rect = MapDialogRect(units, item.x, item.y, item.cx, item.cy);
        const QStringList lines = QString::fromUtf8(item.caption).split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            if (metrics.horizontalAdvance(line) + CaptionChrome(item) > rect.width())
                return false;
        }
        if (metrics.height() * static_cast<int>(lines.size()) > rect.height())
            return false;
    }
    return true;
}

QFont ChooseDialogFont(const DialogTemplate& tmpl, const FontCandidate* candidates, int count)
{
    QFont font;
    for (int i = 0; i < count; ++i) {
        font = QFont(QString::fromLatin1(candidates[i].family));
        font.setPixelSize(candidates[i].pixelSize);
        if (CaptionsFit(tmpl, font))
            return font;
    }
    return font;
}

QFont DialogFontFor(const DialogTemplate& tmpl)
{
    // Close to 8 points at 96 dots per inch; the condensed and smaller faces
    // are there for machines whose fonts run wider.
    static const FontCandidate kCandidates[] = {
        {"DejaVu Sans", 11},
        {"DejaVu Sans Condensed", 12},
        {"DejaVu Sans Condensed", 11},
        {"DejaVu Sans", 10},
        {"DejaVu Sans Condensed", 10},
    };
    return ChooseDialogFont(tmpl, kCandidates, static_cast<int>(std::size(kCandidates)));
}

} // namespace dialogkit
