#include "ScriptSplitter.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "Transcript.h"

namespace {

using Transcript::IsControl;

QStringView Trimmed(QStringView text)
{
    return Transcript::TrimControls(text);
}

bool IsQuoted(TServerScanState state)
{
    return state == TServerScanState::SingleQuoted || state == TServerScanState::DoubleQuoted
        || state == TServerScanState::BackQuoted;
}

// A character that a word of the server's reading may hold: a delimiter that begins with one can
// start inside a word ("END$$").
bool IsWordCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_'
        || u == u'$' || u >= 0x80;
}

// An argument as the command-line client reads it: without a delimiter at its end, and without the
// quotes around it.
QString Argument(QStringView text, const QString& delimiter)
{
    text = Trimmed(text);
    if (!delimiter.isEmpty() && text.endsWith(delimiter))
        text = Trimmed(text.chopped(delimiter.size()));
    if (text.size() >= 2 && (text.front() == u'\'' || text.front() == u'"' || text.front() == u'`')
        && text.back() == text.front())
        text = text.sliced(1, text.size() - 2);
    return text.toString();
}

} // namespace

TScriptSplitter::TScriptSplitter(QString delimiter)
    : FDelimiter(std::move(delimiter))
{
}

bool TScriptSplitter::Next(TScriptStatement& statement)
{
    if (FReady.empty())
        return false;
    statement = std::move(FReady.front());
    FReady.pop_front();
    return true;
}

void TScriptSplitter::ResetStatement()
{
    FSql.clear();
    FHasSql = false;
    FHasLines = false;
    FFirstLine = 0;
    FHead = THead::Start;
    FDepth = 0;
    FPendingEnd = false;
    FLastKind = TServerTokenKind::End;
    FLastSymbol = QChar();
}

void TScriptSplitter::EmitCommand(TScriptCommand command, const QString& argument, QStringView echo, int column)
{
    TScriptStatement statement;
    statement.Command = command;
    statement.Argument = argument;
    statement.Written = Trimmed(echo).toString();
    statement.Line = FLineIndex;
    statement.EndLine = FLineIndex - 1;
    statement.EndColumn = column;
    FReady.push_back(std::move(statement));
}

// A client command written on a line of its own at the start of a statement.
bool TScriptSplitter::LineCommand(QStringView line)
{
    const QStringView text = Trimmed(line);
    qsizetype wordEnd = 0;
    while (wordEnd < text.size() && IsWordCharacter(text[wordEnd]) && text[wordEnd] != u'$')
        ++wordEnd;
    if (wordEnd == 0 || (wordEnd < text.size() && !IsControl(text[wordEnd]) && !text.sliced(wordEnd).startsWith(FDelimiter)))
        return false;
    const QStringView word = text.first(wordEnd);
    const QStringView rest = text.sliced(wordEnd);
    const int column = static_cast<int>(line.size());
    const QString argument = Argument(rest, FDelimiter);
    if (SameWord(word, "DELIMITER")) {
        // The new delimiter is the first word after the command, as written (quotes taken off).
        QStringView value = Trimmed(rest);
        qsizetype end = 0;
        while (end < value.size() && !IsControl(value[end]))
            ++end;
        QString delimiter = Argument(value.first(end), QString());
        if (delimiter.isEmpty())
            EmitCommand(TScriptCommand::Invalid, QStringLiteral("DELIMITER: разделитель не может быть пустым."), line, column);
        else if (delimiter.contains(u'\\'))
            EmitCommand(TScriptCommand::Invalid, QStringLiteral("DELIMITER: в разделителе не может быть обратной косой черты."), line, column);
        else {
            FDelimiter = delimiter;
            EmitCommand(TScriptCommand::Delimiter, delimiter, line, column);
        }
        return true;
    }
    if (SameWord(word, "SOURCE")) {
        if (argument.isEmpty())
            return false;
        EmitCommand(TScriptCommand::Source, argument, line, column);
        return true;
    }
    if (SameWord(word, "USE")) {
        if (argument.isEmpty() || argument.contains(FDelimiter)
            || std::ranges::any_of(argument, [](QChar c) { return IsControl(c); }))
            return false;
        // The server's own USE: the line is a statement, with or without a delimiter.
        TScriptStatement statement;
        statement.Sql = Trimmed(line).toString();
        if (statement.Sql.endsWith(FDelimiter))
            statement.Sql = Trimmed(QStringView(statement.Sql).chopped(FDelimiter.size())).toString();
        statement.Written = Trimmed(line).toString();
        statement.Line = FLineIndex;
        statement.EndLine = FLineIndex - 1;
        statement.EndColumn = column;
        FReady.push_back(std::move(statement));
        return true;
    }
    if (!argument.isEmpty())
        return false;
    if (SameWord(word, "STATUS"))
        EmitCommand(TScriptCommand::Status, QString(), line, column);
    else if (SameWord(word, "WARNINGS"))
        EmitCommand(TScriptCommand::Warnings, QString(), line, column);
    else if (SameWord(word, "NOWARNING"))
        EmitCommand(TScriptCommand::NoWarnings, QString(), line, column);
    else if (SameWord(word, "HELP"))
        EmitCommand(TScriptCommand::Help, QString(), line, column);
    else
        return false;
    return true;
}

void TScriptSplitter::AddLine(QStringView line)
{
    const int lineIndex = FLineIndex++;
    FLastLineLength = static_cast<int>(line.size());
    if (FState == TServerScanState::Text && !FInConditional && !FHasSql && LineCommand(line)) {
        ResetStatement();
        return;
    }
    // "ego" and "go" on a line of their own end the statement that is being read.
    if (FState == TServerScanState::Text && !FInConditional && FHasSql && !BodyOpen()) {
        const QStringView text = Trimmed(line);
        if (SameWord(text, "EGO") || SameWord(text, "GO")) {
            EndStatement(QString(), static_cast<int>(line.size()), SameWord(text, "EGO"));
            return;
        }
    }

    FScanner.Start(line, FState, FInConditional);
    qsizetype pieceStart = 0;
    TServerScanState pieceState = FState;
    bool pieceInComment = FState == TServerScanState::BlockComment;
    const bool delimiterInWords = !FDelimiter.isEmpty() && IsWordCharacter(FDelimiter.front());
    const bool skipPlainText = !FDelimiter.isEmpty() && !delimiterInWords;
    while (true) {
        const qsizetype at = FScanner.Position();
        if (FScanner.State() == TServerScanState::Text && at < line.size()) {
            if (line[at] == FDelimiter.front() && line.sliced(at).startsWith(FDelimiter)) {
                if (FPendingEnd)
                    ResolveEnd({});
                if (!(BodyOpen() && FDelimiter == u";")) {
                    const qsizetype end = at + FDelimiter.size();
                    AddPiece(line, pieceStart, at, pieceState, pieceInComment, TServerScanState::Text);
                    EndStatement(FDelimiter, static_cast<int>(end), false);
                    FScanner.Skip(end);
                    pieceStart = end;
                    pieceState = TServerScanState::Text;
                    pieceInComment = false;
                    continue;
                }
            }
            if (line[at] == u'\\' && at + 1 < line.size()) {
                const QChar command = line[at + 1];
                AddPiece(line, pieceStart, at, pieceState, pieceInComment, TServerScanState::Text);
                if (command == u'G' || command == u'g') {
                    EndStatement(line.sliced(at, 2).toString(), static_cast<int>(at + 2), command == u'G');
                    FScanner.Skip(at + 2);
                    pieceStart = at + 2;
                    pieceState = TServerScanState::Text;
                    pieceInComment = false;
                    continue;
                }
                BackslashCommand(line, at);
                pieceStart = line.size();
                break;
            }
        }
        // Inside a plain statement only quotes, comments, backslashes and the delimiter matter:
        // the words and numbers of a long INSERT are passed over without being read one by one.
        if (skipPlainText && FHead == THead::Plain && !FPendingEnd && FScanner.State() == TServerScanState::Text
            && !FScanner.InConditional()) {
            const qsizetype stop = NextStop(line, at);
            if (stop > at) {
                FScanner.Skip(stop);
                continue;
            }
        }
        TServerToken token = FScanner.Next();
        if (token.Kind == TServerTokenKind::End)
            break;
        if (token.Kind == TServerTokenKind::Blank || token.Kind == TServerTokenKind::Comment)
            continue;
        if (token.Kind == TServerTokenKind::Word && delimiterInWords) {
            const qsizetype inside = line.indexOf(FDelimiter, token.First + 1);
            if (inside >= 0 && inside < token.End) {
                token.End = inside;
                FScanner.Skip(inside);
            }
        }
        if (!FHasSql) {
            FHasSql = true;
            FFirstLine = lineIndex + 1;
        }
        if (token.Kind == TServerTokenKind::Word) {
            Word(line.sliced(token.First, token.End - token.First));
        } else {
            if (FPendingEnd)
                ResolveEnd({});
            if (FHead == THead::Start && token.Kind != TServerTokenKind::ConditionalStart
                && token.Kind != TServerTokenKind::ConditionalEnd)
                FHead = THead::Plain;
            if (FHead == THead::BeginHead || FHead == THead::BeginNotHead)
                FHead = THead::Plain;
            if (token.Kind == TServerTokenKind::Symbol)
                FLastSymbol = line[token.First];
        }
        FLastKind = token.Kind;
    }
    FState = FScanner.State();
    FInConditional = FScanner.InConditional();
    if (pieceStart < line.size() || pieceStart == 0)
        AddPiece(line, pieceStart, line.size(), pieceState, pieceInComment, FState);
}

qsizetype TScriptSplitter::NextStop(QStringView line, qsizetype at) const
{
    // The characters that may start a quote, a comment or a client command; "*" ends only a "/*!"
    // comment, which is never passed over.
    static constexpr auto kStops = [] {
        std::array<bool, 128> stops{};
        for (const char c : std::string_view("'\"`#-/\\"))
            stops[static_cast<unsigned char>(c)] = true;
        return stops;
    }();
    const char16_t delimiter = FDelimiter.front().unicode();
    const char16_t* text = line.utf16();
    const qsizetype size = line.size();
    while (at < size) {
        const char16_t c = text[at];
        if ((c < 128 && kStops[c]) || c == delimiter)
            break;
        ++at;
    }
    return at;
}

qsizetype TScriptSplitter::BackslashCommand(QStringView line, qsizetype at)
{
    const QChar command = line[at + 1];
    const QString argument = Argument(line.sliced(at + 2), FDelimiter);
    const QStringView echo = line.sliced(at);
    const int column = static_cast<int>(line.size());
    switch (command.unicode()) {
    case u'.':
        if (argument.isEmpty())
            EmitCommand(TScriptCommand::Invalid, QStringLiteral("\\.: не указан файл."), echo, column);
        else
            EmitCommand(TScriptCommand::Source, argument, echo, column);
        break;
    case u's': EmitCommand(TScriptCommand::Status, QString(), echo, column); break;
    case u'W': EmitCommand(TScriptCommand::Warnings, QString(), echo, column); break;
    case u'w': EmitCommand(TScriptCommand::NoWarnings, QString(), echo, column); break;
    case u'h':
    case u'?': EmitCommand(TScriptCommand::Help, QString(), echo, column); break;
    case u'd': {
        QString delimiter = argument.section(u' ', 0, 0, QString::SectionSkipEmpty);
        if (delimiter.isEmpty() || delimiter.contains(u'\\')) {
            EmitCommand(TScriptCommand::Invalid, QStringLiteral("\\d: разделитель не может быть пустым или содержать обратную косую черту."), echo, column);
        } else {
            FDelimiter = delimiter;
            EmitCommand(TScriptCommand::Delimiter, delimiter, echo, column);
        }
        break;
    }
    case u'u': {
        if (argument.isEmpty()) {
            EmitCommand(TScriptCommand::Invalid, QStringLiteral("\\u: не указана база данных."), echo, column);
            break;
        }
        TScriptStatement statement;
        statement.Sql = QStringLiteral("USE `") + QString(argument).replace(u'`', QStringLiteral("``")) + u'`';
        statement.Written = Trimmed(echo).toString();
        statement.Line = FLineIndex;
        statement.EndLine = FLineIndex - 1;
        statement.EndColumn = column;
        FReady.push_back(std::move(statement));
        break;
    }
    default:
        EmitCommand(TScriptCommand::Unknown, line.sliced(at, 2).toString(), echo, column);
        break;
    }
    return line.size();
}

void TScriptSplitter::Word(QStringView word)
{
    switch (FHead) {
    case THead::Start:
        FHead = SameWord(word, "CREATE") ? THead::CreateHead : SameWord(word, "BEGIN") ? THead::BeginHead : THead::Plain;
        break;
    case THead::CreateHead:
        if (SameWord(word, "PROCEDURE") || SameWord(word, "FUNCTION") || SameWord(word, "TRIGGER") || SameWord(word, "EVENT"))
            FHead = THead::Compound;
        else if (!(SameWord(word, "OR") || SameWord(word, "REPLACE") || SameWord(word, "DEFINER")
                   || SameWord(word, "AGGREGATE") || SameWord(word, "CURRENT_USER")
                   || (FLastKind == TServerTokenKind::Symbol && (FLastSymbol == u'=' || FLastSymbol == u'@'))))
            FHead = THead::Plain;
        break;
    case THead::BeginHead:
        FHead = SameWord(word, "NOT") ? THead::BeginNotHead : THead::Plain;
        break;
    case THead::BeginNotHead:
        if (SameWord(word, "ATOMIC")) {
            FHead = THead::Compound;
            FDepth = 1;
        } else {
            FHead = THead::Plain;
        }
        break;
    case THead::Plain:
        break;
    case THead::Compound:
        if (FPendingEnd) {
            const bool closesNamedBlock = SameWord(word, "IF") || SameWord(word, "LOOP") || SameWord(word, "WHILE")
                                       || SameWord(word, "REPEAT") || SameWord(word, "FOR");
            ResolveEnd(word);
            // END IF, END LOOP ...: the word belongs to the END; END CASE closed its CASE.
            if (closesNamedBlock || SameWord(word, "CASE"))
                break;
        }
        if (SameWord(word, "BEGIN") || SameWord(word, "CASE"))
            ++FDepth;
        else if (SameWord(word, "END"))
            FPendingEnd = true;
        break;
    }
}

// An END closes a BEGIN or a CASE, unless the word after it says it closes an IF, a LOOP, a WHILE,
// a REPEAT or a FOR (which open nothing that is counted).
void TScriptSplitter::ResolveEnd(QStringView nextWord)
{
    FPendingEnd = false;
    if (SameWord(nextWord, "IF") || SameWord(nextWord, "LOOP") || SameWord(nextWord, "WHILE")
        || SameWord(nextWord, "REPEAT") || SameWord(nextWord, "FOR"))
        return;
    FDepth = std::max(0, FDepth - 1);
}

void TScriptSplitter::AddPiece(QStringView line, qsizetype from, qsizetype to, TServerScanState startState,
                               bool startInComment, TServerScanState endState)
{
    QStringView piece = line.sliced(from, to - from);
    const bool quotedAtStart = IsQuoted(startState);
    if (!quotedAtStart) {
        qsizetype begin = 0;
        while (begin < piece.size() && IsControl(piece[begin]))
            ++begin;
        piece = piece.sliced(begin);
    }
    if (!IsQuoted(endState)) {
        qsizetype end = piece.size();
        while (end > 0 && IsControl(piece[end - 1]))
            --end;
        piece = piece.first(end);
    }
    // Comment lines stay in the pane and in the history, but are not sent.
    if (!quotedAtStart && !startInComment && piece.startsWith(u"-- "))
        return;
    if (!FHasLines && piece.isEmpty())
        return;
    if (FHasLines)
        FSql += u'\n';
    FSql += piece;
    FHasLines = true;
}

void TScriptSplitter::EndStatement(const QString& terminator, int endColumn, bool vertical)
{
    if (FHasSql) {
        TScriptStatement statement;
        statement.Sql = std::move(FSql);
        statement.Terminator = terminator;
        statement.Vertical = vertical;
        statement.Line = FFirstLine;
        statement.EndLine = FLineIndex - 1;
        statement.EndColumn = endColumn;
        FReady.push_back(std::move(statement));
    }
    ResetStatement();
}

void TScriptSplitter::Finish()
{
    if (FHasSql) {
        // What is still open (a string, a comment) goes to the server as it is.
        EndStatement(QString(), FLastLineLength, false);
    }
    ResetStatement();
    FState = TServerScanState::Text;
    FInConditional = false;
}
