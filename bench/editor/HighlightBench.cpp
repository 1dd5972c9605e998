// Time to colour a screen of long SQL lines, and the cost of typing into the middle of a
// million-line text: a letter, which rescans no line states, against a blank, which rescans a
// bounded run of lines below it.
#include "BenchReport.h"
#include "HLEditor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QString>
#include <QStringList>

namespace {

using TClock = std::chrono::steady_clock;

double MicrosecondsSince(TClock::time_point start)
{
    return std::chrono::duration<double, std::micro>(TClock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A line of about `length` characters that holds every token class: keywords, identifiers, strings
// with doubled quotes, numbers, symbols and a closed block comment.
QString SqlLine(int length, int seed)
{
    static const char* const Pieces[] = {"select ", "name_", ", ", "'it''s' ", "12.5 ", "from ", "users ",
        "where ", "id ", "= ", "/* note */ ", "count(*) ", "and ", "\"q\" ", "1e5 "};
    QString line;
    for (int i = seed; line.size() < length; ++i)
        line += QString::fromLatin1(Pieces[i % std::size(Pieces)]);
    line.truncate(length);
    return line;
}

void ColourScreen()
{
    constexpr int Rows = 60;
    constexpr int Columns = 1000;
    constexpr int Screens = 2000;
    THLEditor editor;
    editor.SetHighlighter(hlSql);
    ApplyConsoleColorScheme(editor);
    QStringList lines;
    for (int row = 0; row < Rows; ++row)
        lines << SqlLine(Columns, row);
    editor.Lines().Assign(lines);

    std::vector<double> samples;
    for (int screen = 0; screen < Screens; ++screen) {
        const auto start = TClock::now();
        for (int row = 0; row < Rows; ++row)
            editor.GetLineAttrs(row, 0, Columns - 1);
        samples.push_back(MicrosecondsSince(start));
    }
    const double median = Median(samples);
    std::printf("colour a screen of %d lines of %d characters (median of %d):\n", Rows, Columns, Screens);
    bench::AtMost("a screen", median / 1000, "ms", 4, "a quarter of a frame");
}

void TypeIntoMillionLines()
{
    constexpr int Count = 1000000;
    constexpr int Line = 500000;
    constexpr int Repeats = 50;
    THLEditor editor;
    editor.SetHighlighter(hlSql);
    QStringList lines;
    lines.reserve(Count);
    for (int i = 0; i < Count; ++i)
        lines << (i % 7 == 0 ? QStringLiteral("-- Query Ok. 1 rows affected.")
                             : QStringLiteral("mysql> select name from users where id = 7;"));

    std::printf("a text of %d lines:\n", Count);
    auto start = TClock::now();
    editor.Lines().Assign(lines);
    bench::AtMost("load it (one rescan of the whole text)", MicrosecondsSince(start) / 1000, "ms", 1000);
    lines.clear();

    auto typeAt = [&editor](const QString& text) {
        editor.SetCaret(0, Line);
        const auto typed = TClock::now();
        editor.InsertText(text);
        return MicrosecondsSince(typed);
    };
    std::vector<double> letter, blank;
    for (int i = 0; i < Repeats; ++i) {
        letter.push_back(typeAt(QStringLiteral("a")));
        blank.push_back(typeAt(QStringLiteral(" ")));
    }
    bench::AtMost("type a letter at line 500,000 (no rescan)", Median(letter) / 1000, "ms", 1, "median");
    bench::AtMost("type a blank there (a rescan of 5000 lines)", Median(blank) / 1000, "ms", 4, "median");
}

} // namespace

int main()
{
    ColourScreen();
    TypeIntoMillionLines();
    return bench::ExitStatus();
}
