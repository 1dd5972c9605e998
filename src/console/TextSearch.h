// A search for a text in a pane, from a position forward or back round the whole text, a slice of
// lines at a time so that a transcript of millions of lines never holds up the window.
#pragma once

#include <optional>

#include <QString>
#include <QStringMatcher>
#include <Qt>

class TCustomEditor;

// The search visits every line once: from the start position to the end of the text (or, going back,
// to its start), then round from the other end to the start position again, where a match at the
// start position itself is found last. The lines are read from the editor at each Step, so the text
// may change between two steps: lines added after the search began are not visited, lines gone are
// skipped. A match never spans lines.
class TTextSearch {
public:
    struct TMatch {
        int Line = 0;
        int Column = 0;
        int Length = 0;
        // The search went round the end of the text (the start, going back) to find it.
        bool Wrapped = false;
    };

    // Starts at (column, line) of a text of lineCount lines; forward finds the first match that
    // starts at the column or after it, back the last one that starts before it.
    TTextSearch(const QString& text, Qt::CaseSensitivity sensitivity, bool forward, int line, int column,
                int lineCount);

    // Looks through at most maxLines further lines of the editor; true once the search has ended,
    // with or without a match.
    bool Step(const TCustomEditor& editor, int maxLines);
    bool Ended() const { return FEnded; }
    const std::optional<TMatch>& Found() const { return FFound; }

private:
    // Looks for a match on one line, within the columns that this visit of the line allows.
    std::optional<int> MatchOnLine(const QString& line, bool firstVisit) const;
    // The last match that starts at or before column `last`, or -1.
    qsizetype LastMatch(const QString& line, qsizetype last) const;

    QString FText;
    // Skips along a line by what the text tells, so that a long line costs a fraction of its length.
    QStringMatcher FMatcher;
    bool FForward;
    int FStartLine;
    int FStartColumn;
    int FLineCount;
    // How many lines have been visited; the start line is visited twice, first and last.
    int FVisited = 0;
    bool FEnded = false;
    std::optional<TMatch> FFound;
};
