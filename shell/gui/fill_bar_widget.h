// A vertical fill bar drawn with QPainter: a range 0 .. range, a position, the fill colour on its
// background colour and a caption under the bar. The decoder buffer page shows one per buffer.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace orv::gui {

// A colour given as 0x00BBGGRR (red in the low byte), as the buffer page's palette is written.
QColor colourFromBgr(uint32_t bgr);

class FillBarWidget : public QWidget {
  public:
    FillBarWidget(const QString& caption, QColor fill, QColor background,
                  QWidget* parent = nullptr);

    // Range below 1 is taken as 1; the position is kept within 0 .. range.
    void setBar(int32_t range, int32_t position);
    int32_t range() const { return range_; }
    int32_t position() const { return position_; }
    QString caption() const { return caption_; }
    QColor fillColour() const { return fill_; }
    QColor backgroundColour() const { return background_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString caption_;
    QColor fill_;
    QColor background_;
    int32_t range_ = 1000;
    int32_t position_ = 1;
};

}  // namespace orv::gui
