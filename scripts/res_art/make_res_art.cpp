// Draws the application icon (korvanthine.ico: 32x32 and 16x16, 16 colours)
// and the panel picture (panel_picture.bmp: 254x54, 24 bits, bottom-up,
// 2834 pixels per metre) and writes them in exactly those formats, the same
// picture drawn at 1.25, 1.5 and 2 times for screens at 120, 144 and 192
// dots per inch (panel_picture_125.bmp and so on, 318x68, 381x81, 508x108),
// and the same icon art at the desktop's icon-theme sizes
// (icons/korvanthine-N.png, 16 to 256 pixels). Run it to regenerate the
// committed files:
//   make_res_art <output folder>
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <cstdint>
#include <vector>

namespace {

void Put16(QByteArray& out, std::uint16_t v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

void Put32(QByteArray& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutInfoHeader(QByteArray& out, int width, int height, int bits, std::uint32_t imageSize, int ppm)
{
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<std::uint16_t>(bits));
    Put32(out, 0); // BI_RGB
    Put32(out, imageSize);
    Put32(out, static_cast<std::uint32_t>(ppm));
    Put32(out, static_cast<std::uint32_t>(ppm));
    Put32(out, 0);
    Put32(out, 0);
}

// ---- the panel picture -------------------------------------------------

constexpr int kPictureWidth = 254;
constexpr int kPictureHeight = 54;
// The larger scales the picture is drawn at, in per cent.
constexpr int kPicturePercents[] = {125, 150, 200};

void DrawThermometer(QPainter& p, qreal x, qreal top, qreal bottom, qreal level, const QColor& fill)
{
    const qreal tube = 5.0;
    const qreal bulb = 9.0;
    QPainterPath glass;
    glass.addRoundedRect(QRectF(x - tube / 2, top, tube, bottom - top), tube / 2, tube / 2);
    glass.addEllipse(QPointF(x, bottom), bulb / 2, bulb / 2);
    p.setPen(QPen(QColor(230, 236, 245), 1.2));
    p.setBrush(QColor(20, 34, 58));
    p.drawPath(glass.simplified());
    const qreal fillTop = bottom - (bottom - top) * level;
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(x - 1.5, fillTop, 3.0, bottom - fillTop), 1.5, 1.5);
    p.drawEllipse(QPointF(x, bottom), bulb / 2 - 2, bulb / 2 - 2);
}

// The largest size up to maxPixels at which text fits width.
QFont FittingFont(const QString& text, qreal width, int maxPixels, bool bold, qreal spacing)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    for (int size = maxPixels; size > 6; --size) {
        font.setPixelSize(size);
        if (QFontMetricsF(font).horizontalAdvance(text) <= width)
            break;
    }
    return font;
}

// The picture at percent of its size, drawn at that size rather than
// scaled from another; at 100 it is bitmap 130 as it always was.
QImage DrawPicture(int percent = 100)
{
    const qreal scale = percent / 100.0;
    QImage image(qRound(kPictureWidth * scale), qRound(kPictureHeight * scale), QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);

    QLinearGradient sky(0, 0, 0, kPictureHeight);
    sky.setColorAt(0.0, QColor(28, 54, 96));
    sky.setColorAt(1.0, QColor(12, 24, 46));
    p.fillRect(QRectF(0, 0, kPictureWidth, kPictureHeight), sky);
    // A warm band along the bottom: heat.
    QLinearGradient band(0, 0, kPictureWidth, 0);
    band.setColorAt(0.0, QColor(255, 170, 40));
    band.setColorAt(1.0, QColor(220, 40, 40));
    p.fillRect(QRectF(0, kPictureHeight - 4, kPictureWidth, 4), band);

    // Four channels, four thermometers at different heats.
    const QColor fills[] = {QColor(70, 160, 255), QColor(90, 210, 120), QColor(255, 190, 50), QColor(240, 70, 60)};
    const qreal levels[] = {0.30, 0.50, 0.70, 0.90};
    for (int i = 0; i < 4; ++i)
        DrawThermometer(p, 10 + i * 14, 8, 38, levels[i], fills[i]);

    const QRectF titleBox(66, 5, kPictureWidth - 66 - 6, 28);
    const QString name = QStringLiteral("KORVANTHINE");
    p.setFont(FittingFont(name, titleBox.width(), 22, true, 1.0));
    p.setPen(QColor(245, 248, 252));
    p.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, name);

    const QRectF subtitleBox(67, 31, kPictureWidth - 67 - 6, 14);
    const QString motto = QStringLiteral("4-CHANNEL TEMPERATURE CONTROL");
    p.setFont(FittingFont(motto, subtitleBox.width(), 9, false, 0.4));
    p.setPen(QColor(170, 196, 230));
    p.drawText(subtitleBox, Qt::AlignLeft | Qt::AlignVCenter, motto);
    p.end();
    return image;
}

QByteArray EncodeBmp24(const QImage& image)
{
    const int width = image.width();
    const int height = image.height();
    const int stride = (width * 3 + 3) & ~3;
    const std::uint32_t imageSize = static_cast<std::uint32_t>(stride * height);
    QByteArray out;
    out.append("BM");
    Put32(out, 14 + 40 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40);
    PutInfoHeader(out, width, height, 24, imageSize, 2834);
    for (int y = height - 1; y >= 0; --y) { // bottom-up
        QByteArray row;
        for (int x = 0; x < width; ++x) {
            const QRgb c = image.pixel(x, y);
            row.append(static_cast<char>(qBlue(c)));
            row.append(static_cast<char>(qGreen(c)));
            row.append(static_cast<char>(qRed(c)));
        }
        row.append(QByteArray(stride - row.size(), '\0'));
        out.append(row);
    }
    return out;
}

// ---- the icon ----------------------------------------------------------

// The standard 16-colour palette.
const QRgb kPalette[16] = {
    qRgb(0, 0, 0),     qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),   qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0), qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),   qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};

// Draws the icon at size s in palette colours, with a transparent outside.
// Unsmoothed, every pixel is a palette colour (the 16-colour icon); smoothed,
// the edges blend, which the desktop's larger sizes want.
QImage DrawIcon(int s, bool smooth = false)
{
    QImage image(s, s, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, smooth);
    const qreal u = s / 32.0;
    // Navy tile with a blue rim.
    p.setPen(QPen(QColor(kPalette[12]), qMax<qreal>(1, u)));
    p.setBrush(QColor(kPalette[4]));
    p.drawRoundedRect(QRectF(1 * u, 1 * u, 30 * u - 1, 30 * u - 1), 5 * u, 5 * u);
    // Thermometer: white glass, red column and bulb.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(kPalette[15]));
    p.drawRect(QRectF(13 * u, 5 * u, 6 * u, 17 * u));
    p.drawEllipse(QRectF(10 * u, 18 * u, 12 * u, 12 * u - 1));
    p.setBrush(QColor(kPalette[9]));
    p.drawRect(QRectF(15 * u, 11 * u, 2 * u, 12 * u));
    p.drawEllipse(QRectF(12 * u, 20 * u, 8 * u, 8 * u - 1));
    // Scale marks for four channels.
    p.setBrush(QColor(kPalette[11]));
    for (int i = 0; i < 4; ++i)
        p.drawRect(QRectF(21 * u, (7 + 4 * i) * u, 4 * u, qMax<qreal>(1, u)));
    p.end();
    return image;
}

int NearestPaletteIndex(QRgb c)
{
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 16; ++i) {
        const long dr = qRed(c) - qRed(kPalette[i]);
        const long dg = qGreen(c) - qGreen(kPalette[i]);
        const long db = qBlue(c) - qBlue(kPalette[i]);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

QByteArray EncodeIconImage(const QImage& image)
{
    const int s = image.width();
    const int xorStride = (s / 2 + 3) & ~3;
    const int andStride = ((s + 7) / 8 + 3) & ~3;
    const std::uint32_t size = static_cast<std::uint32_t>((xorStride + andStride) * s);
    QByteArray out;
    PutInfoHeader(out, s, 2 * s, 4, size, 0);
    for (QRgb c : kPalette) {
        out.append(static_cast<char>(qBlue(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qRed(c)));
        out.append('\0');
    }
    for (int y = s - 1; y >= 0; --y) {
        QByteArray row(xorStride, '\0');
        for (int x = 0; x < s; ++x) {
            const QRgb c = image.pixel(x, y);
            const int index = qAlpha(c) < 128 ? 0 : NearestPaletteIndex(c);
            row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 == 0 ? index << 4 : index));
        }
        out.append(row);
    }
    for (int y = s - 1; y >= 0; --y) {
        QByteArray row(andStride, '\0');
        for (int x = 0; x < s; ++x) {
            if (qAlpha(image.pixel(x, y)) < 128)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

QByteArray EncodeIco(const std::vector<QImage>& images)
{
    std::vector<QByteArray> bodies;
    for (const QImage& image : images)
        bodies.push_back(EncodeIconImage(image));
    QByteArray out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<std::uint16_t>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.append(static_cast<char>(images[i].width()));
        out.append(static_cast<char>(images[i].height()));
        out.append(static_cast<char>(16)); // colours
        out.append('\0');
        Put16(out, 1);
        Put16(out, 4);
        Put32(out, static_cast<std::uint32_t>(bodies[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(bodies[i].size());
    }
    for (const QByteArray& body : bodies)
        out.append(body);
    return out;
}

// The icon theme's usual sizes. The two the 16-colour icon has keep its
// exact pixels, so the menu shows what the window's caption shows; the
// others are drawn smoothed at their own size, never scaled from another.
constexpr int kThemeIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QByteArray EncodePng(const QImage& image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return out;
}

bool Write(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool WriteThemeIcons(const QString& folder)
{
    if (!QDir(folder).mkpath(QStringLiteral("icons")))
        return false;
    for (int size : kThemeIconSizes) {
        const bool smooth = size != 16 && size != 32;
        const QString path = folder + QStringLiteral("/icons/korvanthine-%1.png").arg(size);
        if (!Write(path, EncodePng(DrawIcon(size, smooth))))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_res_art <output folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = Write(folder + QStringLiteral("/panel_picture.bmp"), EncodeBmp24(DrawPicture()));
    for (int percent : kPicturePercents)
        ok = ok && Write(folder + QStringLiteral("/panel_picture_%1.bmp").arg(percent), EncodeBmp24(DrawPicture(percent)));
    ok = ok &&
                    Write(folder + QStringLiteral("/korvanthine.ico"), EncodeIco({DrawIcon(32), DrawIcon(16)})) &&
                    WriteThemeIcons(folder);
    return ok ? 0 : 1;
}
