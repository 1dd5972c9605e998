// What the completion list offers at a caret of the query pane: the kinds of names its place in the
// statement asks for, read from the text alone, without the server.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <span>
#include <string_view>
#include <vector>

// A table the statement names (after FROM, JOIN, UPDATE, INTO or TABLE), with its alias.
struct TTableReference {
    QString Database; // empty: the current database
    QString Table;
    QString Alias;    // empty when it has none

    bool operator==(const TTableReference&) const = default;
};

// The kinds of names to offer, and what narrows them.
struct TCompletionContext {
    enum class TCase { Upper, Lower, Capitalized };

    // Inside a literal or a comment, in a user variable, or where a name cannot be typed: nothing.
    bool Nothing = false;
    bool Keywords = false;  // the SQL keywords and the built-in functions
    bool Databases = false;
    bool Tables = false;    // tables and views of the current database
    bool Columns = false;   // columns of ColumnTables
    bool Functions = false; // stored functions of the current database
    bool Procedures = false;
    // The names inside `Qualifier.`: the tables of a database of that name, or the columns of a
    // table or alias; QualifierDatabase is set for `db.table.`.
    QString Qualifier;
    QString QualifierDatabase;
    // Whose columns are offered: every table the statement names, or the one of INSERT INTO t (…).
    std::vector<TTableReference> ColumnTables;
    // Every table the statement names, aliases beside them.
    std::vector<TTableReference> References;
    // The word typed before the caret (without an opening backquote), which every name offered
    // begins with, letter case aside.
    QString Prefix;
    // The word began with a backquote: every name is offered quoted.
    bool Backquoted = false;
    // The letter case keywords are offered in: as the word is typed, or when nothing is typed yet
    // as the statement's last keyword.
    TCase KeywordCase = TCase::Upper;
};

// Reads the statement around the caret (statements end at ";") by the server's rules of quoting and
// comments. caret is an offset into text. The word before the caret is the one the editor replaces:
// it runs back to the nearest of the editor's word separators.
TCompletionContext AnalyzeCompletion(QStringView text, qsizetype caret);

// The text runs a statement that may create, drop or rename a name (CREATE, ALTER, DROP or RENAME
// at a statement's start or a line's), after which names read earlier are stale.
bool ChangesNames(QStringView sql);
// The same for one statement of a script, which the splitter has cut out already: only its first
// word counts (comments and "/*!" markers before it are passed over), so that a statement of
// megabytes costs no more than a short one.
bool StatementChangesNames(QStringView statement);

// A name as it can be typed: as it is when it is a plain identifier, else in backquotes (a blank or
// another character that ends a word, a reserved word, a leading digit, an empty name).
QString QuoteName(const QString& name, bool always = false);
bool IsReservedWord(QStringView word);

// The keyword in the letter case asked for.
QString InCase(const QString& word, TCompletionContext::TCase letterCase);

// The keywords offered (the scanner's table and the server's statement words it lacks) and the
// built-in functions, each sorted, in lower case.
std::span<const std::string_view> CompletionKeywords();
std::span<const std::string_view> BuiltinFunctions();
