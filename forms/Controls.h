// Small controls the windows share: a static text whose caption is code page 932 bytes, the
// rounded monitor frame, the lowered bevel, and the bitmap button glyphs.
#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QIcon>
#include <QLineEdit>
#include <QWidget>

#include <cstdint>
#include <string>
#include <string_view>

namespace hg::forms {

// A static text. The caption is held as code page 932 bytes and converted only when painted.
// Setting it many times a second repaints at display rate, always ending on the newest caption.
class TStaticText final : public QWidget {
    Q_OBJECT
public:
    explicit TStaticText(QWidget* parent = nullptr);

    void SetCaption(std::string_view bytes);
    std::string_view Caption() const noexcept { return caption_; }
    QString CaptionText() const; // converted, for tests and accessibility
    void SetAlignment(Qt::Alignment alignment) { alignment_ = alignment; update(); }
    std::int32_t Tag = 0;

    // Paints a pending caption now instead of at the next frame.
    void FlushCaption();

    static constexpr int kFrameMs = 16;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    std::string caption_;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    QElapsedTimer sinceRepaint_;
    int frameTimer_ = 0;
};

// A one-line edit that, unlike Qt's, does not select its text when entered with the keyboard.
class TEdit final : public QLineEdit {
public:
    explicit TEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

protected:
    void focusInEvent(QFocusEvent* event) override;
};

// The rounded rectangle with a white fill that frames the monitor.
class TShape final : public QWidget {
public:
    explicit TShape(QWidget* parent = nullptr) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Glyphs of the bitmap buttons: a normal and a disabled frame each, in a 16-colour look.
enum class TGlyph { Korokoro, Cancel, Help, Output, About };
QIcon GlyphIcon(TGlyph glyph);
QSize GlyphSize(TGlyph glyph);
// The application icon (32 x 32 and 16 x 16).
QIcon ApplicationIcon();

} // namespace hg::forms
