// The editor's command codes: the one table of numbers that the key map, the dispatcher, posted
// commands and recorded macros share.
#pragma once

#include <cstdint>

// A command code. Typed characters never travel as codes: they reach the editor through its
// character path, so a code above 256 cannot be mistaken for a character such as U+0101.
using TCommand = std::uint16_t;

// No command: what the key map answers for a key it does not know.
inline constexpr TCommand cmdNone = 0;

inline constexpr TCommand cmdLeft = 257;
inline constexpr TCommand cmdUp = 258;
inline constexpr TCommand cmdRight = 259;
inline constexpr TCommand cmdDown = 260;
inline constexpr TCommand cmdSelLeft = 265;
inline constexpr TCommand cmdSelUp = 266;
inline constexpr TCommand cmdSelRight = 267;
inline constexpr TCommand cmdSelDown = 268;
inline constexpr TCommand cmdWordLeft = 269;
inline constexpr TCommand cmdWordRight = 270;
inline constexpr TCommand cmdSelWordLeft = 271;
inline constexpr TCommand cmdSelWordRight = 272;
inline constexpr TCommand cmdSelectWord = 273;
inline constexpr TCommand cmdWindowTop = 274;
inline constexpr TCommand cmdWindowBottom = 275;
inline constexpr TCommand cmdPageUp = 276;
inline constexpr TCommand cmdPageDown = 277;
inline constexpr TCommand cmdSelPageUp = 278;
inline constexpr TCommand cmdSelPageDown = 279;
inline constexpr TCommand cmdLineStart = 280;
inline constexpr TCommand cmdLineEnd = 281;
inline constexpr TCommand cmdTextStart = 282;
inline constexpr TCommand cmdTextEnd = 283;
inline constexpr TCommand cmdSelLineStart = 284;
inline constexpr TCommand cmdSelLineEnd = 285;
inline constexpr TCommand cmdSelTextStart = 286;
inline constexpr TCommand cmdSelTextEnd = 287;
inline constexpr TCommand cmdSelectAll = 288;
inline constexpr TCommand cmdScrollUp = 289;
inline constexpr TCommand cmdScrollDown = 290;
inline constexpr TCommand cmdBlockInclusive = 356;
inline constexpr TCommand cmdBlockLine = 357;
inline constexpr TCommand cmdBlockColumn = 358;
inline constexpr TCommand cmdBlockNonInclusive = 359;
inline constexpr TCommand cmdNewLine = 377;
inline constexpr TCommand cmdBackspace = 378;
inline constexpr TCommand cmdDelete = 379;
inline constexpr TCommand cmdToggleInsert = 380;
inline constexpr TCommand cmdTab = 381;
inline constexpr TCommand cmdBackTab = 382;
inline constexpr TCommand cmdIndentBlock = 383;
inline constexpr TCommand cmdUnindentBlock = 384;
inline constexpr TCommand cmdDeleteSelection = 387;
inline constexpr TCommand cmdCopy = 388;
inline constexpr TCommand cmdCut = 389;
inline constexpr TCommand cmdPaste = 390;
inline constexpr TCommand cmdDeleteLine = 391;
inline constexpr TCommand cmdDeleteWord = 392;
inline constexpr TCommand cmdUpperCase = 393;
inline constexpr TCommand cmdLowerCase = 394;
inline constexpr TCommand cmdToggleCase = 395;
inline constexpr TCommand cmdUndo = 396;
inline constexpr TCommand cmdRedo = 397;
inline constexpr TCommand cmdBeginCompound = 398;
inline constexpr TCommand cmdEndCompound = 399;
inline constexpr TCommand cmdBeginUpdate = 400;
inline constexpr TCommand cmdEndUpdate = 401;
inline constexpr TCommand cmdSetBookmark0 = 402;
inline constexpr TCommand cmdSetBookmark1 = 403;
inline constexpr TCommand cmdSetBookmark2 = 404;
inline constexpr TCommand cmdSetBookmark3 = 405;
inline constexpr TCommand cmdSetBookmark4 = 406;
inline constexpr TCommand cmdSetBookmark5 = 407;
inline constexpr TCommand cmdSetBookmark6 = 408;
inline constexpr TCommand cmdSetBookmark7 = 409;
inline constexpr TCommand cmdSetBookmark8 = 410;
inline constexpr TCommand cmdSetBookmark9 = 411;
inline constexpr TCommand cmdGotoBookmark0 = 412;
inline constexpr TCommand cmdGotoBookmark1 = 413;
inline constexpr TCommand cmdGotoBookmark2 = 414;
inline constexpr TCommand cmdGotoBookmark3 = 415;
inline constexpr TCommand cmdGotoBookmark4 = 416;
inline constexpr TCommand cmdGotoBookmark5 = 417;
inline constexpr TCommand cmdGotoBookmark6 = 418;
inline constexpr TCommand cmdGotoBookmark7 = 419;
inline constexpr TCommand cmdGotoBookmark8 = 420;
inline constexpr TCommand cmdGotoBookmark9 = 421;
inline constexpr TCommand cmdCompleteIdentifier = 422;
inline constexpr TCommand cmdCompleteTemplate = 423;
inline constexpr TCommand cmdRecordMacro = 424;
inline constexpr TCommand cmdPlayMacro = 425;
inline constexpr TCommand cmdColumnSelLeft = 4096;
inline constexpr TCommand cmdColumnSelUp = 4097;
inline constexpr TCommand cmdColumnSelRight = 4098;
inline constexpr TCommand cmdColumnSelDown = 4099;
inline constexpr TCommand cmdDeleteWordLeft = 4106;

// What the key map answers for the first key of a two-key chord: the command waits for the second key.
inline constexpr TCommand cmdChordPending = 65535;
