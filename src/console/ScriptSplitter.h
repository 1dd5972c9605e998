// Cuts a script (the query pane's text, its selection, or a file read line by line) into the
// statements and client commands that the console runs one after another.
#pragma once

#include <deque>
#include <string_view>

#include <QString>
#include <QStringView>

#include "HLParser.h"

// What a piece of a script asks for: SQL for the server, or one of the client's own commands.
enum class TScriptCommand {
    Sql,
    Delimiter,  // the splitter has taken the new delimiter; nothing to run
    Source,     // Argument: the file to run
    Status,
    Warnings,
    NoWarnings,
    Help,
    Unknown,    // a backslash command the client does not know; Argument: what was written
    Invalid,    // a command that cannot be taken as written; Argument: why
};

// One statement or client command of a script.
struct TScriptStatement {
    TScriptCommand Command = TScriptCommand::Sql;
    // Sql: what the server receives (lines joined with LF; comment lines, the delimiter and blanks at
    // the ends of lines outside literals left out).
    QString Sql;
    QString Argument;
    // Ended with \G or ego: the rows are shown one field a line.
    bool Vertical = false;
    // The line the statement begins on, counted from 1.
    int Line = 0;
    // Where it ends in the script: the line (from 0) and the column just after its delimiter.
    int EndLine = 0;
    int EndColumn = 0;
    // What ended a statement as typed: its delimiter, \G or \g (empty at the end of the script).
    QString Terminator;
    // A client command, or a statement the client wrote for one (\u), as it was written.
    QString Written;

    // The statement as the transcript echoes it: Sql with its terminator, or a command as written.
    // Made only when asked for: a file run echoes nothing, and its statements may be megabytes.
    QString Echo() const { return Written.isEmpty() ? Sql + Terminator : Written; }
};

// Reads a script one line at a time, as the command-line client does, and hands out each statement
// as soon as it is whole. A statement ends at the current delimiter (";" until a DELIMITER line sets
// another, any string) outside quotes, backquotes and comments ("-- ", "#", "/* */"; the text of a
// "/*!" comment is SQL), at \G or \g, or at the end of the script. With ";" as the delimiter, the
// body of CREATE ... PROCEDURE / FUNCTION / TRIGGER / EVENT and of BEGIN NOT ATOMIC is kept whole:
// a ";" inside its BEGIN ... END or CASE ... END does not end it. A line that begins outside a
// literal and a block comment and, trimmed, begins with "-- " is left out of what is sent; every
// other line keeps its text, trimmed only at ends that lie outside a literal. Statements of nothing
// but comments and blanks are dropped. Client commands (DELIMITER, source, status, warnings,
// nowarning, help, ego, go) are taken from a line of their own that starts a statement; backslash
// commands (\G \g \. \s \W \w \u \h \? and any other) from anywhere outside literals.
class TScriptSplitter {
public:
    explicit TScriptSplitter(QString delimiter = QStringLiteral(";"));

    // Reads the next line, without its line break (a CR before it is blank and trimmed).
    void AddLine(QStringView line);
    // The script ends: a statement without a delimiter ends here.
    void Finish();
    // The next whole statement, in order; false when none is ready.
    bool Next(TScriptStatement& statement);

    const QString& Delimiter() const { return FDelimiter; }
    // A file run with source changed the delimiter: the lines still to come are read with it.
    void SetDelimiter(const QString& delimiter) { FDelimiter = delimiter; }
    // Lines read so far.
    int LineCount() const { return FLineIndex; }

private:
    enum class THead { Start, CreateHead, BeginHead, BeginNotHead, Plain, Compound };

    bool LineCommand(QStringView line);
    // Where the next character that the splitter must look at stands, from `at` in plain text of a
    // statement that is neither a routine's head nor its body; the line's length when none is left.
    qsizetype NextStop(QStringView line, qsizetype at) const;
    void EmitCommand(TScriptCommand command, const QString& argument, QStringView echo, int column);
    // Handles a backslash command at `at`; answers where reading goes on.
    qsizetype BackslashCommand(QStringView line, qsizetype at);
    void Word(QStringView word);
    void ResolveEnd(QStringView nextWord);
    bool BodyOpen() const { return FHead == THead::Compound && FDepth > 0; }
    // Adds the piece [from, to) of the current line to the statement.
    void AddPiece(QStringView line, qsizetype from, qsizetype to, TServerScanState startState, bool startInComment,
                  TServerScanState endState);
    void EndStatement(const QString& terminator, int endColumn, bool vertical);
    void ResetStatement();

    QString FDelimiter;
    TServerScanner FScanner;
    TServerScanState FState = TServerScanState::Text;
    bool FInConditional = false;
    int FLineIndex = 0;
    int FLastLineLength = 0;

    // The statement being read.
    QString FSql;
    bool FHasSql = false;   // holds a token that is not a comment or a blank
    bool FHasLines = false; // a piece has been kept
    int FFirstLine = 0;
    THead FHead = THead::Start;
    int FDepth = 0;
    bool FPendingEnd = false;
    TServerTokenKind FLastKind = TServerTokenKind::End;
    QChar FLastSymbol;

    std::deque<TScriptStatement> FReady;
};
