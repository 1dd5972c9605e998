// The recorded version and its reader, the About box and the change-history window.
#include "UnitAbout.h"
#include "UnitTools.h"
#include "UnitWhatsNew.h"

#include "ModalWindows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

namespace {

using TVersion = std::array<std::uint32_t, 4>;

// The four numbers GetFileVersion gives for a file, or the caller's presets when it says false.
std::pair<bool, TVersion> ReadVersion(const QString& fileName)
{
    TVersion version{7, 7, 7, 7};
    const bool found = GetFileVersion(fileName, version[0], version[1], version[2], version[3]);
    return {found, version};
}

// Runs a copy of a probe program with the working directory elsewhere; returns its output lines.
QStringList RunProbe(const QString& program, const QString& what, const QString& workingDir)
{
    QProcess probe;
    probe.setWorkingDirectory(workingDir);
    probe.start(program, {what});
    EXPECT_TRUE(probe.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
    return QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

void ExpectCentred(const QWidget& window)
{
    EXPECT_LE((window.geometry().center() - window.screen()->availableGeometry().center()).manhattanLength(), 2)
        << "not centred on the screen";
}

bool CopyFile(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).path());
    return QFile::copy(from, to);
}

// A minimal ELF file whose only content is one area of notes, listed in a section table or, for
// a file without one, in a program header table: enough to exercise the reader on layouts and
// damage that no compiler here produces.
class TElfBuilder {
public:
    TElfBuilder(bool is64, bool bigEndian)
        : FIs64(is64)
        , FBigEndian(bigEndian)
    {
    }

    std::string Note(const std::string& owner, std::uint32_t type, const std::string& desc,
                     int align = 4) const
    {
        std::string note;
        Append(note, static_cast<std::uint32_t>(owner.size()), 4);
        Append(note, static_cast<std::uint32_t>(desc.size()), 4);
        Append(note, type, 4);
        note += owner;
        Pad(note, align);
        note += desc;
        Pad(note, align);
        return note;
    }

    std::string Desc(const TVersion& file, const TVersion& product) const
    {
        std::string desc;
        for (std::uint32_t part : file)
            Append(desc, part, 2);
        for (std::uint32_t part : product)
            Append(desc, part, 2);
        return desc;
    }

    // inSection: a section table with a null entry and the note section; otherwise one note
    // segment. areaSize and areaOffset, when given, overwrite what the table says.
    std::string File(const std::string& notes, bool inSection, std::uint64_t align = 4,
                     std::optional<std::uint64_t> areaSize = {},
                     std::optional<std::uint64_t> areaOffset = {}) const
    {
        const std::uint64_t headerSize = FIs64 ? 64 : 52;
        std::string file(headerSize, '\0');
        file.replace(0, 7, std::string("\x7f" "ELF") + char(FIs64 ? 2 : 1) + char(FBigEndian ? 2 : 1) + char(1));
        const std::uint64_t notesAt = file.size();
        file += notes;
        Pad(file, 8);
        const std::uint64_t tableAt = file.size();
        const int word = FIs64 ? 8 : 4;
        const std::uint64_t offset = areaOffset.value_or(notesAt);
        const std::uint64_t size = areaSize.value_or(notes.size());
        if (inSection) {
            const int entrySize = FIs64 ? 64 : 40;
            std::string table(2 * entrySize, '\0');
            std::string entry;
            Append(entry, 0, 4);         // name
            Append(entry, 7, 4);         // SHT_NOTE
            Append(entry, 2, word);      // flags
            Append(entry, 0, word);      // address
            Append(entry, offset, word);
            Append(entry, size, word);
            Append(entry, 0, 4);         // link
            Append(entry, 0, 4);         // info
            Append(entry, align, word);
            Append(entry, 0, word);      // entry size
            table.replace(entrySize, entry.size(), entry);
            file += table;
            Set(file, FIs64 ? 40 : 32, tableAt, word);
            Set(file, FIs64 ? 58 : 46, entrySize, 2);
            Set(file, FIs64 ? 60 : 48, 2, 2);
        } else {
            std::string entry;
            Append(entry, 4, 4); // PT_NOTE
            if (FIs64) {
                Append(entry, 4, 4); // flags
                Append(entry, offset, 8);
                Append(entry, 0, 8);
                Append(entry, 0, 8);
                Append(entry, size, 8);
                Append(entry, size, 8);
                Append(entry, align, 8);
            } else {
                Append(entry, offset, 4);
                Append(entry, 0, 4);
                Append(entry, 0, 4);
                Append(entry, size, 4);
                Append(entry, size, 4);
                Append(entry, 4, 4); // flags
                Append(entry, align, 4);
            }
            file += entry;
            Set(file, FIs64 ? 32 : 28, tableAt, word);
            Set(file, FIs64 ? 54 : 42, entry.size(), 2);
            Set(file, FIs64 ? 56 : 44, 1, 2);
        }
        return file;
    }

private:
    void Append(std::string& out, std::uint64_t value, int size) const
    {
        std::string bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[FBigEndian ? size - 1 - i : i] = static_cast<char>(value >> (8 * i));
        out += bytes;
    }

    void Set(std::string& out, std::size_t at, std::uint64_t value, int size) const
    {
        std::string bytes;
        Append(bytes, value, size);
        out.replace(at, size, bytes);
    }

    static void Pad(std::string& out, int align)
    {
        while (out.size() % align != 0)
            out += '\0';
    }

    bool FIs64;
    bool FBigEndian;
};

constexpr std::uint32_t NoteType = 0x56455231;
const std::string Owner("Brindlecast\0", 12);

TEST(GetFileVersion, ReadsTheFileVersionThatTheBuildRecorded)
{
    struct TCase {
        const char* Name;
        QString File;
        TVersion Expected;
    };
    const TCase cases[] = {
        // This test program records the project's version, as the program itself does.
        {"this test program", QCoreApplication::applicationFilePath(), {2, 0, 0, 6}},
        // The probe's product version is 3.1.0.0: the file version is what counts.
        {"probe", SHELL_PROBE, {10, 2, 0, 123}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto [found, version] = ReadVersion(c.File);
        EXPECT_TRUE(found);
        EXPECT_EQ(version, c.Expected);
    }
    EXPECT_EQ(GetVersionString(), BRINDLECAST_FILE_VERSION);
    EXPECT_EQ(GetVersionString(), "2.0.0.6");
}

TEST(GetFileVersion, FalseAndTheOutputsUntouchedForFilesWithoutAVersion)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString text = dir.filePath("notes.txt");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x7f" "ELF but not really\n");
    file.close();
    const QString empty = dir.filePath("empty");
    QFile(empty).open(QIODevice::WriteOnly);

    const QString cases[] = {SHELL_PROBE_UNVERSIONED, text, empty, dir.filePath("missing"),
                             dir.path(), QString()};
    for (const QString& name : cases) {
        SCOPED_TRACE(name.toStdString());
        const auto [found, version] = ReadVersion(name);
        EXPECT_FALSE(found);
        EXPECT_EQ(version, (TVersion{7, 7, 7, 7}));
    }
}

// Word sizes, byte orders, note sections and note segments, and damaged files, which must give
// false without reading outside the file.
TEST(GetFileVersion, FindsTheNoteInEveryLayoutAndSurvivesDamage)
{
    const TVersion version{1, 2, 513, 65535};
    const TVersion product{9, 9, 9, 9};
    struct TCase {
        const char* Name;
        bool Is64;
        bool BigEndian;
        std::function<std::string(const TElfBuilder&)> Make;
        bool Found;
    };
    const auto plain = [&](const TElfBuilder& elf) { return elf.Note(Owner, NoteType, elf.Desc(version, product)); };
    const TCase cases[] = {
        {"64-bit section", true, false, [&](const TElfBuilder& elf) { return elf.File(plain(elf), true); }, true},
        {"32-bit section", false, false, [&](const TElfBuilder& elf) { return elf.File(plain(elf), true); }, true},
        {"big-endian section", true, true, [&](const TElfBuilder& elf) { return elf.File(plain(elf), true); }, true},
        {"32-bit big-endian segment", false, true,
         [&](const TElfBuilder& elf) { return elf.File(plain(elf), false); }, true},
        {"after another owner's note, eight-byte aligned", true, false,
         [&](const TElfBuilder& elf) {
             return elf.File(elf.Note(std::string("GNU\0", 4), 5, std::string(13, 'x'), 8)
                                 + elf.Note(Owner, NoteType, elf.Desc(version, product), 8),
                             false, 8);
         },
         true},
        {"another owner", true, false,
         [&](const TElfBuilder& elf) {
             return elf.File(elf.Note(std::string("Brindlecasx\0", 12), NoteType, elf.Desc(version, product)), true);
         },
         false},
        {"another type", true, false,
         [&](const TElfBuilder& elf) { return elf.File(elf.Note(Owner, 1, elf.Desc(version, product)), true); },
         false},
        {"short descriptor", true, false,
         [&](const TElfBuilder& elf) { return elf.File(elf.Note(Owner, NoteType, std::string(12, '\1')), true); },
         false},
        {"owner size past the area", true, false,
         [&](const TElfBuilder& elf) {
             std::string note = plain(elf);
             note.replace(0, 4, std::string("\xf0\xff\xff\xff", 4));
             return elf.File(note, true);
         },
         false},
        {"area past the end of the file", true, false,
         [&](const TElfBuilder& elf) { return elf.File(plain(elf), true, 4, {}, 1u << 20); }, false},
        {"huge area", true, false,
         [&](const TElfBuilder& elf) { return elf.File(plain(elf), true, 4, std::uint64_t(1) << 40); },
         false},
        {"truncated inside the table", true, false,
         [&](const TElfBuilder& elf) {
             const std::string whole = elf.File(plain(elf), true);
             return whole.substr(0, whole.size() - 20);
         },
         false},
        {"truncated header", true, false,
         [&](const TElfBuilder& elf) { return elf.File(plain(elf), true).substr(0, 30); }, false},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TElfBuilder elf(c.Is64, c.BigEndian);
        const std::string bytes = c.Make(elf);
        const QString name = dir.filePath("sample");
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        file.close();
        const auto [found, read] = ReadVersion(name);
        EXPECT_EQ(found, c.Found);
        EXPECT_EQ(read, c.Found ? version : (TVersion{7, 7, 7, 7}));
    }
}

// The string of a running executable: no leading zeros, and "0.0.0.0" for one without a record.
TEST(GetVersionString, FollowsTheRunningExecutablesFileVersion)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(RunProbe(SHELL_PROBE, "version", dir.path()), QStringList{"10.2.0.123"});
    EXPECT_EQ(RunProbe(SHELL_PROBE_UNVERSIONED, "version", dir.path()), QStringList{"0.0.0.0"});
}

TEST(AboutBox, ShowsTheProgramAndItsVersion)
{
    TFormAbout box;
    EXPECT_EQ(box.windowTitle(), "О программе");
    EXPECT_EQ(box.size(), QSize(311, 122));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    // What the user gets of the 8-point window font: characters 11 pixels high, and (below) lines that
    // fit the box.
    EXPECT_EQ(QFontInfo(box.font()).pointSize(), 8);
    EXPECT_EQ(QFontInfo(box.font()).pixelSize(), 11);
    ExpectCentred(box);
    EXPECT_EQ(box.lblProduct->text(), "Brindlecast 2");
    EXPECT_EQ(box.VersionText->text(), "Version 2.0.0.6");
    EXPECT_FALSE(box.lblAuthor->text().isEmpty());
    for (const QLabel* line : {box.lblProduct, box.VersionText, box.lblAuthor}) {
        EXPECT_FALSE(line->wordWrap());
        EXPECT_TRUE(line->alignment() & Qt::AlignHCenter);
        EXPECT_EQ(line->width(), 189);
        EXPECT_LE(line->sizeHint().width(), 189) << line->text().toStdString() << " does not fit";
    }
    EXPECT_EQ(box.imPhoto->geometry(), QRect(8, 8, 80, 80));
    EXPECT_EQ(box.imPhoto->pixmap().size(), QSize(80, 80));
    EXPECT_EQ(box.btOk->text(), "Ok");
    EXPECT_EQ(box.btOk->geometry().topLeft(), QPoint(8, 94));
    EXPECT_EQ(box.btOk->width(), 80);
}

// The pictures are built into the library, so they must reach every executable that links it.
TEST(AboutBox, ApplicationIconIsBuiltIn)
{
    EXPECT_TRUE(ApplicationIcon().availableSizes().contains(QSize(64, 64)));
}

TEST(AboutBox, ShowAboutBoxReturnsWhenOkIsPressed)
{
    QString versionShown;
    TOnModal<TFormAbout> close([&versionShown](TFormAbout& box) {
        versionShown = box.VersionText->text();
        box.btOk->click();
    });
    ShowAboutBox();
    EXPECT_EQ(close.Calls(), 1);
    EXPECT_EQ(versionShown, "Version 2.0.0.6");
}

TEST(WhatsNew, ShowsTheChangeHistoryBesideTheExecutable)
{
    TWhatsNewForm form;
    EXPECT_EQ(form.windowTitle(), "История изменений");
    EXPECT_EQ(form.size(), QSize(429, 296));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    ExpectCentred(form);
    EXPECT_EQ(form.MainWebBrowser->geometry(), QRect(0, 0, 430, 256));
    EXPECT_EQ(form.btClose->text(), "Close");
    EXPECT_EQ(form.btClose->pos(), QPoint(176, 265));

    const QString path = QCoreApplication::applicationDirPath() + "/doc/index.html";
    EXPECT_EQ(form.MainWebBrowser->source(), QUrl::fromLocalFile(path));
    EXPECT_EQ(form.MainWebBrowser->documentTitle(), "История изменений Brindlecast");
    EXPECT_TRUE(form.MainWebBrowser->toPlainText().contains("Версия 2.0.0.6"));
}

TEST(WhatsNew, CloseAndEscEndWithOk)
{
    const std::pair<const char*, std::function<void(TWhatsNewForm&)>> ways[] = {
        {"Close", [](TWhatsNewForm& form) { form.btClose->click(); }},
        {"Esc in the document", [](TWhatsNewForm& form) { QTest::keyClick(form.MainWebBrowser, Qt::Key_Escape); }},
        {"Esc on the button", [](TWhatsNewForm& form) { QTest::keyClick(form.btClose, Qt::Key_Escape); }},
    };
    for (const auto& [name, leave] : ways) {
        SCOPED_TRACE(name);
        TWhatsNewForm form;
        TOnModal<TWhatsNewForm> close(leave);
        EXPECT_EQ(form.exec(), QDialog::Accepted);
        EXPECT_EQ(close.Calls(), 1);
    }
}

// The document is found beside the executable wherever the two are moved together, or in the data
// folder of an installation, whatever the working directory; without it the view shows its own page
// instead of an empty pane.
TEST(WhatsNew, FindsTheDocumentWhereverTheExecutableMoved)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString moved = dir.filePath("moved/brindlecast");
    const QString bare = dir.filePath("bare/brindlecast");
    ASSERT_TRUE(CopyFile(SHELL_PROBE, moved));
    ASSERT_TRUE(CopyFile(QCoreApplication::applicationDirPath() + "/doc/index.html",
                         dir.filePath("moved/doc/index.html")));
    ASSERT_TRUE(CopyFile(SHELL_PROBE, bare));
    QDir().mkpath(dir.filePath("elsewhere/doc"));
    ASSERT_TRUE(CopyFile(QCoreApplication::applicationDirPath() + "/doc/index.html",
                         dir.filePath("elsewhere/doc/index.html")));

    EXPECT_EQ(RunProbe(moved, "whatsnew", dir.filePath("elsewhere")),
              (QStringList{dir.filePath("moved/doc/index.html"), "История изменений Brindlecast"}));
    EXPECT_EQ(RunProbe(bare, "whatsnew", dir.filePath("elsewhere")),
              (QStringList{dir.filePath("bare/doc/index.html"), "Документ недоступен"}));

    // Installed under a prefix: the data folder beside the binary folder holds it.
    const QString installed = dir.filePath("prefix/usr/bin/brindlecast");
    ASSERT_TRUE(CopyFile(SHELL_PROBE, installed));
    ASSERT_TRUE(CopyFile(QCoreApplication::applicationDirPath() + "/doc/index.html",
                         dir.filePath("prefix/usr/share/brindlecast/doc/index.html")));
    EXPECT_EQ(RunProbe(installed, "whatsnew", dir.filePath("elsewhere")),
              (QStringList{dir.filePath("prefix/usr/share/brindlecast/doc/index.html"),
                           "История изменений Brindlecast"}));
}

} // namespace
