#include "TextSearch.h"

#include "Editor.h"

#include <algorithm>

TTextSearch::TTextSearch(const QString& text, Qt::CaseSensitivity sensitivity, bool forward, int line,
                         int column, int lineCount)
    : FText(text)
    , FMatcher(text, sensitivity)
    , FForward(forward)
    , FStartLine(std::clamp(line, 0, std::max(lineCount - 1, 0)))
    , FStartColumn(std::max(column, 0))
    , FLineCount(lineCount)
{
    FEnded = FText.isEmpty() || FLineCount <= 0;
}

qsizetype TTextSearch::LastMatch(const QString& line, qsizetype last) const
{
    qsizetype found = -1;
    for (qsizetype at = FMatcher.indexIn(line, 0); at >= 0 && at <= last; at = FMatcher.indexIn(line, at + 1))
        found = at;
    return found;
}

std::optional<int> TTextSearch::MatchOnLine(const QString& line, bool firstVisit) const
{
    const bool lastVisit = FVisited == FLineCount;
    qsizetype at = -1;
    if (FForward) {
        at = FMatcher.indexIn(line, firstVisit ? FStartColumn : 0);
        if (lastVisit && at >= FStartColumn)
            at = -1;
    } else if (firstVisit) {
        // The last match that starts before the start column.
        at = LastMatch(line, FStartColumn - 1);
    } else {
        at = LastMatch(line, line.size());
        if (lastVisit && at < FStartColumn)
            at = -1;
    }
    if (at < 0)
        return std::nullopt;
    return static_cast<int>(at);
}

bool TTextSearch::Step(const TCustomEditor& editor, int maxLines)
{
    QString text;
    for (int done = 0; !FEnded && done < maxLines; ++done) {
        const int step = FForward ? FVisited : -FVisited;
        const int unwrapped = FStartLine + step;
        const int line = ((unwrapped % FLineCount) + FLineCount) % FLineCount;
        // A line that went since the search began holds nothing to find.
        if (editor.GetLineText(line, text)) {
            if (const std::optional<int> column = MatchOnLine(text, FVisited == 0)) {
                const bool wrapped = unwrapped >= FLineCount || unwrapped < 0;
                FFound = TMatch{line, *column, static_cast<int>(FText.size()), wrapped};
                FEnded = true;
                break;
            }
        }
        if (++FVisited > FLineCount)
            FEnded = true;
    }
    return FEnded;
}
