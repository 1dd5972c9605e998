#include "VersionNoteReader.h"

#include "VersionNote.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// ELF constants: only the handful of fields the note search needs.
constexpr std::uint32_t ProgramNoteType = 4; // PT_NOTE
constexpr std::uint32_t SectionNoteType = 7; // SHT_NOTE
// A note area larger than this is not one of ours; a damaged header must not make us read the
// whole disk into memory.
constexpr std::uint64_t MaxNoteAreaSize = 1 << 20;

// An executable file opened for reading fields of its own word size and byte order. Every read is
// checked against the file's end, so a truncated or damaged file gives "no version", never a crash.
class TElfReader {
public:
    bool Open(const QString& fileName)
    {
        FFile.setFileName(fileName);
        if (!FFile.open(QIODevice::ReadOnly))
            return false;
        std::array<unsigned char, 16> ident{};
        if (!Read(0, ident.data(), ident.size()))
            return false;
        if (ident[0] != 0x7f || ident[1] != 'E' || ident[2] != 'L' || ident[3] != 'F')
            return false;
        if (ident[4] != 1 && ident[4] != 2)
            return false;
        if (ident[5] != 1 && ident[5] != 2)
            return false;
        FIs64 = ident[4] == 2;
        FBigEndian = ident[5] == 2;
        return true;
    }

    bool Is64() const { return FIs64; }

    bool Read(std::uint64_t offset, void* buffer, std::uint64_t size)
    {
        const auto fileSize = static_cast<std::uint64_t>(FFile.size());
        if (offset > fileSize || size > fileSize - offset)
            return false;
        return FFile.seek(static_cast<qint64>(offset))
            && FFile.read(static_cast<char*>(buffer), static_cast<qint64>(size))
            == static_cast<qint64>(size);
    }

    // An unsigned field of size bytes (2, 4 or 8) in the file's byte order.
    std::optional<std::uint64_t> Field(std::uint64_t offset, int size)
    {
        std::array<unsigned char, 8> bytes{};
        if (!Read(offset, bytes.data(), static_cast<std::uint64_t>(size)))
            return std::nullopt;
        return Decode(bytes.data(), size);
    }

    std::uint64_t Decode(const unsigned char* bytes, int size) const
    {
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            const int shift = FBigEndian ? (size - 1 - i) * 8 : i * 8;
            value |= static_cast<std::uint64_t>(bytes[i]) << shift;
        }
        return value;
    }

private:
    QFile FFile;
    bool FIs64 = false;
    bool FBigEndian = false;
};

struct TNoteArea {
    std::uint64_t Offset;
    std::uint64_t Size;
    std::uint64_t Align;
};

// The file version of our note in one area of notes (a note section or a note segment).
std::optional<TFileVersion> FindVersionNote(TElfReader& elf, const TNoteArea& area)
{
    if (area.Size == 0 || area.Size > MaxNoteAreaSize)
        return std::nullopt;
    std::vector<unsigned char> notes(area.Size);
    if (!elf.Read(area.Offset, notes.data(), area.Size))
        return std::nullopt;
    // A note's descriptor and the next note start at the area's alignment: four bytes, or eight
    // in an area that says so. Offsets here are relative to the area, which is itself aligned.
    const std::uint64_t align = area.Align == 8 ? 8 : 4;
    const auto aligned = [align](std::uint64_t offset) { return (offset + align - 1) / align * align; };
    std::uint64_t at = 0;
    while (notes.size() - at >= 12) {
        const std::uint64_t ownerSize = elf.Decode(&notes[at], 4);
        const std::uint64_t descSize = elf.Decode(&notes[at + 4], 4);
        const std::uint64_t type = elf.Decode(&notes[at + 8], 4);
        const std::uint64_t ownerAt = at + 12;
        const std::uint64_t descAt = aligned(ownerAt + ownerSize);
        if (descAt > notes.size() || descSize > notes.size() - descAt)
            return std::nullopt;
        if (type == VersionNoteType && ownerSize == sizeof(VersionNoteOwner)
            && descSize == sizeof(TVersionNoteDesc)
            && std::memcmp(&notes[ownerAt], VersionNoteOwner, sizeof(VersionNoteOwner)) == 0) {
            TFileVersion version{};
            for (std::size_t i = 0; i < version.size(); ++i)
                version[i] = static_cast<std::uint16_t>(elf.Decode(&notes[descAt + 2 * i], 2));
            return version;
        }
        at = std::min<std::uint64_t>(aligned(descAt + descSize), notes.size());
    }
    return std::nullopt;
}

// The note areas the file's section table lists, or, for a file stripped of its section table, the
// note segments of its program header table.
std::vector<TNoteArea> NoteAreas(TElfReader& elf)
{
    std::vector<TNoteArea> areas;
    const bool is64 = elf.Is64();
    const int word = is64 ? 8 : 4;

    const auto sectionTable = elf.Field(is64 ? 40 : 32, word);
    const auto sectionEntrySize = elf.Field(is64 ? 58 : 46, 2);
    const auto sectionCount = elf.Field(is64 ? 60 : 48, 2);
    if (sectionTable && sectionEntrySize && sectionCount && *sectionTable != 0
        && *sectionEntrySize >= (is64 ? 64u : 40u)) {
        for (std::uint64_t i = 0; i < *sectionCount; ++i) {
            const std::uint64_t entry = *sectionTable + i * *sectionEntrySize;
            const auto type = elf.Field(entry + 4, 4);
            const auto offset = elf.Field(entry + (is64 ? 24 : 16), word);
            const auto size = elf.Field(entry + (is64 ? 32 : 20), word);
            const auto align = elf.Field(entry + (is64 ? 48 : 32), word);
            if (!type || !offset || !size || !align)
                break;
            if (*type == SectionNoteType)
                areas.push_back({*offset, *size, *align});
        }
        if (!areas.empty())
            return areas;
    }

    const auto programTable = elf.Field(is64 ? 32 : 28, word);
    const auto programEntrySize = elf.Field(is64 ? 54 : 42, 2);
    const auto programCount = elf.Field(is64 ? 56 : 44, 2);
    if (programTable && programEntrySize && programCount && *programTable != 0
        && *programEntrySize >= (is64 ? 56u : 32u)) {
        for (std::uint64_t i = 0; i < *programCount; ++i) {
            const std::uint64_t entry = *programTable + i * *programEntrySize;
            const auto type = elf.Field(entry, 4);
            const auto offset = elf.Field(entry + (is64 ? 8 : 4), word);
            const auto size = elf.Field(entry + (is64 ? 32 : 16), word);
            const auto align = elf.Field(entry + (is64 ? 48 : 28), word);
            if (!type || !offset || !size || !align)
                break;
            if (*type == ProgramNoteType)
                areas.push_back({*offset, *size, *align});
        }
    }
    return areas;
}

} // namespace

std::optional<TFileVersion> ReadFileVersionNote(const QString& fileName)
{
    TElfReader elf;
    if (!elf.Open(fileName))
        return std::nullopt;
    for (const TNoteArea& area : NoteAreas(elf)) {
        if (const auto version = FindVersionNote(elf, area))
            return version;
    }
    return std::nullopt;
}
