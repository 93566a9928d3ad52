#include "Controls.h"

#include "Application.h"

#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

namespace hg::forms {

TStaticText::TStaticText(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(false);
    sinceRepaint_.start();
}

void TStaticText::SetCaption(std::string_view bytes)
{
    caption_.assign(bytes);
    if (frameTimer_ != 0)
        return; // the pending frame will show the newest caption
    if (sinceRepaint_.elapsed() >= kFrameMs) {
        sinceRepaint_.restart();
        update();
    } else {
        frameTimer_ = startTimer(kFrameMs, Qt::PreciseTimer);
    }
}

void TStaticText::FlushCaption()
{
    if (frameTimer_ != 0) {
        killTimer(frameTimer_);
        frameTimer_ = 0;
    }
    sinceRepaint_.restart();
    update();
}

void TStaticText::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != frameTimer_) {
        QWidget::timerEvent(event);
        return;
    }
    FlushCaption();
}

QString TStaticText::CaptionText() const { return FromCp932(caption_); }

void TStaticText::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), int(alignment_) | Qt::TextSingleLine, CaptionText());
}

void TEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (hasSelectedText())
        deselect(); // the caret stays at the end
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(palette().color(QPalette::Shadow), 1));
    painter.setBrush(Qt::white);
    // A rounded rectangle whose corners are an eighth of the smaller side, like the platform's.
    const int radius = std::min(width(), height()) / 8;
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

namespace {

// The 16 colours of the classic palette that the glyphs use.
const QColor kBlack(0, 0, 0), kMaroon(128, 0, 0), kOlive(128, 128, 0), kNavy(0, 0, 128), kTeal(0, 128, 128),
    kGray(128, 128, 128), kRed(255, 0, 0), kYellow(255, 255, 0), kBlue(0, 0, 255), kWhite(255, 255, 255);

void DrawGlyph(QPainter& p, TGlyph glyph, bool disabled, int size)
{
    auto colour = [disabled](const QColor& c) { return disabled ? (c.lightness() > 160 ? kWhite : kGray) : c; };
    p.setRenderHint(QPainter::Antialiasing, false);
    const qreal s = size / 18.0;
    p.scale(s, s);
    switch (glyph) {
    case TGlyph::Korokoro: {
        // Two dice rolling.
        p.setPen(colour(kBlack));
        p.setBrush(colour(kWhite));
        p.drawRect(1, 5, 9, 9);
        p.setBrush(colour(kRed));
        p.drawRect(5, 9, 1, 1);
        p.setBrush(colour(kWhite));
        p.save();
        p.translate(12, 2);
        p.rotate(20);
        p.drawRect(0, 0, 6, 6);
        p.setBrush(colour(kBlack));
        p.drawRect(1, 1, 1, 1);
        p.drawRect(4, 4, 1, 1);
        p.restore();
        p.setPen(colour(kNavy));
        p.drawLine(1, 16, 16, 16);
        break;
    }
    case TGlyph::Cancel: {
        p.setPen(colour(kMaroon));
        p.setBrush(colour(kRed));
        const QPointF octagon[] = {{6, 1}, {12, 1}, {17, 6}, {17, 12}, {12, 17}, {6, 17}, {1, 12}, {1, 6}};
        p.drawPolygon(octagon, 8);
        p.setPen(QPen(colour(kWhite), 2));
        p.drawLine(6, 6, 12, 12);
        p.drawLine(12, 6, 6, 12);
        break;
    }
    case TGlyph::Help: {
        p.setPen(colour(kNavy));
        p.setBrush(colour(kYellow));
        p.drawEllipse(1, 1, 16, 16);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(13);
        f.setBold(true);
        p.setFont(f);
        p.setPen(colour(kBlue));
        p.drawText(QRect(1, 1, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case TGlyph::Output: {
        // A folder.
        p.setPen(colour(kBlack));
        p.setBrush(colour(kOlive));
        p.drawRect(1, 5, 15, 10);
        p.setBrush(colour(kYellow));
        p.drawRect(1, 3, 6, 2);
        p.drawPolygon(QPolygonF({{3, 8}, {17, 8}, {15, 15}, {1, 15}}));
        break;
    }
    case TGlyph::About: {
        p.setPen(colour(kTeal));
        p.setBrush(colour(kWhite));
        p.drawEllipse(1, 1, 15, 15);
        p.setPen(Qt::NoPen);
        p.setBrush(colour(kTeal));
        p.drawRect(8, 4, 2, 2);
        p.drawRect(8, 7, 2, 7);
        break;
    }
    }
}

QPixmap GlyphFrame(TGlyph glyph, bool disabled)
{
    const QSize size = GlyphSize(glyph);
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    DrawGlyph(painter, glyph, disabled, size.width());
    return pixmap;
}

} // namespace

QSize GlyphSize(TGlyph glyph)
{
    switch (glyph) {
    case TGlyph::Output:
    case TGlyph::About:
        return {16, 16};
    default:
        return {18, 18};
    }
}

QIcon GlyphIcon(TGlyph glyph)
{
    QIcon icon;
    icon.addPixmap(GlyphFrame(glyph, false), QIcon::Normal);
    if (glyph != TGlyph::About) // the About glyph has one frame only
        icon.addPixmap(GlyphFrame(glyph, true), QIcon::Disabled);
    return icon;
}

QIcon ApplicationIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/hanagumo/icon16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/hanagumo/icon32.png"), QSize(32, 32));
    return icon;
}

} // namespace hg::forms
