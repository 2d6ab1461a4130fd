// Draws the program's pictures into resources/pictures. Run by hand when a picture changes
// (cmake --build <dir> --target tarv-draw-pictures && <dir>/tarv-draw-pictures resources/pictures);
// the PNG and ICO files are committed, so the build does not need this tool.
#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <vector>

namespace {
const QColor kOrange(247, 147, 30);
const QColor kInk(40, 56, 80);
const QColor kGrey(160, 160, 160);

QImage Canvas(int w, int h, const QColor& fill = Qt::transparent)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(fill);
    return image;
}

QImage Logo()
{
    QImage image = Canvas(220, 51, Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A scale with a read head: the mark of a linear encoder.
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    p.drawRoundedRect(QRectF(6, 30, 60, 8), 2, 2);
    p.setBrush(kInk);
    for (int x = 10; x < 64; x += 6) p.drawRect(QRectF(x, 31, 2, 6));
    p.drawRoundedRect(QRectF(22, 12, 22, 16), 3, 3);
    QFont font("DejaVu Sans");
    font.setPixelSize(30);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kInk);
    p.drawText(QRectF(74, 2, 146, 36), Qt::AlignLeft | Qt::AlignVCenter, "TARV");
    font.setPixelSize(10);
    font.setBold(false);
    p.setFont(font);
    p.setPen(kOrange.darker(120));
    p.drawText(QRectF(76, 36, 146, 14), Qt::AlignLeft | Qt::AlignVCenter, "linear encoders");
    return image;
}

// A chip with an arrow: into the chip for PROG, out of it for READ.
QImage ChipArrow(bool intoChip, const QColor& arrow, const QColor& chip)
{
    QImage image = Canvas(20, 20);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(chip);
    p.drawRoundedRect(QRectF(3, 12, 14, 7), 1.5, 1.5);
    for (int x = 5; x <= 14; x += 3) p.drawRect(QRectF(x, 10.5, 1.5, 1.5));
    QPainterPath head;
    if (intoChip) {
        head.moveTo(10, 10);
        head.lineTo(5, 5);
        head.lineTo(15, 5);
    } else {
        head.moveTo(10, 0);
        head.lineTo(5, 5);
        head.lineTo(15, 5);
    }
    head.closeSubpath();
    p.setBrush(arrow);
    p.drawPath(head);
    p.drawRect(intoChip ? QRectF(8.5, 0, 3, 5) : QRectF(8.5, 5, 3, 4.5));
    return image;
}

QImage PortPlug()
{
    QImage image = Canvas(21, 21);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kOrange);
    QPainterPath shell;  // a nine-pin connector's trapezoid
    shell.moveTo(2, 6);
    shell.lineTo(19, 6);
    shell.lineTo(16, 15);
    shell.lineTo(5, 15);
    shell.closeSubpath();
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(5.5 + i * 2.5, 9), 0.9, 0.9);
    for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(6.75 + i * 2.5, 12), 0.9, 0.9);
    return image;
}

// Drawn on a 64-pixel grid and scaled, so every size of the Windows icon is the same picture.
QImage Icon(int size = 64)
{
    QImage image = Canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    p.setBrush(kOrange);
    p.drawRoundedRect(QRectF(6, 40, 52, 10), 2, 2);
    p.setBrush(kInk);
    for (int x = 10; x < 56; x += 6) p.drawRect(QRectF(x, 42, 2, 6));
    p.drawRoundedRect(QRectF(20, 14, 24, 22), 4, 4);
    return image;
}

bool Save(const QImage& image, const QString& folder, const char* name)
{
    const QString path = folder + "/" + name;
    if (image.save(path)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

// A Windows icon file with one PNG per size: Windows Vista and later take PNG entries as they are,
// so no bitmap and mask need to be made. A size of 256 is written as 0 in the directory.
bool SaveIco(const std::vector<QImage>& images, const QString& folder, const char* name)
{
    std::vector<QByteArray> pngs;
    for (const QImage& image : images) {
        QByteArray png;
        QBuffer buffer(&png);
        if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
        pngs.push_back(png);
    }
    QByteArray ico;
    QDataStream out(&ico, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());  // reserved, type icon, count
    quint32 offset = 6 + 16 * quint32(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const auto side = quint8(images[i].width() >= 256 ? 0 : images[i].width());
        out << side << side << quint8(0) << quint8(0);                          // width, height, no palette, reserved
        out << quint16(1) << quint16(32) << quint32(pngs[i].size()) << offset;  // planes, bits, size, offset
        offset += quint32(pngs[i].size());
    }
    for (const QByteArray& png : pngs) out.writeRawData(png.constData(), int(png.size()));

    const QString path = folder + "/" + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size()) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}
}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bool ok = Save(Logo(), folder, "logo.png");
    ok &= Save(ChipArrow(true, kOrange, kInk), folder, "prog.png");
    ok &= Save(ChipArrow(true, kGrey, kGrey.lighter(120)), folder, "prog_disabled.png");
    ok &= Save(ChipArrow(false, QColor(30, 110, 200), kInk), folder, "read.png");
    ok &= Save(ChipArrow(false, kGrey, kGrey.lighter(120)), folder, "read_disabled.png");
    ok &= Save(PortPlug(), folder, "port.png");
    ok &= Save(Icon(), folder, "tarv-configurator.png");
    ok &= SaveIco({Icon(16), Icon(24), Icon(32), Icon(48), Icon(64), Icon(256)}, folder, "tarv-configurator.ico");
    return ok ? 0 : 1;
}
