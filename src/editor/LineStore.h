// Compact storage for the lines of an editor: UTF-8 bytes in large blocks, found through an index.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "MappedArray.h"
#include "MappedBlock.h"

// A list of lines that costs about its UTF-8 text plus 16 bytes of index per line, so that a
// transcript of hundreds of thousands of lines stays small; a QString per line would cost three times
// as much. Lines go in and out as UTF-16; any sequence of units survives the round trip, unpaired
// surrogates included (they are stored as three-byte sequences of their own).
//
// Bytes are written into the newest block; rewriting a line leaves its old bytes as garbage unless
// they are the last bytes of that block, where the new text replaces them in place (so appending a
// line and then rewriting it, as the transcript does, leaves no garbage). When garbage grows past
// half of the live text the blocks are rebuilt. Appending is O(1) amortised; inserting or removing
// any number of lines in the middle moves the index entries below them once.
//
// A line longer than a shared block has a block of its own, rewritten in place while the line fits
// and replaced by one half as large again when it outgrows it, so that editing a long line costs no
// mapping per change. Remove only drops index entries: their bytes become garbage, given back when
// the blocks are rebuilt (garbage past half of the live text) or by Clear, which unmaps every block
// and so gives a large transcript's memory back to the system at once. A large text's blocks are
// huge pages.
class TLineStore {
public:
    TLineStore() = default;
    TLineStore(const TLineStore&) = delete;
    TLineStore& operator=(const TLineStore&) = delete;

    int Count() const { return static_cast<int>(FIndex.size()); }
    // The length of a line in UTF-16 units. The index must be valid.
    int Length(int index) const
    {
        assert(index >= 0 && index < Count());
        return static_cast<int>(FIndex[index].Units);
    }
    QString Get(int index) const;
    // Units from..from + count - 1 of a line, cut at its end; painting reads only what it shows.
    QString Get(int index, int from, int count) const;

    // A line's bytes as the store holds them: UTF-8, with a lone surrogate as the three bytes its
    // value would take. Valid until the store next changes.
    std::string_view Bytes(int index) const
    {
        assert(index >= 0 && index < Count());
        const TEntry& entry = FIndex[index];
        if (entry.Bytes == 0)
            return {};
        return {FBlocks[entry.Block].Data() + entry.Offset, entry.Bytes};
    }
    // The bytes of units from..from + count - 1 of a line, cut at its end. A position between the
    // halves of a surrogate pair counts as the one after the pair, as the editor's columns do.
    std::string_view Bytes(int index, int from, int count) const;

    void Set(int index, QStringView text);
    // Inserts text before unit `column` of a line (a column between the halves of a pair counts as
    // the one after it): in place when the line has a block of its own with room, so that a key
    // typed in a long line moves its tail once and encodes only what was typed.
    void InsertInLine(int index, int column, QStringView text);
    void Insert(int index, QStringView text);
    // Inserts lines before index in one move of the index.
    void Insert(int index, const QStringList& lines);
    void Append(QStringView text) { Insert(Count(), text); }
    // Appends a line given as UTF-8 bytes, taken as they are when they are well formed; each
    // ill-formed sequence (a stray byte, a cut or overlong sequence, an encoded surrogate) becomes
    // U+FFFD. Returns the line's length in UTF-16 units. A line that will grow (the first part of a
    // huge line) gets a block of its own at once.
    int AppendUtf8(std::string_view line, bool willGrow = false);
    // Appends UTF-8 bytes, checked as AppendUtf8 checks them, to the end of the last line, which
    // must exist: its block doubles when it must, without copying what it holds, so that a line of
    // any length goes in part by part at the cost of its parts.
    void ExtendLastUtf8(std::string_view bytes);
    // Cuts the blanks at the end of the last line, which must exist.
    void CutLastLineBlanks();
    void Remove(int index, int count = 1);
    void Clear();

    // The length of the longest line in UTF-16 units; kept as lines grow, counted again (once) after
    // the longest may have shrunk or gone.
    int Longest() const;

    // Makes room in the index for this many lines in all, so that a large append grows it once. The
    // index grows by half at least, so that the lines appended after it (the next statement's echo)
    // find room too; its entries are never copied to grow it.
    void Reserve(int lines);

    // Bytes the store holds from the heap: blocks and index at their capacity.
    std::size_t MemoryBytes() const;
    // Bytes of text the lines take now.
    std::size_t TextBytes() const { return FLiveBytes; }
    // Text in the store's form (its lines' bytes, and ASCII between them) as UTF-16, lossless. Such
    // text leaves the program through ReplaceLoneSurrogates, as copying and saving do.
    static QString Decode(std::string_view bytes);

private:
    static constexpr std::uint32_t kNoBlock = 0xFFFFFFFF;
    static constexpr std::uint32_t kBlockSize = 64 * 1024;
    static constexpr auto kHugePage = static_cast<std::uint32_t>(TMappedBlock::HugePage);
    // From this much text on, blocks are huge pages.
    static constexpr std::uint32_t kHugeText = 4 * kHugePage;
    // The least a block of a line that grows holds (of address space; its pages come as it fills).
    static constexpr std::uint32_t kGrowingLine = kBlockSize;

    struct TEntry {
        std::uint32_t Block = kNoBlock;
        std::uint32_t Offset = 0;
        std::uint32_t Bytes = 0;
        std::uint32_t Units = 0;
    };
    // A block of memory mapped for the store alone, unmapped with it.
    struct TBlock {
        explicit TBlock(std::uint32_t size, TMappedBlock::TFill fill = TMappedBlock::TFill::Now) : Memory(size, fill) {}
        char* Data() const { return Memory.Data(); }
        std::uint32_t Size() const { return static_cast<std::uint32_t>(Memory.Size()); }

        TMappedBlock Memory;
        std::uint32_t Used = 0;
        // The block holds one line longer than a shared block, and nothing else.
        bool OwnLine = false;
    };

    TEntry Store(QStringView text, std::uint32_t bytes);
    TEntry StoreBytes(std::string_view bytes, std::uint32_t units, bool ownBlock = false);
    // The line as AppendUtf8 stores it: itself, or its repair in `repaired`; its length in units.
    static std::string_view WellFormed(std::string_view line, std::string& repaired, std::uint32_t& units);
    char* Reserve(std::uint32_t bytes, std::uint32_t& block, std::uint32_t& offset);
    void GrowIndex();
    // Keeps Longest up to date when a line of oldUnits becomes one of units.
    void Grew(std::uint32_t units, std::uint32_t oldUnits);
    void CompactIfWasteful();
    void Compact();

    TMappedArray<TEntry> FIndex;
    std::vector<TBlock> FBlocks;
    std::uint32_t FTail = kNoBlock;  // the block new bytes go to
    std::size_t FLiveBytes = 0;
    std::size_t FUsedBytes = 0;      // live bytes plus garbage
    mutable std::uint32_t FLongest = 0;
    mutable bool FLongestKnown = true;
};
