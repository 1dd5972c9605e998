// The line-list form: what writing produces, what reading makes of any string, and that reading
// what was written gives the same lines back.
#include "LineList.h"

#include <gtest/gtest.h>

namespace {

struct TFormatCase {
    QStringList Lines;
    QString Text;
};

struct TParseCase {
    QString Text;
    QStringList Lines;
};

} // namespace

TEST(LineList, WritesQuotedOnlyWhatNeedsQuotes)
{
    const TFormatCase cases[] = {
        {{}, QString()},
        {{QString()}, QStringLiteral("\"\"")},
        {{QString(), QString()}, QStringLiteral(",")},
        {{QStringLiteral("select"), QStringLiteral("1;")}, QStringLiteral("select,1;")},
        {{QStringLiteral("select 1")}, QStringLiteral("\"select 1\"")},
        {{QStringLiteral("a,b")}, QStringLiteral("\"a,b\"")},
        {{QStringLiteral("say \"hi\"")}, QStringLiteral("\"say \"\"hi\"\"\"")},
        {{QStringLiteral("\"\""), QStringLiteral("\"x")}, QStringLiteral("\"\"\"\"\"\",\"\"\"x\"")},
        {{QStringLiteral("tab\there")}, QStringLiteral("\"tab\there\"")},
        {{QStringLiteral("a"), QString(), QStringLiteral("b")}, QStringLiteral("a,,b")},
        {{QStringLiteral("кто'там")}, QStringLiteral("кто'там")},
    };
    for (const TFormatCase& c : cases)
        EXPECT_EQ(FormatLineList(c.Lines), c.Text) << c.Text.toStdString();
}

TEST(LineList, ReadsAnyString)
{
    const TParseCase cases[] = {
        {QString(), {}},
        {QStringLiteral("   "), {}},
        {QStringLiteral("\"\""), {QString()}},
        {QStringLiteral("a,b"), {QStringLiteral("a"), QStringLiteral("b")}},
        {QStringLiteral("  a ,  b  "), {QStringLiteral("a"), QStringLiteral("b")}},
        {QStringLiteral("a b"), {QStringLiteral("a"), QStringLiteral("b")}},
        {QStringLiteral("a,"), {QStringLiteral("a"), QString()}},
        {QStringLiteral("a, "), {QStringLiteral("a")}},
        {QStringLiteral(","), {QString(), QString()}},
        {QStringLiteral("a,,b"), {QStringLiteral("a"), QString(), QStringLiteral("b")}},
        {QStringLiteral("\"x \"\"y\"\"\",z"), {QStringLiteral("x \"y\""), QStringLiteral("z")}},
        {QStringLiteral("\"unterminated, to the end"), {QStringLiteral("unterminated, to the end")}},
        {QStringLiteral("\"a\"b"), {QStringLiteral("a"), QStringLiteral("b")}},
        // A zero character outside quotes ends an item instead of stopping the reader for good.
        {QStringLiteral("a") + QChar(0) + QStringLiteral("b"), {QStringLiteral("a"), QStringLiteral("b")}},
        {QStringLiteral("\"a") + QChar(0) + QStringLiteral("b\""), {QStringLiteral("a") + QChar(0) + QStringLiteral("b")}},
    };
    for (const TParseCase& c : cases)
        EXPECT_EQ(ParseLineList(c.Text), c.Lines) << c.Text.toStdString();
}

TEST(LineList, ReadingWhatWasWrittenGivesTheSameLines)
{
    const QList<QStringList> lists = {
        {QString()},
        {QString(), QString()},
        {QString(), QStringLiteral("x"), QString()},
        {QStringLiteral("  leading and trailing  ")},
        {QStringLiteral("-- comment"), QStringLiteral("select * from t where a = \"q\", b = 'c'")},
        {QStringLiteral("\"\""), QStringLiteral(","), QStringLiteral("\""), QStringLiteral("a\r\nb")},
        {QString(QChar(0)), QStringLiteral("\x01\x1f"), QStringLiteral("\U0001F600 кириллица")},
    };
    for (const QStringList& lines : lists)
        EXPECT_EQ(ParseLineList(FormatLineList(lines)), lines) << FormatLineList(lines).toStdString();
}
