#pragma once
// Pictures drawn onto a window's or picture box's drawing surface, placed by
// one of five draw styles. Every drawing loads the file anew and keeps no
// drawing object once it returns.

#include <QImage>
#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace zandorel {

class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct DrawParameters {
    int32_t style = 0;  // PicDrawStyle
    int32_t x = 0;      // PicX
    int32_t y = 0;      // PicY
    int32_t width = 0;  // PicWidth
    int32_t height = 0; // PicHeight
    int32_t xAlign = 0; // PicxAlign: 0 centre, 1 left, 2 right
    int32_t yAlign = 0; // PicyAlign: 0 centre, 1 top, 2 bottom
    int32_t top = 0;    // PicTop
    int32_t right = 0;  // PicRight
    int32_t bottom = 0; // PicButtom
    int32_t left = 0;   // PicLeft
};

// Where a drawing goes: its surface, its outer size in pixels, and for draw
// style 3 a way to resize it.
class DrawTarget {
public:
    virtual ~DrawTarget() = default;
    virtual QImage& surface() = 0; // kept by the target, shown on every repaint
    virtual int outerWidth() const = 0;
    virtual int outerHeight() const = 0;
    virtual void setOuterSize(int width, int height) = 0;
};

struct DrawPlan {
    std::optional<QSize> resizeTarget; // style 3: the target's new outer size
    std::optional<QRect> rect;         // nothing drawn when empty; 0 width or height means the picture's own
};

// The rectangle of a style for a picture of imgW x imgH on a target of
// tW x tH. Raises PictureError for a zero region in style 4 and for
// arithmetic beyond 32 bits.
DrawPlan PlanDrawing(const DrawParameters& p, int imgW, int imgH, int tW, int tH);

// Round to the nearest whole number, halves to the even neighbour.
int32_t Whole(double v);

// Draws the picture at `path` into (x, y, w, h) of the surface; a width or
// height of 0 takes the picture's own. Raises PictureError when the file is
// not a readable picture.
void DrawPngRect(const QString& path, QImage& surface, int x, int y, int w, int h);

// Measures the picture, works out the rectangle of the style and draws it.
// Raises PictureError when the picture cannot be measured or the style's
// arithmetic fails; nothing is drawn then.
void DrawPng(const QString& path, DrawTarget& target, const DrawParameters& p);

} // namespace zandorel
