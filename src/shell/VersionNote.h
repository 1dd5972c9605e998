// The ELF note in which an executable records its own file and product versions.
#pragma once

#include <cstdint>

// The note's owner name (with its terminating zero, as ELF notes count it) and type.
inline constexpr char VersionNoteOwner[] = "Brindlecast";
inline constexpr std::uint32_t VersionNoteType = 0x56455231; // "VER1": the layout below

// The note's descriptor: major, minor, release, build of each version, in the file's byte order.
struct TVersionNoteDesc {
    std::uint16_t FileVersion[4];
    std::uint16_t ProductVersion[4];
};

// A whole note as the executable carries it: the standard note header, the owner padded to four
// bytes, then the descriptor.
struct TVersionNote {
    std::uint32_t OwnerSize;
    std::uint32_t DescSize;
    std::uint32_t Type;
    char Owner[(sizeof(VersionNoteOwner) + 3) / 4 * 4];
    TVersionNoteDesc Desc;
};

static_assert(sizeof(TVersionNote) == 12 + 12 + 16, "a note has no padding of its own");
