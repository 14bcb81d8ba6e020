#pragma once
// The caption and warning labels of the link rows. A file name may hold
// anything: line feeds and other control characters are shown as visible
// symbols (a line feed as "␊") instead of breaking or vanishing, and a
// caption longer than its room is cut short with "…", the whole caption
// then showing as the label's tooltip. The text kept is the caption as the
// template made it; only what is drawn changes.

#include <QLabel>
#include <QPointer>

namespace zandorel::app {

// The text with each control character replaced by its visible symbol:
// U+0000 to U+001F by U+2400 to U+241F, U+007F by U+2421, and the line and
// paragraph separators (U+0085, U+2028, U+2029) by U+2424.
QString VisibleControlCharacters(const QString& text);

class CaptionLabel : public QLabel {
public:
    explicit CaptionLabel(QWidget* parent);

    // The text stops before the left edge of `boundary`, a sibling: the
    // column of the row's "?" button. None: the label's width.
    void SetBoundary(QWidget* boundary) { boundary_ = boundary; }

    // What the label draws, and whether the caption had to be cut for it.
    QString ShownText() const;
    bool Elided() const { return ShownText() != VisibleControlCharacters(text()); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    int room() const;

    QPointer<QWidget> boundary_;
};

} // namespace zandorel::app
