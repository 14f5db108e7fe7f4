#include "shell/gui/app_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>

namespace orv::gui {
namespace {

struct GlyphIcon {
    QRgb face;
    const char* glyph;
};

// One colour and a short glyph per page, in page order.
constexpr std::array<GlyphIcon, 10> kPageGlyphs{{
    {0xff2f6fb0, "i"},
    {0xffc0392b, "290"},
    {0xff27864a, "P"},
    {0xff7d5ba6, "BW"},
    {0xffd4801f, "PCR"},
    {0xff1f8a8a, "SI"},
    {0xff5d6d7e, "BUF"},
    {0xffa04000, "PES"},
    {0xff34495e, "CAP"},
    {0xff8e44ad, "EPG"},
}};

QPixmap canvas(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon glyphIcon(QRgb face, const QString& glyph) {
    QPixmap pixmap = canvas(32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(face).darker(140), 1.5));
    p.setBrush(QColor(face));
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(glyph.size() <= 1 ? 20 : glyph.size() == 2 ? 14 : 11);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

}  // namespace

QIcon pageIcon(int pageIndex) {
    if (pageIndex < 0 || pageIndex >= static_cast<int>(kPageGlyphs.size())) return {};
    const GlyphIcon& g = kPageGlyphs[static_cast<std::size_t>(pageIndex)];
    return glyphIcon(g.face, QString::fromLatin1(g.glyph));
}

QIcon commandIcon(CommandIcon which) {
    QPixmap pixmap = canvas(32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 2));
    switch (which) {
        case CommandIcon::Offline: {  // a file with a fold
            QPainterPath page;
            page.moveTo(7, 3);
            page.lineTo(20, 3);
            page.lineTo(26, 9);
            page.lineTo(26, 29);
            page.lineTo(7, 29);
            page.closeSubpath();
            p.setBrush(QColor(0xf4, 0xf4, 0xe8));
            p.drawPath(page);
            p.drawLine(20, 3, 20, 9);
            p.drawLine(20, 9, 26, 9);
            p.setPen(QPen(QColor(0x2f, 0x6f, 0xb0), 2));
            for (int y = 14; y <= 24; y += 5)
                p.drawLine(11, y, 22, y);
            break;
        }
        case CommandIcon::Online: {  // an antenna with waves
            p.setPen(QPen(QColor(0x27, 0x86, 0x4a), 2.5));
            p.drawLine(16, 14, 16, 29);
            p.drawEllipse(QPointF(16, 12), 2.5, 2.5);
            p.drawArc(QRectF(8, 4, 16, 16), 30 * 16, 120 * 16);
            p.drawArc(QRectF(3, -1, 26, 26), 35 * 16, 110 * 16);
            break;
        }
        case CommandIcon::Record:
            p.setBrush(QColor(0xd0, 0x20, 0x20));
            p.drawEllipse(QRectF(5, 5, 22, 22));
            break;
        case CommandIcon::Stop:
            p.setBrush(QColor(0x40, 0x40, 0x40));
            p.drawRoundedRect(QRectF(7, 7, 18, 18), 2, 2);
            break;
        case CommandIcon::Monitor: {  // a check list
            p.setBrush(QColor(0xf4, 0xf4, 0xf4));
            p.drawRect(QRectF(5, 4, 22, 25));
            p.setPen(QPen(QColor(0xc0, 0x39, 0x2b), 2.5));
            for (int y = 10; y <= 22; y += 6) {
                p.drawLine(8, y, 10, y + 2);
                p.drawLine(10, y + 2, 14, y - 2);
            }
            p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.5));
            for (int y = 10; y <= 22; y += 6)
                p.drawLine(17, y, 24, y);
            break;
        }
        case CommandIcon::Interface:  // a connector
            p.setBrush(QColor(0x7d, 0x5b, 0xa6));
            p.drawRoundedRect(QRectF(4, 10, 24, 12), 3, 3);
            p.setBrush(Qt::white);
            for (int x = 8; x <= 22; x += 7)
                p.drawEllipse(QPointF(x + 1, 16), 2, 2);
            break;
        case CommandIcon::Print:  // a printer
            p.setBrush(Qt::white);
            p.drawRect(QRectF(9, 3, 14, 10));
            p.setBrush(QColor(0x5d, 0x6d, 0x7e));
            p.drawRoundedRect(QRectF(4, 12, 24, 11), 2, 2);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(9, 20, 14, 9));
            break;
        case CommandIcon::About:
            p.setBrush(QColor(0x2f, 0x6f, 0xb0));
            p.drawEllipse(QRectF(3, 3, 26, 26));
            p.setPen(Qt::white);
            {
                QFont font = p.font();
                font.setBold(true);
                font.setPixelSize(18);
                p.setFont(font);
            }
            p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, QStringLiteral("?"));
            break;
    }
    return QIcon(pixmap);
}

QIcon lampIcon(bool red, bool bright) {
    QPixmap pixmap = canvas(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QColor colour = red ? QColor(0xe0, 0x20, 0x20) : QColor(0x20, 0xc0, 0x30);
    if (!bright) colour = colour.darker(140);
    QRadialGradient shine(QPointF(6, 6), 8);
    shine.setColorAt(0, bright ? colour.lighter(170) : colour);
    shine.setColorAt(1, colour);
    p.setBrush(shine);
    p.setPen(QPen(colour.darker(160), 1));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return QIcon(pixmap);
}

QIcon eventIcon(int index) {
    // Run event, events saved, then the three priority groups.
    static constexpr std::array<QRgb, 5> kColours{0xff2f6fb0, 0xff27864a, 0xffd02020, 0xffe08020,
                                                  0xffd0b000};
    QPixmap pixmap = canvas(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRgb c = kColours[static_cast<std::size_t>(index >= 0 && index < 5 ? index : 0)];
    p.setBrush(QColor(c));
    p.setPen(QPen(QColor(c).darker(150), 1));
    if (index <= 1)
        p.drawRect(QRectF(2.5, 2.5, 11, 11));
    else
        p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    if (index >= 2) {
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setPixelSize(9);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString::number(index - 1));
    }
    return QIcon(pixmap);
}

QIcon programIcon() {
    QPixmap pixmap = canvas(32);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x20, 0x30, 0x48));
    p.setPen(QPen(QColor(0x10, 0x18, 0x28), 1.5));
    p.drawRoundedRect(QRectF(1.5, 4.5, 29, 21), 3, 3);
    p.setPen(QPen(QColor(0x40, 0xe0, 0x60), 2));
    p.drawPolyline(QPolygonF{{5, 15}, {10, 15}, {13, 8}, {17, 22}, {20, 12}, {23, 15}, {27, 15}});
    p.setPen(QPen(QColor(0x10, 0x18, 0x28), 2));
    p.drawLine(11, 29, 21, 29);
    return QIcon(pixmap);
}

}  // namespace orv::gui
