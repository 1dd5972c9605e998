#include "EditorView.h"

#include "Editor.h"
#include "TKeyTranslation.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QVariant>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <optional>
#include <utility>

namespace {

// Paints the core's requests with a QPainter on the view's viewport.
class TPainterCanvas : public IEditorCanvas {
public:
    TPainterCanvas(QPainter& painter, TEditorView& view) : FPainter(painter), FView(view) {}

    void FillRect(const QRect& rect, TColor color) override
    {
        if (color != clNone)
            FPainter.fillRect(rect, Resolve(color));
    }

    void DrawCells(int x, int y, int cellWidth, int cellHeight, QStringView text, const TEditorFont& font,
        TColor foreColor, TColor backColor) override
    {
        FillRect(QRect(x, y, cellWidth * static_cast<int>(text.size()), cellHeight), backColor);
        const QRawFont& raw = FView.RawFontFor(font);
        const QColor fore = Resolve(foreColor);
        const qreal ascent = raw.isValid() ? raw.ascent() : QFontMetrics(FView.FontFor(font)).ascent();
        const qreal baseline = y + ascent;
        QList<quint32> glyphs;
        QList<QPointF> positions;
        glyphs.reserve(text.size());
        positions.reserve(text.size());
        FPainter.setPen(fore);
        for (qsizetype i = 0; i < text.size(); ++i) {
            // A surrogate pair is one character drawn from the first of its two cells.
            const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
            const qsizetype units = pair ? 2 : 1;
            const QStringView character = text.mid(i, units);
            const QPointF at(x + i * cellWidth, baseline);
            i += units - 1;
            if (character.size() == 1 && (character[0] == u' ' || character[0].isSurrogate()))
                continue;
            quint32 glyph = 0;
            int count = 1;
            const bool inFont = raw.isValid()
                && raw.glyphIndexesForChars(character.data(), static_cast<int>(character.size()), &glyph, &count)
                && count == 1 && glyph != 0;
            if (inFont) {
                glyphs.append(glyph);
                positions.append(at);
                continue;
            }
            // Not in the cell font: drawn alone, so that font fallback finds it.
            FPainter.setFont(FView.FontFor(font));
            FPainter.drawText(at, character.toString());
        }
        if (glyphs.isEmpty())
            return;
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        run.setUnderline((font.Style & fsUnderline) != 0);
        run.setStrikeOut((font.Style & fsStrikeOut) != 0);
        FPainter.drawGlyphRun(QPointF(0, 0), run);
    }

    void DrawLine(int x1, int y1, int x2, int y2, TColor color) override
    {
        FPainter.setPen(Resolve(color));
        FPainter.drawLine(x1, y1, x2, y2);
    }

    void FrameRect(const QRect& rect, TColor color) override
    {
        if (color == clNone || rect.isEmpty())
            return;
        FPainter.setPen(Resolve(color));
        FPainter.setBrush(Qt::NoBrush);
        FPainter.drawRect(rect.adjusted(0, 0, -1, -1));
    }

private:
    QColor Resolve(TColor color) const { return TEditorView::ResolveColor(color, FView.palette()); }

    QPainter& FPainter;
    TEditorView& FView;
};

TShiftState ShiftOf(Qt::KeyboardModifiers modifiers)
{
    TShiftState shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= ssShift;
    if (modifiers & Qt::AltModifier)
        shift |= ssAlt;
    if (modifiers & Qt::ControlModifier)
        shift |= ssCtrl;
    return shift;
}

TMouseButton ButtonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton:
        return TMouseButton::Right;
    case Qt::MiddleButton:
        return TMouseButton::Middle;
    default:
        return TMouseButton::Left;
    }
}

} // namespace

TEditorView::TEditorView(std::unique_ptr<TCustomEditorBase> editor, QWidget* parent)
    : QAbstractScrollArea(parent), FEditor(editor ? std::move(editor) : std::make_unique<TEditor>())
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(1);
    const int flash = QApplication::cursorFlashTime();
    FBlinkTimer.setInterval(flash > 0 ? flash / 2 : 0);
    connect(&FBlinkTimer, &QTimer::timeout, this, [this] {
        FCaretBlinkOn = !FCaretBlinkOn;
        UpdateCaretArea();
    });
    resize(sizeHint());
    FEditor->SetPlatform(this);
}

TEditorView::~TEditorView()
{
    FEditor->SetPlatform(nullptr);
}

QSize TEditorView::sizeHint() const
{
    return QSize(150, 100);
}

QColor TEditorView::ResolveColor(TColor color, const QPalette& palette)
{
    if (color == clNone)
        return QColor(Qt::transparent);
    if (!IsSystemColor(color))
        return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    switch (color) {
    case clScrollBar:
    case clBtnFace:
    case clActiveBorder:
    case clInactiveBorder:
        return palette.color(QPalette::Button);
    case clBackground:
    case clMenu:
        return palette.color(QPalette::Window);
    case clActiveCaption:
    case clHighlight:
        return palette.color(QPalette::Highlight);
    case clInactiveCaption:
    case cl3DLight:
        return palette.color(QPalette::Midlight);
    case clWindow:
        return palette.color(QPalette::Base);
    case clWindowFrame:
    case cl3DDkShadow:
        return palette.color(QPalette::Shadow);
    case clMenuText:
        return palette.color(QPalette::WindowText);
    case clCaptionText:
    case clHighlightText:
        return palette.color(QPalette::HighlightedText);
    case clAppWorkSpace:
        return palette.color(QPalette::Dark);
    case clBtnShadow:
        return palette.color(QPalette::Mid);
    case clGrayText:
        return palette.color(QPalette::Disabled, QPalette::Text);
    case clBtnText:
        return palette.color(QPalette::ButtonText);
    case clBtnHighlight:
        return palette.color(QPalette::Light);
    case clInfoText:
        return palette.color(QPalette::ToolTipText);
    case clInfoBk:
        return palette.color(QPalette::ToolTipBase);
    default:
        return palette.color(QPalette::Text);
    }
}

const QString& TEditorView::BlockFormatMimeType()
{
    static const QString type = QStringLiteral("application/x-brindlecast-block-type");
    return type;
}

template <class TCall>
void TEditorView::Guarded(TCall&& call)
{
    try {
        call();
    } catch (const std::exception& error) {
        const QString message = QString::fromUtf8(error.what());
        qWarning("editor: %s", qUtf8Printable(message));
        emit EditorError(message);
    }
}

void TEditorView::CheckFontCache(const TEditorFont& font)
{
    if (font.Family == FCachedFor.Family && font.Size == FCachedFor.Size && font.Height == FCachedFor.Height)
        return;
    ForgetFonts();
    FCachedFor = font;
}

const QFont& TEditorView::FontFor(const TEditorFont& font)
{
    CheckFontCache(font);
    std::optional<QFont>& cached = FFonts[font.Style & 0x0F];
    if (!cached) {
        QFont made(font.Family);
        if (font.Height > 0)
            made.setPixelSize(font.Height);
        else
            made.setPointSize(font.Size > 0 ? font.Size : 10);
        made.setStyleHint(QFont::Monospace);
        made.setFixedPitch(true);
        made.setKerning(false);
        made.setBold((font.Style & fsBold) != 0);
        made.setItalic((font.Style & fsItalic) != 0);
        made.setUnderline((font.Style & fsUnderline) != 0);
        made.setStrikeOut((font.Style & fsStrikeOut) != 0);
        cached = made;
    }
    return *cached;
}

const QRawFont& TEditorView::RawFontFor(const TEditorFont& font)
{
    const QFont& qfont = FontFor(font);
    std::optional<QRawFont>& cached = FRawFonts[font.Style & 0x0F];
    if (!cached)
        cached = QRawFont::fromFont(qfont);
    return *cached;
}

QSize TEditorView::TextExtent(const TEditorFont& font, const QString& text)
{
    const QFontMetrics metrics(FontFor(font));
    return QSize(metrics.horizontalAdvance(text), metrics.height());
}

QSize TEditorView::ClientSize() const
{
    return viewport()->size();
}

void TEditorView::Invalidate(const QRect& rect)
{
    const QRect visible = rect.intersected(viewport()->rect());
    if (visible.isEmpty())
        return;
    FPending += visible;
    viewport()->update(visible);
}

void TEditorView::InvalidateAll()
{
    FPending = viewport()->rect();
    viewport()->update();
}

void TEditorView::UpdateNow()
{
    if (FPainting || FPending.isEmpty() || !viewport()->isVisible())
        return;
    const QRegion region = FPending;
    FPending = QRegion();
    viewport()->repaint(region);
}

void TEditorView::ScrollPixels(int dx, int dy, const QRect& area)
{
    // The caret drawn into the moved pixels must not travel with them.
    if (!FCaretPainted.isNull()) {
        viewport()->update(FCaretPainted);
        viewport()->update(FCaretPainted.translated(dx, dy));
    }
    viewport()->scroll(dx, dy, area);
}

void TEditorView::ForgetFonts()
{
    for (auto& font : FFonts)
        font.reset();
    for (auto& font : FRawFonts)
        font.reset();
}

void TEditorView::SetScrollBar(bool vertical, int min, int max, int page, int pageStep)
{
    QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
    QScopedValueRollback<bool> guard(FCoreScrolling, true);
    bar->setRange(min, std::max(min, max - std::max(page, 0) + 1));
    bar->setPageStep(std::max(pageStep, 1));
}

void TEditorView::SetScrollPos(bool vertical, int position)
{
    QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
    QScopedValueRollback<bool> guard(FCoreScrolling, true);
    bar->setValue(position);
}

void TEditorView::SettingsChanged()
{
    const TScrollStyle bars = FEditor->ScrollBars();
    setVerticalScrollBarPolicy(
        bars == ssVertical || bars == ssBoth ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(
        bars == ssHorizontal || bars == ssBoth ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    if (FEditor->BorderStyle() == bsSingle)
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    else
        setFrameStyle(QFrame::NoFrame);
    setProperty("readOnly", FEditor->ReadOnly());
}

void TEditorView::CreateCaret(int width, int height)
{
    UpdateCaretArea();
    FCaretExists = true;
    FCaretShown = false;
    FCaretRect.setSize(QSize(width, height));
}

void TEditorView::DestroyCaret()
{
    UpdateCaretArea();
    FCaretExists = false;
    FCaretShown = false;
    FBlinkTimer.stop();
}

void TEditorView::ShowCaret()
{
    // Painting hides and shows the caret around its work; that must not restart the blinking, or
    // the repaint of a blink would switch the caret on again at once.
    if (FPainting || !FCaretExists || FCaretShown)
        return;
    FCaretShown = true;
    FCaretBlinkOn = true;
    if (FBlinkTimer.interval() > 0)
        FBlinkTimer.start();
    UpdateCaretArea();
}

void TEditorView::HideCaret()
{
    if (FPainting || !FCaretShown)
        return;
    FCaretShown = false;
    FBlinkTimer.stop();
    UpdateCaretArea();
}

void TEditorView::MoveCaret(int x, int y)
{
    if (FCaretRect.topLeft() == QPoint(x, y))
        return;
    UpdateCaretArea();
    FCaretRect.moveTo(x, y);
    FCaretBlinkOn = true;
    UpdateCaretArea();
}

void TEditorView::UpdateCaretArea()
{
    // While painting, the caret is drawn from its state at the end of the paint anyway.
    if (FPainting)
        return;
    if (!FCaretPainted.isNull())
        viewport()->update(FCaretPainted);
    if (FCaretExists && !FCaretRect.isEmpty())
        viewport()->update(FCaretRect);
}

void TEditorView::StartTimer(int id, int intervalMs)
{
    StopTimer(id);
    FTimers[id] = startTimer(intervalMs);
}

void TEditorView::StopTimer(int id)
{
    const auto it = FTimers.find(id);
    if (it == FTimers.end())
        return;
    killTimer(it->second);
    FTimers.erase(it);
}

void TEditorView::PostCommand(int command)
{
    QMetaObject::invokeMethod(
        this, [this, command] { Guarded([&] { FEditor->PostedCommand(command); }); }, Qt::QueuedConnection);
}

void TEditorView::Beep()
{
    QApplication::beep();
}

bool TEditorView::ReadClipboard(QString& text, int& blockFormat)
{
    text.clear();
    blockFormat = -1;
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText())
        return false;
    text = data->text();
    if (data->hasFormat(BlockFormatMimeType())) {
        const QByteArray bytes = data->data(BlockFormatMimeType());
        if (!bytes.isEmpty())
            blockFormat = static_cast<unsigned char>(bytes.front());
    }
    return true;
}

void TEditorView::WriteClipboard(const QByteArray& utf8, int blockFormat)
{
    auto data = std::make_unique<QMimeData>();
    // Kept as the bytes they are: Qt hands text/plain data to other programs as it stands (as
    // UTF8_STRING on X too) and decodes it only when this program reads it back.
    data->setData(QStringLiteral("text/plain"), utf8);
    if (blockFormat >= 0)
        data->setData(BlockFormatMimeType(), QByteArray(1, static_cast<char>(blockFormat)));
    QApplication::clipboard()->setMimeData(data.release());  // the clipboard takes ownership
}

namespace {

// The primary selection as the clipboard holds it: it names its one format without building
// anything, and asks the editor's provider for the bytes only when someone reads them. The
// provider holds no pointer that can dangle (see TEditorPlatform), so the clipboard may keep this
// past the view and its editor.
class TPrimarySelectionData : public QMimeData {
public:
    explicit TPrimarySelectionData(TEditorPlatform::TPrimaryProvider provider)
        : FProvider(std::move(provider))
    {
    }

    QStringList formats() const override { return {PlainText()}; }
    bool hasFormat(const QString& mimeType) const override { return mimeType == PlainText(); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType /*type*/) const override
    {
        if (mimeType != PlainText() || !FProvider)
            return {};
        // UTF-8 bytes, as a copy puts them on the clipboard; Qt decodes them when this program reads
        // them and hands them on as they are to other programs.
        std::optional<QByteArray> bytes = FProvider();
        return bytes ? QVariant(std::move(*bytes)) : QVariant();
    }

private:
    static QString PlainText() { return QStringLiteral("text/plain"); }

    TEditorPlatform::TPrimaryProvider FProvider;
};

} // namespace

std::unique_ptr<QMimeData> TEditorView::PrimarySelectionData(TPrimaryProvider provider)
{
    return std::make_unique<TPrimarySelectionData>(std::move(provider));
}

void TEditorView::WritePrimarySelection(TPrimaryProvider provider)
{
    QClipboard* clipboard = QApplication::clipboard();
    if (clipboard->supportsSelection())  // the clipboard takes ownership
        clipboard->setMimeData(PrimarySelectionData(std::move(provider)).release(), QClipboard::Selection);
}

bool TEditorView::ReadPrimarySelection(QString& text)
{
    QClipboard* clipboard = QApplication::clipboard();
    text = clipboard->supportsSelection() ? clipboard->text(QClipboard::Selection) : QString();
    return !text.isEmpty();
}

bool TEditorView::HasFocus() const
{
    return hasFocus();
}

void TEditorView::SetFocus()
{
    setFocus(Qt::OtherFocusReason);
}

void TEditorView::SetMouseCapture(bool capture)
{
    if (capture)
        viewport()->grabMouse();
    else if (QWidget::mouseGrabber() == viewport())
        viewport()->releaseMouse();
}

bool TEditorView::HasMouseCapture() const
{
    return QWidget::mouseGrabber() == viewport();
}

void TEditorView::SetPointer(TEditorPointer pointer)
{
    viewport()->setCursor(pointer == TEditorPointer::Arrow ? Qt::ArrowCursor : Qt::IBeamCursor);
}

void TEditorView::ShowCompletionList(const QStringList& items, int current, const QRect& cell, int rows,
    int width, int itemHeight)
{
    if (FCompletionList == nullptr) {
        FCompletionList = new QListWidget(viewport());  // the viewport owns it
        // The list never takes the focus: the editor keeps it, and losing it would close the list.
        FCompletionList->setFocusPolicy(Qt::NoFocus);
        // Entries of one height are laid out without measuring each: a list of thousands of names
        // is filled again on every character typed.
        FCompletionList->setUniformItemSizes(true);
        // A double click on an entry applies it, as Enter does.
        connect(FCompletionList, &QListWidget::itemDoubleClicked, this,
            [this] { Guarded([&] { FEditor->KeyDown(vkReturn, 0); }); });
    }
    // Names in the list line up with the text: the editor's font, upright.
    TEditorFont font = FEditor->Font();
    font.Style = 0;
    if (FCompletionList->font() != FontFor(font))
        FCompletionList->setFont(FontFor(font));
    FCompletionList->clear();
    FCompletionList->addItems(items);
    FCompletionList->setCurrentRow(current);
    const int height = rows * itemHeight + 2;
    int top = cell.bottom() + 1;
    if (top + height > viewport()->height() && cell.top() - height >= 0)
        top = cell.top() - height;
    FCompletionList->setGeometry(cell.left(), top, width > 0 ? width : viewport()->width(), height);
    FCompletionList->show();
}

void TEditorView::HideCompletionList()
{
    if (FCompletionList != nullptr)
        FCompletionList->hide();
}

bool TEditorView::CompletionListVisible() const
{
    return FCompletionList != nullptr && FCompletionList->isVisible();
}

int TEditorView::CompletionIndex() const
{
    return FCompletionList != nullptr ? FCompletionList->currentRow() : -1;
}

void TEditorView::SetCompletionIndex(int index)
{
    if (FCompletionList != nullptr)
        FCompletionList->setCurrentRow(index);
}

bool TEditorView::event(QEvent* event)
{
    // The second key of a chord is the editor's even where a window shortcut has it too: Ctrl+Q
    // Ctrl+S goes to the line's start rather than to the window's Ctrl+S.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* editor = dynamic_cast<const TCustomEditor*>(FEditor.get());
        const TTranslatedKey key = TranslateKeyEvent(*static_cast<QKeyEvent*>(event));
        if (editor != nullptr && !key.Ignored && editor->CompletesChord(key.Key, key.Shift)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TEditorView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    emit ContextMenuRequested(event->globalPos());
}

void TEditorView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    QScopedValueRollback<bool> painting(FPainting, true);
    FPending -= event->region();
    if (FEditor->UpdateCount() > 0) {
        // The text waits for the batch to end; meanwhile the area shows the plain background.
        painter.fillRect(event->rect(), ResolveColor(FEditor->Color(), palette()));
    } else {
        TPainterCanvas canvas(painter, *this);
        Guarded([&] { FEditor->Paint(canvas, event->rect()); });
    }
    FCaretPainted = QRect();
    if (FCaretExists && FCaretShown && FCaretBlinkOn && !FCaretRect.isEmpty()) {
        painter.setCompositionMode(QPainter::CompositionMode_Difference);
        painter.fillRect(FCaretRect, Qt::white);
        FCaretPainted = FCaretRect;
    }
}

void TEditorView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    Guarded([&] { FEditor->Resized(); });
}

void TEditorView::scrollContentsBy(int dx, int dy)
{
    if (FCoreScrolling)
        return;
    Guarded([&] {
        if (dy != 0)
            FEditor->ScrollBarMoved(true, verticalScrollBar()->value());
        if (dx != 0)
            FEditor->ScrollBarMoved(false, horizontalScrollBar()->value());
    });
}

void TEditorView::keyPressEvent(QKeyEvent* event)
{
    // Every key is the editor's, so none travels on to the widgets around it.
    event->accept();
    const TTranslatedKey key = TranslateKeyEvent(*event);
    if (key.Ignored)
        return;
    Guarded([&] { FEditor->KeyDown(key.Key, key.Shift); });
    for (const char32_t character : key.Text.toUcs4())
        Guarded([&] { FEditor->KeyPress(character); });
}

void TEditorView::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const TShiftState shift = ShiftOf(event->modifiers());
    Guarded([&] { FEditor->MouseDown(ButtonOf(event->button()), shift, at.x(), at.y()); });
}

void TEditorView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    Guarded([&] { FEditor->MouseMove(ShiftOf(event->modifiers()), at.x(), at.y()); });
}

void TEditorView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const TShiftState shift = ShiftOf(event->modifiers());
    Guarded([&] { FEditor->MouseUp(ButtonOf(event->button()), shift, at.x(), at.y()); });
}

void TEditorView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt sends the second press of a double click only as this event. The editor is told of the
    // double click and then of the press, as it expects; it ignores the press that follows a double
    // click. Another button's double click is a plain press.
    const QPoint at = event->position().toPoint();
    const TShiftState shift = ShiftOf(event->modifiers());
    const TMouseButton button = ButtonOf(event->button());
    Guarded([&] {
        if (button == TMouseButton::Left)
            FEditor->DoubleClick(shift, at.x(), at.y());
        FEditor->MouseDown(button, shift, at.x(), at.y());
    });
}

void TEditorView::wheelEvent(QWheelEvent* event)
{
    // A notch of a standard wheel is 120 units; touchpads and fine wheels send a little at a time,
    // and pixels where they scroll smoothly. The view adds them up and tells the core whole steps
    // only: a line (a third of a notch) to scroll, or a notch to move the caret (Shift) or to page
    // (Ctrl), so that a swipe scrolls as far as its deltas add up to and a notch pages once.
    event->accept();
    constexpr int notch = 120;
    constexpr int lineUnits = notch / 3;
    int delta = event->angleDelta().y();
    if (const int pixels = event->pixelDelta().y(); pixels != 0)
        delta = pixels * lineUnits / std::max(1, FEditor->LineHeight());
    if (delta == 0)
        return;

    const TShiftState shift = ShiftOf(event->modifiers());
    // A change of modifiers or of direction starts afresh.
    if (shift != FWheelShift || (FWheelRest < 0) != (delta < 0))
        FWheelRest = 0;
    FWheelShift = shift;
    FWheelRest += delta;
    const bool byNotch = (shift & (ssShift | ssCtrl)) != 0;
    const int step = byNotch ? notch : lineUnits;
    const int steps = FWheelRest / step;
    if (steps == 0)
        return;
    FWheelRest -= steps * step;
    Guarded([&] {
        if (!byNotch) {
            FEditor->MouseWheel(shift, steps * step);
            return;
        }
        // The core moves the caret or pages once per call.
        for (int i = 0; i < std::abs(steps); ++i)
            FEditor->MouseWheel(shift, steps > 0 ? notch : -notch);
    });
}

void TEditorView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    Guarded([&] { FEditor->FocusIn(); });
}

void TEditorView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    Guarded([&] { FEditor->FocusOut(); });
}

void TEditorView::timerEvent(QTimerEvent* event)
{
    for (const auto& [id, qtId] : FTimers) {
        if (qtId == event->timerId()) {
            const int coreId = id;
            Guarded([&] { FEditor->TimerFired(coreId); });
            return;
        }
    }
    QAbstractScrollArea::timerEvent(event);
}

bool TEditorView::focusNextPrevChild(bool /*next*/)
{
    return false;
}
