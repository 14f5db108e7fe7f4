#include "shell/gui/fill_bar_widget.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace orv::gui {

QColor colourFromBgr(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

FillBarWidget::FillBarWidget(const QString& caption, QColor fill, QColor background,
                             QWidget* parent)
    : QWidget(parent), caption_(caption), fill_(fill), background_(background) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    setToolTip(caption);
}

void FillBarWidget::setBar(int32_t range, int32_t position) {
    range = std::max<int32_t>(range, 1);
    position = std::clamp<int32_t>(position, 0, range);
    if (range == range_ && position == position_) return;
    range_ = range;
    position_ = position;
    setToolTip(QStringLiteral("%1: %2 / %3").arg(caption_).arg(position_).arg(range_));
    update();
}

QSize FillBarWidget::sizeHint() const {
    const QFontMetrics fm(font());
    return {std::max(80, fm.horizontalAdvance(caption_) + 8), 180};
}

QSize FillBarWidget::minimumSizeHint() const {
    const QFontMetrics fm(font());
    return {std::max(40, fm.horizontalAdvance(caption_) / 2), 3 * fm.height() + 30};
}

void FillBarWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics fm(font());
    const int textHeight = fm.height();
    // Value above the bar, caption under it, the bar centred in between.
    const QRect valueRect(0, 0, width(), textHeight);
    const QRect captionRect(0, height() - textHeight, width(), textHeight);
    const int barWidth = std::clamp(width() / 3, 16, 40);
    const QRect bar((width() - barWidth) / 2, textHeight + 4, barWidth,
                    std::max(4, height() - 2 * textHeight - 8));

    p.fillRect(bar, background_);
    const qint64 filled = static_cast<qint64>(bar.height()) * position_ / range_;
    const int h = static_cast<int>(filled);
    if (h > 0) p.fillRect(QRect(bar.left(), bar.bottom() - h + 1, bar.width(), h), fill_);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(bar.adjusted(0, 0, -1, -1));

    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(valueRect, Qt::AlignCenter, QStringLiteral("%1/%2").arg(position_).arg(range_));
    p.drawText(captionRect, Qt::AlignCenter, fm.elidedText(caption_, Qt::ElideRight, width()));
}

}  // namespace orv::gui
