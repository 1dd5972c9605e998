// Reads the version note (VersionNote.h) back from an executable file.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// Major, minor, release, build.
using TFileVersion = std::array<std::uint16_t, 4>;

// The file version recorded in the ELF file fileName: looked for in its note sections, or, when it
// has no section table, in its note segments. None for a file that carries no such note, is not an
// ELF file, is damaged or cannot be read; every read is checked against the file's end.
std::optional<TFileVersion> ReadFileVersionNote(const QString& fileName);
