#include "gui/controls/GsLabel.h"

#include "gui/graphics/image.h"

#include <algorithm>
#include <utility>

using graphics::Bitmap;
using graphics::Canvas;
using graphics::Rect;

// ---- gs::GsOuterGlowTextEffectPainter ----------------------------------------------------------

namespace gs {

void GsOuterGlowTextEffectPainter::Draw(Canvas* canvas, const TPainterText& text,
                                        const Rect& rect, unsigned format, TDrawMode mode,
                                        TLayerAlpha alpha)
{
    canvas->SetFont(m_Effect.Font());
    m_Effect.Painter().Draw(canvas, text, rect, format, mode, alpha);
}

void GsOuterGlowTextEffectPainter::Draw(Bitmap* bitmap, const TPainterText& text,
                                        const Rect& rect, unsigned format, TDrawMode mode,
                                        TLayerAlpha alpha)
{
    const std::int32_t dx = m_Effect.RadiationX();
    const std::int32_t dy = m_Effect.RadiationY();
    if (dx == 0 && dy == 0) {
        bitmap->Canvas().SetFont(m_Effect.Font());
        m_Effect.Painter().Draw(bitmap, text, rect, format, mode, alpha);
        return;
    }
    // The copy shares the target's viewport origin, so that the logical rectangle names the
    // same pixels on both, also when the copy's area is put back.
    Bitmap copy;
    copy.Assign(*bitmap);
    copy.Canvas().SetViewportOrigin(bitmap->Canvas().ViewportOrigin());
    copy.Canvas().SetFont(m_Effect.Font());
    m_Effect.Painter().Draw(&copy, text, rect.Offset(dx, dy), format, mode, alpha);
    graphics::PutBitmapArea(&bitmap->Canvas(), rect, &copy, graphics::Point{rect.Left, rect.Top});
}

void GsOuterGlowTextEffectPainter::Measure(Canvas* canvas, const TPainterText& text, Rect& rect,
                                           unsigned format)
{
    canvas->SetFont(m_Effect.Font());
    m_Effect.Painter().Measure(canvas, text, rect, format);
}

// ---- gs::GsCustomRadiation ---------------------------------------------------------------------

void GsCustomRadiation::SetOpacity(std::uint8_t value)
{
    const bool changed = GlowPainter().Opacity() != value;
    if (changed)
        GlowPainter().SetOpacity(value);
    GlowChanged(changed);
}

void GsCustomRadiation::SetRadius(std::uint32_t value)
{
    // The painter keeps the radius within its limit; compare what it would store.
    const int stored = static_cast<int>(
        std::min<std::uint32_t>(value, static_cast<std::uint32_t>(TRadiateTextPainter::kMaxRadius)));
    const bool changed = GlowPainter().Radius() != stored;
    if (changed)
        GlowPainter().SetRadius(stored);
    GlowChanged(changed);
}

void GsCustomRadiation::SetSpread(std::uint8_t value)
{
    const bool changed = GlowPainter().Spread() != value;
    if (changed)
        GlowPainter().SetSpread(value);
    GlowChanged(changed);
}

void GsCustomRadiation::SetColor(graphics::TColor value)
{
    const bool changed = GlowPainter().GlowColor() != value;
    if (changed)
        GlowPainter().SetGlowColor(value);
    GlowChanged(changed);
}

void GsCustomRadiation::SetOffsetX(std::int32_t value)
{
    SetOffset({value, GlowPainter().Offset().y});
}

void GsCustomRadiation::SetOffsetY(std::int32_t value)
{
    SetOffset({GlowPainter().Offset().x, value});
}

void GsCustomRadiation::SetOffset(graphics::Point offset)
{
    const bool changed = !(GlowPainter().Offset() == offset);
    if (changed)
        GlowPainter().SetOffset(offset);
    GlowChanged(changed);
}

} // namespace gs

// ---- GsTextRadiationEffect -----------------------------------------------------------------------

GsTextRadiationEffect::GsTextRadiationEffect()
    : m_Painter(std::make_unique<TOuterGlowTextPainter>()),
      m_Adapter(std::make_unique<gs::GsOuterGlowTextEffectPainter>(*this))
{
}

GsTextRadiationEffect::GsTextRadiationEffect(framework::NotifyEvent onChange)
    : GsTextRadiationEffect()
{
    OnChange = std::move(onChange);
}

GsTextRadiationEffect::GsTextRadiationEffect(const GsTextRadiationEffect& other)
    : GsTextRadiationEffect()
{
    m_Font = other.m_Font;
    m_Painter->AssignGlow(*other.m_Painter);
    OnChange = other.OnChange;
}

GsTextRadiationEffect::~GsTextRadiationEffect() = default;

GsTextRadiationEffect& GsTextRadiationEffect::operator=(const GsTextRadiationEffect& other)
{
    if (this == &other)
        return *this;
    // Notifies also when nothing differed.
    m_Painter->AssignGlow(*other.m_Painter);
    m_Font = other.m_Font;
    Changed();
    return *this;
}

void GsTextRadiationEffect::Changed()
{
    OnChange(this);
}

void GsTextRadiationEffect::GlowChanged(bool valueChanged)
{
    if (valueChanged)
        Changed();
}

void GsTextRadiationEffect::SetFont(const graphics::TFont& font)
{
    if (&font == &m_Font)
        return;
    m_Font = font;
    Changed();
}

// ---- GsTextMargins -------------------------------------------------------------------------------

GsTextMargins::GsTextMargins(const GsTextMargins& other)
    : framework::Component(), m_Left(other.m_Left), m_Right(other.m_Right), m_Top(other.m_Top),
      m_Bottom(other.m_Bottom)
{
}

GsTextMargins& GsTextMargins::operator=(const GsTextMargins& other)
{
    m_Left = other.m_Left;
    m_Right = other.m_Right;
    m_Top = other.m_Top;
    m_Bottom = other.m_Bottom;
    Changed();
    return *this;
}

void GsTextMargins::SetLeft(std::int32_t value)
{
    m_Left = value;
    Changed();
}

void GsTextMargins::SetRight(std::int32_t value)
{
    m_Right = value;
    Changed();
}

void GsTextMargins::SetTop(std::int32_t value)
{
    m_Top = value;
    Changed();
}

void GsTextMargins::SetBottom(std::int32_t value)
{
    m_Bottom = value;
    Changed();
}

// ---- GsRadiation ---------------------------------------------------------------------------------

GsRadiation& GsRadiation::operator=(const GsRadiation& other)
{
    if (this == &other)
        return *this;
    GlowChanged(m_Label.Painter().AssignGlow(other.m_Label.Painter()));
    return *this;
}

TOuterGlowTextPainter& GsRadiation::GlowPainter() const
{
    return m_Label.Painter();
}

void GsRadiation::GlowChanged(bool valueChanged)
{
    m_Label.AdjustSize();
    if (valueChanged)
        m_Label.Invalidate();
}

// ---- GsLabel -------------------------------------------------------------------------------------

namespace {

unsigned EllipsisFlag(TEllipsisPosition position)
{
    switch (position) {
    case epPathEllipsis:
        return graphics::DT_PATH_ELLIPSIS;
    case epEndEllipsis:
        return graphics::DT_END_ELLIPSIS;
    case epWordEllipsis:
        return graphics::DT_WORD_ELLIPSIS;
    case epNone:
        break;
    }
    return 0;
}

} // namespace

GsLabel::GsLabel(framework::Component* owner)
    : framework::GraphicControl(owner), m_Painter(std::make_unique<TOuterGlowTextPainter>()),
      m_Radiation(std::make_unique<GsRadiation>(*this))
{
    m_Painter->SetOffset(graphics::Point{1, 1});
    m_Painter->SetRadius(3);
    m_Painter->SetSpread(0);
    m_Painter->SetOpacity(192);
    m_Painter->SetGlowColor(graphics::clBlack);
    SetAutoSize(true);
}

GsLabel::~GsLabel() = default;

void GsLabel::SetTransparent(bool value)
{
    if (m_Transparent == value)
        return;
    m_Transparent = value;
    Invalidate();
}

void GsLabel::SetColor(graphics::TColor value)
{
    if (m_Color == value)
        return;
    m_Color = value;
    Invalidate();
}

void GsLabel::SetAlignment(framework::TAlignment value)
{
    if (m_Alignment == value)
        return;
    m_Alignment = value;
    Invalidate();
}

void GsLabel::SetLayout(framework::TTextLayout value)
{
    if (m_Layout == value)
        return;
    m_Layout = value;
    Invalidate();
}

void GsLabel::SetWordWrap(bool value)
{
    if (m_WordWrap == value)
        return;
    m_WordWrap = value;
    AdjustSize();
    Invalidate();
}

void GsLabel::SetEllipsisPosition(TEllipsisPosition value)
{
    if (m_EllipsisPosition == value)
        return;
    m_EllipsisPosition = value;
    Invalidate();
}

unsigned GsLabel::TextFlags() const
{
    unsigned flags = graphics::DT_EXPANDTABS;
    if (m_Alignment == framework::taRightJustify)
        flags |= graphics::DT_RIGHT;
    else if (m_Alignment == framework::taCenter)
        flags |= graphics::DT_CENTER;
    if (m_WordWrap)
        flags |= graphics::DT_WORDBREAK;
    return flags | EllipsisFlag(m_EllipsisPosition);
}

void GsLabel::AdjustSize()
{
    if (!AutoSize())
        return;
    graphics::Bitmap scratch(1, 1);
    graphics::Rect rect = ClientRect();
    unsigned flags = graphics::DT_EXPANDTABS | graphics::DT_CALCRECT;
    if (m_WordWrap)
        flags |= graphics::DT_WORDBREAK;
    DoDrawText(scratch.Canvas(), rect, flags);
    int left = Left();
    if (m_Alignment == framework::taRightJustify)
        left += Width() - rect.Right;
    SetBounds(left, Top(), rect.Right, rect.Bottom);
}

void GsLabel::DoDrawText(graphics::Canvas& canvas, graphics::Rect& rect, unsigned flags)
{
    flags |= EllipsisFlag(m_EllipsisPosition);
    const std::string& text = Caption();
    canvas.SetFont(Font());
    if (flags & graphics::DT_CALCRECT) {
        m_Painter->Measure(&canvas, text, rect, flags);
        return;
    }
    if (!m_Transparent) {
        canvas.Brush().Color = m_Color;
        canvas.Brush().Style = graphics::bsSolid;
        canvas.FillRect(rect);
    }
    if (Enabled()) {
        m_Painter->Draw(&canvas, text, rect, flags, TDrawMode::Blend,
                        TLayerAlpha::Premultiplied);
        return;
    }
    canvas.Font().Color = graphics::clGrayText;
    TTextPainter* plain = TTextPainter::Instance();
    plain->Draw(&canvas, text, rect, flags, TDrawMode::Blend, TLayerAlpha::Premultiplied);
    plain->Release();
}

void GsLabel::ApplyLayout(graphics::Canvas& canvas, graphics::Rect& rect)
{
    if (m_Layout == framework::tlTop)
        return;
    // Measured relative to the rectangle, so a label drawn at its position in a container
    // lays out as it does on its own.
    graphics::Rect measured = rect;
    DoDrawText(canvas, measured, TextFlags() | graphics::DT_CALCRECT);
    int d = rect.Height() - measured.Height();
    if (m_Layout == framework::tlCenter)
        d /= 2;
    // Text taller than the label stays anchored at the top instead of leaving the label.
    if (d > 0)
        rect.Top += d;
}

void GsLabel::DrawCaption(graphics::Canvas& canvas, graphics::Rect rect)
{
    if (!m_Transparent) {
        canvas.Brush().Color = m_Color;
        canvas.Brush().Style = graphics::bsSolid;
        canvas.FillRect(rect);
    }
    ApplyLayout(canvas, rect);
    DoDrawText(canvas, rect, TextFlags());
}

void GsLabel::Paint(graphics::Canvas& canvas)
{
    DrawCaption(canvas, ClientRect());
}

void GsLabel::RenderTo(graphics::Bitmap* bitmap)
{
    bitmap->SetSize(Width(), Height());
    DrawCaption(bitmap->Canvas(), graphics::Rect{0, 0, Width(), Height()});
}

void GsLabel::DrawInto(graphics::Bitmap* container)
{
    if (Caption().empty())
        return;
    DrawCaption(container->Canvas(), BoundsRect());
}

void GsLabel::FontChanged()
{
    AdjustSize();
}

void GsLabel::EnabledChanged()
{
    Invalidate();
}
