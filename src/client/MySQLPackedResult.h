// A result set read as it arrives, packed into storage of the client layer's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "MappedBlock.h"

// The rows of a result set as the server sends them (read with mysql_use_result, so the library
// never holds more than the row it reads), packed one after another into chunks of memory mapped for
// this alone, with each column's width measured while each value is copied. Rows are taken once
// each, in order; a chunk goes as soon as the rows in it have been taken (a full-sized one is kept
// for the next block mapped, the transcript's next block most often), so that the rows and what is
// made of them never both exist whole. A NULL value is kept as an empty one. Used by one thread at
// a time.
class TMySQLPackedResult {
public:
    // Chunks grow up to this size; a row larger than that gets a chunk of its own size.
    static constexpr std::size_t ChunkBytes = std::size_t(2) << 20;

    explicit TMySQLPackedResult(std::vector<std::string> names, std::size_t chunkBytes = ChunkBytes);
    ~TMySQLPackedResult();
    TMySQLPackedResult(const TMySQLPackedResult&) = delete;
    TMySQLPackedResult& operator=(const TMySQLPackedResult&) = delete;

    std::int32_t FieldCount() const { return static_cast<std::int32_t>(FNames.size()); }
    // The column's name as the server sent it (UTF-8, whole).
    const std::string& FieldName(std::int32_t index) const { return FNames[static_cast<std::size_t>(index)]; }
    // The widest value of the column among the rows added, in UTF-16 units as DecodeUtf8 counts them.
    std::int32_t ColumnWidth(std::int32_t index) const { return FWidths[static_cast<std::size_t>(index)]; }
    // Rows added.
    std::int64_t RowCount() const { return FRowCount; }

    // Adds a row of FieldCount values in the library's form: values[i] is null for NULL, else
    // lengths[i] bytes.
    void AddRow(const char* const* values, const unsigned long* lengths);
    // Takes the next row: one view per column, valid until the next call. False after the last row.
    bool TakeRow(std::vector<std::string_view>& values);
    // Whether every value of the row taken last is printable ASCII (bytes 0x20 to 0x7E), as found
    // when it was added.
    bool TakenRowPrintable() const { return FTakenPrintable; }

    // Bytes held from the system for rows not yet taken (and the row taken last).
    std::size_t HeldBytes() const { return FHeldBytes; }

private:
    struct TChunk {
        explicit TChunk(std::size_t size) : Memory(size) {}
        TMappedBlock Memory;
        std::size_t Used = 0;
    };

    std::vector<std::string> FNames;
    std::vector<std::int32_t> FWidths;
    std::size_t FChunkBytes;
    std::deque<TChunk> FChunks; // the first holds the next row to take, the last the newest row
    std::size_t FReadOffset = 0;
    std::int64_t FRowCount = 0;
    std::int64_t FTaken = 0;
    bool FTakenPrintable = false;
    std::size_t FHeldBytes = 0;
};
