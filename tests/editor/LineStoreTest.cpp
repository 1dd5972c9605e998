// The compact line store against a plain list of strings: every operation, long lines, text that is
// not ASCII, and the rewriting and compaction that keep the store small.
#include "LineStore.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <random>

namespace {

void ExpectSame(const TLineStore& store, const QStringList& model)
{
    ASSERT_EQ(store.Count(), model.size());
    for (int i = 0; i < store.Count(); ++i) {
        ASSERT_EQ(store.Length(i), model[i].size()) << "line " << i;
        ASSERT_EQ(store.Get(i), model[i]) << "line " << i;
    }
}

QString Surrogates(char16_t first, char16_t second)
{
    return QString(QChar(first)) + QChar(second);
}

} // namespace

TEST(LineStore, RoundTripsEveryKindOfUnit)
{
    const QStringList lines = {
        QString(),
        QStringLiteral("plain ascii"),
        QStringLiteral("latin-1 \u00e9\u00ff and \u0080"),
        QStringLiteral("кириллица"),
        QStringLiteral("\u4e2d\u6587 cjk"),
        QStringLiteral("emoji \U0001F600 pair"),
        QStringLiteral("lone high ") + QChar(0xD83D) + QStringLiteral(" and lone low ") + QChar(0xDE00),
        Surrogates(0xDE00, 0xD83D),  // low before high: two lone halves, not a pair
        QString(1, QChar(0)) + QStringLiteral("\t\r"),
        QString(200000, QChar(u'x')),               // longer than a block
        QString(50000, QChar(0x0416)),              // two bytes each, longer than a block
    };
    TLineStore store;
    for (const QString& line : lines)
        store.Append(line);
    ExpectSame(store, lines);
}

TEST(LineStore, RewritingTheNewestLineLeavesNoGarbage)
{
    // The transcript appends a line and writes it again at once; the store must not grow for that.
    TLineStore store;
    for (int i = 0; i < 20000; ++i) {
        store.Append(QStringLiteral("line %1").arg(i));
        store.Set(i, QStringLiteral("line %1 rewritten").arg(i));
    }
    std::size_t expected = 0;
    for (int i = 0; i < store.Count(); ++i)
        expected += QStringLiteral("line %1 rewritten").arg(i).size();
    EXPECT_EQ(store.TextBytes(), expected);
    EXPECT_LT(store.MemoryBytes(), expected * 3 / 2 + 16 * static_cast<std::size_t>(store.Count()));
    EXPECT_EQ(store.Get(12345), QStringLiteral("line 12345 rewritten"));
}

TEST(LineStore, GarbageFromRewritesIsCompactedAway)
{
    TLineStore store;
    const QString line(100, QChar(u'a'));
    for (int i = 0; i < 2000; ++i)
        store.Append(line);
    // Rewriting old lines again and again would pile up dead bytes without compaction.
    for (int round = 0; round < 20; ++round)
        for (int i = 0; i < 2000; i += 2)
            store.Set(i, QString(100, QChar(u'a' + round % 26)));
    EXPECT_LT(store.MemoryBytes(), 2 * store.TextBytes() + 16 * 2000 + 2 * 64 * 1024);
    EXPECT_EQ(store.Get(0), QString(100, QChar(u'a' + 19)));
    EXPECT_EQ(store.Get(1), line);
}

TEST(LineStore, AgreesWithAPlainListUnderRandomEdits)
{
    std::mt19937 random(20261210);
    const QStringList samples = {
        QString(), QStringLiteral("a"), QStringLiteral("hello world"), QStringLiteral("строка"),
        QStringLiteral("x\U0001F600y"), QString(QChar(0xD800)), QString(3000, QChar(u'q')),
        QString(70000, QChar(u'z')),
    };
    TLineStore store;
    QStringList model;
    for (int step = 0; step < 4000; ++step) {
        const QString& text = samples[random() % samples.size()];
        const int count = static_cast<int>(model.size());
        switch (random() % 6) {
        case 0:
        case 1:
            store.Append(text);
            model.append(text);
            break;
        case 2: {
            const int at = static_cast<int>(random() % (count + 1));
            store.Insert(at, text);
            model.insert(at, text);
            break;
        }
        case 3:
        case 4:
            if (count > 0) {
                const int at = static_cast<int>(random() % count);
                store.Set(at, text);
                model[at] = text;
            }
            break;
        default:
            if (count > 0) {
                const int at = static_cast<int>(random() % count);
                const int n = std::min(count - at, 1 + static_cast<int>(random() % 3));
                store.Remove(at, n);
                model.remove(at, n);
            }
            break;
        }
        if (step % 97 == 0)
            ExpectSame(store, model);
    }
    ExpectSame(store, model);
    store.Clear();
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.MemoryBytes(), 0u);
}
