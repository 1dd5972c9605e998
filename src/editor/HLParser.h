// The token scanners: the one that cuts one editor line into tokens for colouring, and the one that
// reads SQL by the server's quoting rules for everything that must find where a statement, a string
// or a comment ends; the SQL keyword set and token tests that decide the colour class of each token.
#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

// Reads the tokens of one line, in place, and remembers where the last ten of them lie.
//
// The owner starts the scanner on a line (a view of the editor's own characters, not a copy) and calls
// NextToken until it answers the empty string, the end-of-text token. The viewed characters must stay
// alive and unchanged until the owner starts the scanner on another text. Columns are 1-based UTF-16
// positions in the whole line, also when reading began in the middle of it (a line that begins inside
// a block comment carried from the lines above is read from just after the comment's end).
//
// Only the SQL style (9) has rules of its own: comments, quoted strings, identifiers, numbers and
// one-character tokens. Every other style reads identifiers, numbers and one-character tokens and
// knows no comments or strings; the highlighters that select them paint as plain text.
class TIParser
{
public:
    static constexpr std::uint8_t DefaultScannerStyle = 1;
    static constexpr std::uint8_t SqlScannerStyle = 9;
    static constexpr int RingSize = 10;

    std::uint8_t ScannerStyle() const { return FScannerStyle; }
    void SetScannerStyle(std::uint8_t style) { FScannerStyle = style; }

    // True: a comment is answered as a token; false: comments are passed over like blanks.
    bool KeepComments() const { return FKeepComments; }
    void SetKeepComments(bool keep) { FKeepComments = keep; }

    // Starts reading `text` at offset `from` (clamped to the text). The tokens of an earlier text are
    // forgotten, so counting back never reaches into another line.
    void Start(QStringView text, qsizetype from = 0);

    // The offset of the next unread character.
    qsizetype Position() const { return FPosition; }

    // Reads the next token and records it in the ring. At the end of the text it answers (and records)
    // the empty string, whose columns are the empty range from the text's length + 1 to its length, and
    // the position stays at the end. Inside a single-quoted string every doubled quote that is neither
    // the first nor the last character of the string comes back as one quote.
    QString NextToken();

    // The text and the columns of the first and last character of the token read `back` tokens before
    // the most recent one (0 is the most recent, up to RingSize - 1). A string keeps the columns of its
    // whole written form, from its opening to its closing quote, even when its text was shortened.
    // Counts outside the ring, and slots not filled since Start, answer the empty string and column 0.
    const QString& TokenText(int back) const;
    int TokenFirstColumn(int back) const;
    int TokenLastColumn(int back) const;

private:
    struct TRecentToken
    {
        QString Text;
        int FirstColumn = 0;
        int LastColumn = 0;
    };

    const TRecentToken* Recent(int back) const;
    QString Record(QString text, qsizetype first, qsizetype end);
    qsizetype CommentEnd(qsizetype at) const;
    qsizetype StringEnd(qsizetype at) const;
    QString StringText(qsizetype first, qsizetype end) const;

    QStringView FText;
    qsizetype FPosition = 0;
    std::array<TRecentToken, RingSize> FRecentTokens;
    int FRingIndex = 0;
    std::uint8_t FScannerStyle = DefaultScannerStyle;
    bool FKeepComments = false;
};

// The SQL keyword set: 265 distinct lower-case words of the letters a to z and "_", sorted by their
// bytes. Words outside it, however common in SQL (use, limit, case, databases), are identifiers.
std::span<const std::string_view> SqlKeywords();

// The token equals one of the SQL keywords, with only the letters A to Z folded to a to z: no other
// character folds, so a Kelvin sign never reads as "k".
bool IsSqlKeyword(QStringView token);

// The token has at least two characters and begins with "--" or "/*".
bool IsSqlComment(QStringView token);

// The token begins with a single or a double quote.
bool IsStringToken(QStringView token);

// The token is one of the 26 one-character symbols # % & ' ( ) * + , - . / : ; < = > @ [ \ ] ^ { | } ~
bool IsSymbolToken(QStringView token);

// Decimal digits after an optional "-", or hexadecimal digits after an optional "$"; at least one
// digit. Digits are the ASCII ones only.
bool IsIntegerLiteral(QStringView token);

// ASCII digits with at most one ".", after an optional "-"; at least one digit, so neither "." nor
// "-." is a number.
bool IsDecimalLiteral(QStringView token);

// Where the server's reading of SQL stands between two lines: in plain text, or inside a string, a
// quoted name or a block comment that the next line continues.
enum class TServerScanState : std::uint8_t { Text, SingleQuoted, DoubleQuoted, BackQuoted, BlockComment };

enum class TServerTokenKind : std::uint8_t {
    End,              // the end of the line
    Blank,            // a run of characters with codes 0 to 32
    Comment,          // "-- " or "#" to the end of the line, or (a piece of) a block comment
    String,           // (a piece of) a '...' or "..." string, quotes included
    QuotedName,       // (a piece of) a `...` name, backquotes included
    Word,             // letters, digits, "_", "$" and every character above 127
    Symbol,           // any other single character
    ConditionalStart, // "/*!" or "/*M!" with its version digits: the server reads on as SQL
    ConditionalEnd,   // the "*/" that closes a conditional comment
};

// A token of the server's reading: [First, End) in the line.
struct TServerToken {
    TServerTokenKind Kind = TServerTokenKind::End;
    qsizetype First = 0;
    qsizetype End = 0;
};

// Reads SQL text one line at a time as the server will read it: strings in single or double quotes
// with doubled quotes and backslash escapes, names in backquotes with doubled backquotes, "-- "
// (two dashes and a character with a code up to 32, or the end of the line) and "#" comments to the
// end of the line, block comments that do not nest, and "/*!" comments whose text is SQL. A string,
// a name or a block comment that a line leaves open is carried to the next line by State. Works in
// place and allocates nothing, so that reading costs one pass over the characters.
//
// The highlighter's scanner (TIParser) keeps its own, older rules for colouring; everything that
// decides what reaches the server reads with this one.
class TServerScanner {
public:
    // Starts reading a line in the state that the line before it left.
    void Start(QStringView line, TServerScanState state = TServerScanState::Text, bool inConditional = false)
    {
        FLine = line;
        FPosition = 0;
        FState = state;
        FInConditional = inConditional;
    }
    // Reads the next token; at the end of the line, the End token (again and again).
    TServerToken Next();
    qsizetype Position() const { return FPosition; }
    // Moves on to `position` in plain text (past a statement's delimiter, which the caller reads).
    void Skip(qsizetype position) { FPosition = position; }
    // The state after the last token read: what the next line continues.
    TServerScanState State() const { return FState; }
    // Inside a "/*!" comment, whose closing "*/" ends it.
    bool InConditional() const { return FInConditional; }

private:
    qsizetype QuotedEnd(qsizetype from, char16_t quote, bool escapes);

    QStringView FLine;
    qsizetype FPosition = 0;
    TServerScanState FState = TServerScanState::Text;
    bool FInConditional = false;
};

// What stands between the words of a statement without being part of it: blanks, comments and the
// markers of a "/*!" comment (whose text is SQL).
inline bool IsServerGap(TServerTokenKind kind)
{
    return kind == TServerTokenKind::Blank || kind == TServerTokenKind::Comment
        || kind == TServerTokenKind::ConditionalStart || kind == TServerTokenKind::ConditionalEnd;
}

// Reads a text of lines parted by LF token by token, each line in the state the line before it left.
// visit(tokenText, token, stateAfter) is told each token and the state after it (a literal still open
// at the end of its line leaves a quoted state); it answers false to stop reading.
template <class TVisit>
void ScanServerText(QStringView text, TVisit&& visit)
{
    TServerScanner scanner;
    TServerScanState state = TServerScanState::Text;
    bool inConditional = false;
    for (qsizetype lineStart = 0; lineStart <= text.size();) {
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        if (lineEnd < 0)
            lineEnd = text.size();
        const QStringView line = text.sliced(lineStart, lineEnd - lineStart);
        scanner.Start(line, state, inConditional);
        for (TServerToken token = scanner.Next(); token.Kind != TServerTokenKind::End; token = scanner.Next()) {
            if (!visit(line.sliced(token.First, token.End - token.First), token, scanner.State()))
                return;
        }
        state = scanner.State();
        inConditional = scanner.InConditional();
        lineStart = lineEnd + 1;
    }
}

// Folds the letters A to Z of an ASCII word and compares: "Delimiter" equals "DELIMITER".
bool SameWord(QStringView word, std::string_view upper);
