// The highlighting editor: SQL colouring of a line, the per-line states and their rescans, and the
// console colour scheme.
#include "HLEditor.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// The first of the three bytes that matter to a line in state 0 (a double quote, "#", "/") at or
// after from. Sixteen bytes are tested at a time where the processor can, so that walking the states
// of a million lines costs little more than reading them.
std::size_t FindStateByte(std::string_view line, std::size_t from)
{
    const char* data = line.data();
    const std::size_t size = line.size();
    std::size_t p = from;
#ifdef __SSE2__
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i hash = _mm_set1_epi8('#');
    const __m128i slash = _mm_set1_epi8('/');
    for (; p + 16 <= size; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, quote), _mm_cmpeq_epi8(chunk, hash)),
            _mm_cmpeq_epi8(chunk, slash));
        if (const int mask = _mm_movemask_epi8(hits); mask != 0)
            return p + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; p < size; ++p) {
        const char c = data[p];
        if (c == '"' || c == '#' || c == '/')
            return p;
    }
    return std::string_view::npos;
}

// The SQL walk of one line, over its UTF-8 bytes: which state the next line starts in. It knows block
// comments, the double-quoted runs that hide them and the "#...\" continuation, but neither "--"
// comments nor single-quoted strings, so a "/*" inside those still opens a comment for the lines
// below. Every character it looks at is ASCII, and no byte of a longer sequence is, so the walk over
// bytes gives what a walk over characters gives.
TLongTokenType SqlStateAfterLine(std::string_view line, TLongTokenType state)
{
    constexpr std::size_t npos = std::string_view::npos;
    const std::size_t length = line.size();
    if (length == 0)
        return state == 4 || state == ltContinuation || state == 7 ? ltNone : state;

    // Whether the line's last non-blank character is a backslash, and its first a "#": asked only
    // when a "#" or a continuation calls for it, so that most lines are read once, quickly.
    const auto endsInBackslash = [&] {
        const std::size_t last = line.find_last_not_of(' ');
        return last != npos && line[last] == '\\';
    };
    const auto hashLine = [&] {
        const std::size_t first = line.find_first_not_of(' ');
        return first != npos && line[first] == '#';
    };

    std::size_t p = 0;
    while (p < length) {
        switch (state) {
        case ltNone: {
            p = FindStateByte(line, p);
            if (p == npos)
                return state;
            const char c = line[p];
            if (c == '"') {
                const std::size_t q = line.find('"', p + 1);
                if (q == npos)
                    return state;
                p = q + 1 < length && line[q + 1] == '"' ? p + 1 : q + 1;
            } else if (c == '#') {
                if (hashLine() && endsInBackslash())
                    return ltContinuation;
                ++p;
            } else if (p + 1 < length && line[p + 1] == '*') {
                state = ltBlockComment;
                // The closing "/" must come after "/*" and one more character, so "/*/" stays open.
                const std::size_t q = line.find('/', p + 3);
                if (q == npos)
                    return state;
                if (line[q - 1] == '*')
                    state = ltNone;
                p = q + 1;
            } else {
                ++p;
            }
            break;
        }
        case ltBlockComment: {
            const std::size_t q = line.find('/', p + 1);
            if (q == npos)
                return state;
            if (line[q - 1] == '*')
                state = ltNone;
            p = q + 1;
            break;
        }
        case ltContinuation:
            // The line that ends the continuation is read as SQL from its second character on.
            state = endsInBackslash() ? ltContinuation : ltNone;
            ++p;
            break;
        default:
            return state;
        }
    }
    return state;
}

} // namespace

TEditorHighlighter::~TEditorHighlighter()
{
    // Each editor dropping this highlighter removes itself from the list.
    while (!FEditors.empty())
        FEditors.back()->SetSyntaxHighlighter(nullptr);
}

THLEditor::THLEditor()
{
    FParser.SetKeepComments(true);
}

THLEditor::~THLEditor()
{
    if (FSyntaxHighlighter != nullptr)
        std::erase(FSyntaxHighlighter->FEditors, this);
}

void THLEditor::SetHighlighter(THighlighter value)
{
    if (value == FHighlighter)
        return;
    FHighlighter = value;
    SelectScannerStyle();
    RescanLineStates(0);
    InvalidateAll();
}

void THLEditor::SetSyntaxHighlighting(bool value)
{
    const bool resumed = value && !FSyntaxHighlighting;
    FSyntaxHighlighting = value;
    // Changes made while highlighting was off were not rescanned.
    if (resumed)
        RescanLineStates(-1);
    InvalidateAll();
}

void THLEditor::SetLongTokens(bool value)
{
    const bool resumed = value && !FLongTokens;
    FLongTokens = value;
    if (resumed)
        RescanLineStates(-1);
}

void THLEditor::SetSyntaxHighlighter(TEditorHighlighter* value)
{
    if (value == FSyntaxHighlighter)
        return;
    if (FSyntaxHighlighter != nullptr)
        std::erase(FSyntaxHighlighter->FEditors, this);
    FSyntaxHighlighter = value;
    if (value != nullptr) {
        value->FEditors.push_back(this);
        FHighlighter = hlSyntaxHighlighter;
    } else if (FHighlighter == hlSyntaxHighlighter) {
        FHighlighter = hlNone;
    }
    SelectScannerStyle();
    RescanLineStates(0);
    InvalidateAll();
}

void THLEditor::SelectScannerStyle()
{
    FParser.SetScannerStyle(FHighlighter == hlSql ? TIParser::SqlScannerStyle : TIParser::DefaultScannerStyle);
}

bool THLEditor::AskReservedWord(const QString& token, bool& reserved)
{
    reserved = false;
    if (!OnReservedWord)
        return false;
    OnReservedWord(*this, token, reserved);
    return true;
}

bool THLEditor::HasReservedWordHandler() const
{
    return static_cast<bool>(OnReservedWord);
}

bool THLEditor::KeepsLineStates() const
{
    return FSyntaxHighlighting && FLongTokens && FHighlighter != hlNone && FHighlighter != hlIni;
}

TLongTokenType THLEditor::StateAfterLine(int line, TLongTokenType state)
{
    // The SQL walk reads the stored bytes in place: no line is copied out of the store for it.
    if (FHighlighter == hlSql)
        return SqlStateAfterLine(LineBytes(line), state);
    if (FHighlighter == hlSyntaxHighlighter && FSyntaxHighlighter != nullptr) {
        QString text;
        GetLineText(line, text);
        return FSyntaxHighlighter->NextLineState(text, state);
    }
    return state;
}

bool THLEditor::RescanLineStates(int from)
{
    if (!KeepsLineStates())
        return false;
    const int count = LineCount();
    if (count == 0) {
        // The whole text went (ClearLines): the entries describe lines that no longer exist, and
        // lines added later without a rescan must not inherit them.
        if (from < 0 && !FLineStates.empty()) {
            std::fill(FLineStates.begin() + 1, FLineStates.end(), ltUndetermined);
            FLineStates.front() = ltNone;
        }
        return false;
    }
    if (static_cast<std::size_t>(count) >= FLineStates.size())
        FLineStates.resize(static_cast<std::size_t>(count / LineStatesGrowth + 1) * LineStatesGrowth);
    const int last = count - 1;
    if (from > last)
        return false;

    int begin = 0;
    int end = last;
    if (from < 0) {
        std::fill(FLineStates.begin() + 1, FLineStates.begin() + last + 1, ltUndetermined);
        FLineStates.front() = ltNone;
    } else if (FLineStates[from] != ltUndetermined) {
        begin = from;
        end = std::min(from + RescanLineLimit, last);
    } else {
        // A rescan that stopped at its limit left the lines below it undetermined: the walk resumes
        // from the last line above whose state is known (line 0 always is), not from the top.
        begin = from - 1;
        while (begin > 0 && FLineStates[begin] == ltUndetermined)
            --begin;
        end = std::min(from - 1 + RescanLineLimit, last);
    }

    bool changed = false;
    TLongTokenType state = FLineStates[begin];
    const bool sql = FHighlighter == hlSql;
    for (int i = begin; i < end; ++i) {
        state = sql ? SqlStateAfterLine(LineBytes(i), state) : StateAfterLine(i, state);
        if (FLineStates[i + 1] != state) {
            FLineStates[i + 1] = state;
            changed = true;
        }
    }
    if (end < last)
        std::fill(FLineStates.begin() + end + 1, FLineStates.begin() + last + 1, ltUndetermined);
    return changed;
}

TLongTokenType THLEditor::LineStateOf(int line)
{
    if (!FLongTokens || line < 0)
        return ltNone;
    if (static_cast<std::size_t>(line) >= FLineStates.size())
        RescanLineStates(-1);
    else if (FLineStates[line] == ltUndetermined)
        RescanLineStates(line);
    if (static_cast<std::size_t>(line) >= FLineStates.size())
        return ltNone;
    // A highlighter that keeps no states leaves undetermined entries as they are; they carry nothing.
    const TLongTokenType state = FLineStates[line];
    return state == ltUndetermined ? ltNone : state;
}

int THLEditor::LongTokenEnd() const
{
    if (FHighlighter == hlSql && FCurrentLineState == ltBlockComment) {
        const qsizetype close = FCurrentLine.indexOf(u"*/");
        if (close >= 0)
            return static_cast<int>(close + 2);
    }
    return static_cast<int>(FCurrentLine.size());
}

void THLEditor::Assign(const THLEditor& source)
{
    FHighlighter = source.FHighlighter;
    SelectScannerStyle();
    FColors = source.FColors;
    SetSelForeColor(source.SelForeColor());
    SetSelBackColor(source.SelBackColor());
    SetColor(source.Color());
    FSyntaxHighlighting = source.FSyntaxHighlighting;
    SetRightMarginColor(source.RightMarginColor());
    // The states were computed under the old language.
    RescanLineStates(-1);
    InvalidateAll();
}

void THLEditor::FillCells(TLineAttrs& attrs, int first, int last, const TSymbolColor& color) const
{
    attrs.Fill(std::max(first, 1), last, TLineAttrCell{color.ForeColor, color.BackColor, color.Style, clNone});
}

// Cells of the line take the class; the cells past its end take the pane's own colours.
void THLEditor::FillLine(TLineAttrs& attrs, int length, const TSymbolColor& color) const
{
    FillCells(attrs, 1, length, color);
    const TSymbolColor pane{Font().Style, Font().Color, Color()};
    FillCells(attrs, length + 1, attrs.LastCell(), pane);
}

const TSymbolColor& THLEditor::TokenClass(const QString& token)
{
    bool reserved = false;
    if (AskReservedWord(token, reserved)) {
        if (reserved)
            return FColors.Reserved;
    } else if (IsSqlKeyword(token)) {
        return FColors.Reserved;
    }
    if (IsSqlComment(token))
        return FColors.Comment;
    if (IsStringToken(token))
        return FColors.Strings;
    if (IsSymbolToken(token))
        return FColors.Symbol;
    if (IsIntegerLiteral(token) || IsDecimalLiteral(token))
        return FColors.Number;
    return FColors.Identifier;
}

void THLEditor::ColorTokens(TLineAttrs& attrs, qsizetype from)
{
    // A faulty reserved-word handler must not break painting: the line keeps the colours set so far.
    // FCurrentLine may be cut short (see FillLineAttrs): the token that reaches its end colours
    // every column of the line after it, so that a long line never changes colour at the cut.
    const int length = static_cast<int>(FCurrentLine.size());
    try {
        FParser.Start(FCurrentLine, from);
        for (QString token = FParser.NextToken(); !token.isEmpty(); token = FParser.NextToken()) {
            const int first = FParser.TokenFirstColumn(0);
            if (first > attrs.LastCell())
                break;
            int last = FParser.TokenLastColumn(0);
            if (last >= length)
                last = FCurrentLineLength;
            FillCells(attrs, first, last, TokenClass(token));
        }
    } catch (...) {
    }
}

void THLEditor::FillLineAttrs(int line, int /*firstColumn*/, int lastColumn)
{
    if (!FSyntaxHighlighting)
        return;
    TLineAttrs& attrs = LineAttrs();
    if (FHighlighter == hlNone && !HasReservedWordHandler()) {
        FillLine(attrs, LineLength(line), FColors.PlainText);
        return;
    }
    FCurrentLineLength = LineLength(line);
    FCurrentLineIndex = line;
    FCurrentLineState = LineStateOf(line);
    if (FHighlighter == hlSyntaxHighlighter && FSyntaxHighlighter != nullptr) {
        // A highlighter of its own is handed the whole line.
        GetLineText(line, FCurrentLine);
        FSyntaxHighlighter->ColorLine(*this, FCurrentLine, line, FCurrentLineState, attrs);
        return;
    }
    // Tokens are read only as far as the painted columns need (and a little further, so that a
    // word at the right edge is read whole), and never past ColorBound: a line of a million
    // characters costs no more to colour than a short one.
    GetLineSlice(line, 0, std::min(lastColumn + 1 + TokenLookAhead, ColorBound), FCurrentLine);
    const int length = FCurrentLineLength;
    if (FHighlighter != hlSql && FHighlighter != hlNone) {
        FillLine(attrs, length, FColors.PlainText);
        return;
    }
    if (FCurrentLineState == ltNone) {
        FillLine(attrs, length, FColors.PlainText);
        ColorTokens(attrs, 0);
        return;
    }
    FillLine(attrs, length, FColors.Comment);
    // A line that does not close the carried comment is comment from end to end.
    if (FCurrentLineState == ltBlockComment && FCurrentLine.contains(u"*/"))
        ColorTokens(attrs, LongTokenEnd());
}

void THLEditor::ScanAppendedLines(int first, int count, bool firstGrew)
{
    const int last = first + count - 1;
    if (static_cast<std::size_t>(last + 1) >= FLineStates.size())
        FLineStates.resize(static_cast<std::size_t>((last + 1) / LineStatesGrowth + 1) * LineStatesGrowth);
    // Each new line is walked once, from the state the line before it ends in.
    // Appending right after an append (a statement's slices, one statement after another) starts
    // from the state that append ended in, without reading its last line again.
    TLongTokenType state = ltNone;
    if (firstGrew) {
        state = LineStateOf(first);
    } else if (first > 0) {
        if (FAppendEnd.Line == first && FAppendEnd.Length == LineLength(first - 1))
            state = FAppendEnd.State;
        else
            state = StateAfterLine(first - 1, LineStateOf(first - 1));
    }
    for (int i = first; i <= last; ++i) {
        FLineStates[i] = state;
        // A part of a line is walked once it is complete, not at each part.
        if (i == LineGoingOn()) {
            FLineStates[last + 1] = ltUndetermined;
            FAppendEnd = {};
            return;
        }
        state = StateAfterLine(i, state);
    }
    FLineStates[last + 1] = state;
    FAppendEnd = {last + 1, LineLength(last), state};
}

bool THLEditor::CarriesOtherState(int first, int last)
{
    // A character that is no trigger can still change what its lines carry on: a letter typed
    // between "/" and "*", a quote that hides a "/*", a character after a line's final backslash.
    // Walking the changed lines alone tells, without a rescan when nothing changed.
    const int count = LineCount();
    if (first < 0 || last + 1 >= count || static_cast<std::size_t>(last + 1) >= FLineStates.size())
        return false;
    TLongTokenType state = FLineStates[static_cast<std::size_t>(first)];
    const TLongTokenType next = FLineStates[static_cast<std::size_t>(last) + 1];
    if (state == ltUndetermined || next == ltUndetermined)
        return false;
    for (int line = first; line <= last; ++line)
        state = StateAfterLine(line, state);
    return state != next;
}

void THLEditor::MoveLineStates(int first, int delta)
{
    // The entry of line `first` holds the state at its start, which no change from there on alters.
    const auto at = static_cast<std::size_t>(first) + 1;
    if (delta == 0 || at >= FLineStates.size())
        return;
    const std::size_t size = FLineStates.size();
    if (delta > 0) {
        FLineStates.insert(FLineStates.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::size_t>(delta),
            ltUndetermined);
        // The array keeps its length while it still covers the text; the entries pushed out lay past it.
        if (size > static_cast<std::size_t>(LineCount()))
            FLineStates.resize(size);
    } else {
        const std::size_t removed = std::min(static_cast<std::size_t>(-delta), size - at);
        FLineStates.erase(FLineStates.begin() + static_cast<std::ptrdiff_t>(at),
            FLineStates.begin() + static_cast<std::ptrdiff_t>(at + removed));
        FLineStates.resize(size, ltUndetermined);
    }
}

bool THLEditor::IsTrigger(const QString& text) const
{
    if (FHighlighter != hlSql)
        return false;
    // A lone LF breaks a line as CR LF does, so it shifts the states below just the same.
    return std::ranges::any_of(text, [](QChar c) {
        return c == u'\r' || c == u'\n' || c == u'*' || c == u'/' || c == u'\\' || c == u' ';
    });
}

void THLEditor::NotifyTextChanged(const TTextChange& change)
{
    if (change.Kind != TTextChangeKind::Appended)
        FAppendEnd = {};
    TEditor::NotifyTextChanged(change);
    if (!FLongTokens || !KeepsLineStates())
        return;
    if (change.Kind == TTextChangeKind::Appended) {
        // A last line that grew (a huge line coming in parts) is walked once it is complete and
        // lines follow it, here or at the next append.
        if (change.LineDelta > 0) {
            const bool grew = change.Line < LineCount() - change.LineDelta;
            ScanAppendedLines(change.Line, change.LastLine - change.Line + 1, grew);
        }
        return;
    }
    if (change.Kind == TTextChangeKind::WholeText) {
        if (RescanLineStates(-1))
            InvalidateAll();
        return;
    }
    // The states below the change go with their lines; then the change is rescanned from its first
    // line. A change that adds or removes lines is always rescanned: the lines that joined or split
    // carry new states into the ones below.
    MoveLineStates(change.Line, change.LineDelta);
    bool rescan = change.LineDelta != 0;
    if (FHighlighter == hlSyntaxHighlighter && FSyntaxHighlighter != nullptr)
        rescan = FSyntaxHighlighter->NeedsRescan(change) || rescan;
    else
        rescan = rescan || change.Kind == TTextChangeKind::Replacement || IsTrigger(change.Text);
    if (!rescan)
        rescan = CarriesOtherState(change.Line, change.LastLine);
    if (!rescan)
        return;
    // Lines added after the old last line have no state of their own yet: the walk starts on the line
    // before them.
    const int linesBefore = LineCount() - change.LineDelta;
    const int from = change.Line >= linesBefore && change.Line > 0 ? change.Line - 1 : change.Line;
    if (RescanLineStates(from))
        InvalidateAll();
}

void ApplyConsoleColorScheme(THLEditor& editor)
{
    TColors colors;
    colors.Comment = {fsItalic, clSilver, clNavy};
    colors.Number = {0, clAqua, clNavy};
    colors.Strings = {0, clRed, clNavy};
    colors.Symbol = {0, clYellow, clNavy};
    colors.Reserved = {fsBold, clWhite, clNavy};
    colors.Identifier = {0, clYellow, clNavy};
    colors.Preproc = {0, clTeal, clNavy};
    colors.FunctionCall = {0, clWhite, clNavy};
    colors.Declaration = {0, clYellow, clNavy};
    colors.Statement = {fsBold, clWhite, clNavy};
    colors.PlainText = {0, clYellow, clNavy};
    editor.SetColors(colors);
    editor.SetColor(clNavy);
    TEditorFont font = editor.Font();
    font.Color = clWindowText;
    editor.SetFont(font);
    editor.SetSelForeColor(clHighlightText);
    editor.SetSelBackColor(clHighlight);
    editor.SetRightMarginColor(clSilver);
}

QString THLEditor::ExpandTabsOutsideLiterals(const QString& text, int column, int line) const
{
    // The quoting that the insertion point stands in: the lines above are read whole, its own line
    // up to the point. Colouring's states know block comments only, so the server's reading is
    // walked here; it costs one pass over the text above, once per insertion that holds a TAB.
    TServerScanner scanner;
    TServerScanState state = TServerScanState::Text;
    bool conditional = false;
    QString current;
    const int above = std::clamp(line, 0, LineCount());
    for (int i = 0; i < above; ++i) {
        GetLineText(i, current);
        scanner.Start(current, state, conditional);
        while (scanner.Next().Kind != TServerTokenKind::End) {
        }
        state = scanner.State();
        conditional = scanner.InConditional();
    }
    GetLineText(line, current);
    current.truncate(std::clamp(column, 0, static_cast<int>(current.size())));

    const QString blanks(GetTabStop(0, true), u' ');
    QString expanded;
    expanded.reserve(text.size());
    const qsizetype length = text.size();
    qsizetype from = 0;
    while (from < length) {
        // One line of the inserted text with its break: CR LF, LF or a lone CR, as the store splits.
        qsizetype end = from;
        while (end < length && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        if (end < length)
            end += (text[end] == u'\r' && end + 1 < length && text[end + 1] == u'\n') ? 2 : 1;
        // The first line is read after what precedes the insertion point on its line.
        const qsizetype offset = current.size();
        current += QStringView(text).mid(from, end - from);
        scanner.Start(current, state, conditional);
        for (TServerToken token = scanner.Next(); token.Kind != TServerTokenKind::End; token = scanner.Next()) {
            const bool literal = token.Kind == TServerTokenKind::String || token.Kind == TServerTokenKind::QuotedName;
            for (qsizetype i = std::max(token.First, offset); i < token.End; ++i) {
                if (current[i] == u'\t' && !literal)
                    expanded += blanks;
                else
                    expanded += current[i];
            }
        }
        state = scanner.State();
        conditional = scanner.InConditional();
        current.clear();
        from = end;
    }
    return expanded;
}
