// The compact line store against a plain list of strings: every operation, long lines, text that is
// not ASCII, and the rewriting and compaction that keep the store small.
#include "LineStore.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QStringList>

#include <fstream>
#include <random>
#include <string>

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
            if (random() % 2 == 0) {
                store.Insert(at, text);
                model.insert(at, text);
                break;
            }
            // Many lines at once, as a paste or an undo inserts them.
            QStringList lines;
            for (int n = static_cast<int>(random() % 40); n >= 0; --n)
                lines << samples[random() % samples.size()];
            store.Insert(at, lines);
            for (qsizetype k = 0; k < lines.size(); ++k)
                model.insert(at + k, lines[k]);
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
                const int n = std::min(count - at, 1 + static_cast<int>(random() % (random() % 4 == 0 ? 60 : 3)));
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

TEST(LineStore, AppendsUtf8AsItIsAndRepairsWhatIsIllFormed)
{
    struct TCase {
        const char* Name;
        std::string Bytes;
        QString Line;
    };
    const QString replacement(QChar(0xFFFD));
    const std::vector<TCase> cases = {
        {"empty", "", QString()},
        {"ASCII, longer than a word", "select * from t where a = 'x';", QStringLiteral("select * from t where a = 'x';")},
        {"two, three and four bytes", "\xD0\xB6 \xE4\xB8\xAD \xF0\x9F\x98\x80", QStringLiteral("ж 中 \U0001F600")},
        {"a stray continuation byte", "a\x80" "b", "a" + replacement + "b"},
        {"a sequence cut at the end", "ab\xE4\xB8", "ab" + replacement},
        {"a sequence cut by ASCII", "\xE4" "a", replacement + "a"},
        {"an overlong form", "\xC0\x80x", replacement + replacement + "x"},
        {"an encoded surrogate", "\xED\xA0\x80", replacement + replacement + replacement},
        {"a byte that never starts a sequence", "\xF5\xFF", replacement + replacement},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},
    };
    TLineStore store;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const int index = store.Count();
        EXPECT_EQ(store.AppendUtf8(c.Bytes), c.Line.size());
        EXPECT_EQ(store.Get(index), c.Line);
        EXPECT_EQ(store.Length(index), c.Line.size());
        // What is stored is what the same line stored as text gives.
        TLineStore text;
        text.Append(c.Line);
        EXPECT_EQ(store.Bytes(index), text.Bytes(0));
    }
}

TEST(LineStore, SlicesOfBytesKeepPairsWhole)
{
    TLineStore store;
    store.Append(QStringLiteral("ab\U0001F600cж"));  // units: a b high low c ж
    store.Append(QStringLiteral("plain"));
    struct TCase {
        int Line, From, Count;
        std::string Bytes;
    };
    const std::vector<TCase> cases = {
        {0, 0, 2, "ab"},
        {0, 1, 3, "b\xF0\x9F\x98\x80"},
        {0, 3, 2, "c"},                      // from the middle of the pair: after it
        {0, 0, 3, "ab\xF0\x9F\x98\x80"},   // to the middle of the pair: after it
        {0, 5, 100, "\xD0\xB6"},
        {0, 9, 2, ""},
        {1, 1, 3, "lai"},
        {1, -4, 2, "pl"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(store.Bytes(c.Line, c.From, c.Count), c.Bytes) << c.Line << ": " << c.From << ", " << c.Count;
}

namespace {

// The resident memory of this process in bytes.
std::size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

} // namespace

TEST(LineStore, GivesItsBlocksBackToTheSystem)
{
    constexpr std::size_t kText = 64u << 20;
    const std::size_t mappedBefore = TMappedBlock::MappedBytes();
    const std::string line(1000, 'x');
    TLineStore store;
    for (std::size_t bytes = 0; bytes < kText; bytes += line.size())
        store.AppendUtf8(line);
    store.Append(QString(3000000, u'y'));  // a line with a block of its own
    EXPECT_GE(TMappedBlock::MappedBytes() - mappedBefore, kText);

    // Removing most lines rebuilds the blocks: those of the removed text go.
    store.Remove(0, store.Count() - 10);
    EXPECT_LT(TMappedBlock::MappedBytes() - mappedBefore, 8u << 20);
    EXPECT_EQ(store.Get(store.Count() - 1), QString(3000000, u'y'));

    for (std::size_t bytes = 0; bytes < kText; bytes += line.size())
        store.AppendUtf8(line);
    const std::size_t residentFull = ResidentBytes();
    store.Clear();
    EXPECT_EQ(TMappedBlock::MappedBytes(), mappedBefore);
    // The process's own figure, whatever the heap keeps for itself: the blocks' pages are gone.
    EXPECT_GT(residentFull, ResidentBytes() + kText * 3 / 4) << "the memory went back to the system";
}

TEST(LineStore, ALongLineIsEditedInItsOwnBlock)
{
    // Typing in a line longer than a shared block: its block grows by half when outgrown and is
    // rewritten in place otherwise, so that a key maps nothing and leaves no garbage.
    TLineStore store;
    store.Append(QStringLiteral("select 1;"));
    QString line(100000, QChar(u'x'));
    store.Append(line);
    store.Append(QStringLiteral("select 2;"));
    const std::size_t mappedBefore = TMappedBlock::MappedBytes();
    int moved = 0;
    const char* where = store.Bytes(1).data();
    for (int key = 0; key < 300; ++key) {
        line.insert(500, QChar(u'a' + key % 26));
        store.Set(1, line);
        if (store.Bytes(1).data() != where) {
            ++moved;
            where = store.Bytes(1).data();
        }
    }
    const std::size_t mapped = TMappedBlock::MappedBytes();
    EXPECT_LE(moved, 1) << "the block grows by half once, not at every key";
    EXPECT_EQ(store.Get(1), line);
    EXPECT_EQ(store.Get(0), QStringLiteral("select 1;"));
    EXPECT_EQ(store.Get(2), QStringLiteral("select 2;"));
    EXPECT_EQ(store.TextBytes(), static_cast<std::size_t>(line.size()) + 18);

    // Shorter again, then emptied and refilled: still the same block, still the same text.
    store.Set(1, line.left(70000));
    EXPECT_EQ(store.Get(1), line.left(70000));
    store.Set(1, QString());
    EXPECT_EQ(store.Length(1), 0);
    store.Set(1, line);
    EXPECT_EQ(store.Get(1), line);
    EXPECT_EQ(store.Bytes(1).data(), where);
    EXPECT_EQ(TMappedBlock::MappedBytes(), mapped);
    // Removing lines keeps their bytes until the blocks are rebuilt; Clear gives everything back.
    store.Remove(1);
    EXPECT_EQ(store.Get(1), QStringLiteral("select 2;"));
    store.Clear();
    EXPECT_LT(TMappedBlock::MappedBytes(), mappedBefore);
}

// A huge line that arrives in parts grows in place, whatever held it before, and reads as the same
// line appended whole: ill-formed bytes repaired part by part, the longest line kept, other lines
// untouched, the blanks at its end cut once it is complete.
TEST(LineStore, ALineGrowsPartByPart)
{
    struct TCase {
        const char* Name;
        bool OwnBlockFirst;          // the first part was appended as one that will grow
        std::vector<std::string> Parts;
    };
    const std::string big(300000, 'x');
    const std::vector<TCase> cases = {
        {"an empty line that grows", false, {"", "abc", "\xD0\xB6"}},
        {"a short line in a shared block", false, {"select", " 1", big}},
        {"a first part with a block of its own, grown many times", true, {big, big, "\xF0\x9F\x98\x80", big, big, big}},
        {"ill-formed bytes in a part", true, {"a\x80", "\xE4" "b", big}},
        {"an empty first part with a block of its own", true, {"", "y"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TLineStore store;
        store.Append(QStringLiteral("before"));
        store.AppendUtf8(c.Parts.front(), c.OwnBlockFirst);
        std::string whole = c.Parts.front();
        for (std::size_t i = 1; i < c.Parts.size(); ++i) {
            store.ExtendLastUtf8(c.Parts[i]);
            whole += c.Parts[i];
        }
        // Each part is repaired on its own; the parts here never cut a well-formed sequence.
        TLineStore expected;
        QString line;
        for (const std::string& part : c.Parts) {
            expected.AppendUtf8(part);
            line += expected.Get(expected.Count() - 1);
        }
        EXPECT_EQ(store.Get(1), line);
        EXPECT_EQ(store.Length(1), line.size());
        EXPECT_EQ(store.Longest(), std::max<int>(line.size(), 6));
        EXPECT_EQ(store.TextBytes(), 6 + store.Bytes(1).size());
        EXPECT_EQ(store.Get(0), QStringLiteral("before"));
        store.Append(QStringLiteral("after"));
        EXPECT_EQ(store.Get(1), line);
        EXPECT_EQ(store.Get(2), QStringLiteral("after"));
    }
}

TEST(LineStore, TheBlanksAtTheEndOfTheLastLineAreCut)
{
    TLineStore store;
    store.Append(QStringLiteral("a  "));
    store.AppendUtf8("x", true);
    store.ExtendLastUtf8(std::string(200000, ' '));
    store.CutLastLineBlanks();
    EXPECT_EQ(store.Get(1), QStringLiteral("x"));
    EXPECT_EQ(store.Longest(), 3);
    EXPECT_EQ(store.TextBytes(), 4u);
    // The line grows again in place; a line of blanks alone becomes empty.
    store.ExtendLastUtf8("yz ");
    store.CutLastLineBlanks();
    EXPECT_EQ(store.Get(1), QStringLiteral("xyz"));
    store.Append(QStringLiteral("   "));
    store.CutLastLineBlanks();
    EXPECT_EQ(store.Length(2), 0);
    EXPECT_EQ(store.Get(0), QStringLiteral("a  "));
    store.ExtendLastUtf8("w");
    EXPECT_EQ(store.Get(2), QStringLiteral("w"));
}
