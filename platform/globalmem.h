#pragma once

// Movable global memory blocks, the unit in which clipboard data changes hands. A block is
// known by its handle (0 = none); its bytes are reachable only between GlobalLock and
// GlobalUnlock. Handles are never reused within a process, so a stale handle is recognised.

#include <cstddef>
#include <cstdint>

#include "platform/graphics.h"

inline constexpr std::uint32_t GMEM_FIXED = 0x0000;
inline constexpr std::uint32_t GMEM_MOVEABLE = 0x0002;
inline constexpr std::uint32_t GMEM_ZEROINIT = 0x0040;
inline constexpr std::uint32_t GMEM_DDESHARE = 0x2000;
inline constexpr std::uint32_t GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// A new block of Bytes bytes; 0 on failure. Without GMEM_ZEROINIT the bytes are filled with
// kGlobalFillByte so that code which forgets to write part of a block shows up in tests.
HGLOBAL GlobalAlloc(std::uint32_t Flags, std::size_t Bytes);
// Pointer to the block's bytes and one more lock; nullptr for an invalid handle or a block of
// 0 bytes. The pointer stays valid until the block is freed.
void* GlobalLock(HGLOBAL Mem);
// One lock less; returns true while the block is still locked afterwards.
bool GlobalUnlock(HGLOBAL Mem);
// Size in bytes; 0 for an invalid handle.
std::size_t GlobalSize(HGLOBAL Mem);
// Frees the block, locked or not. Returns 0 on success, the handle itself when it is invalid.
HGLOBAL GlobalFree(HGLOBAL Mem);

inline constexpr std::uint8_t GlobalFillByte = 0xCD;

// ---- test and diagnostics hooks --------------------------------------------------------------

// Number of blocks currently allocated.
int LiveGlobalBlocks();
// Current lock count of a block (0 for an invalid handle).
int GlobalLockCount(HGLOBAL Mem);
// With a countdown n > 0 the n-th next GlobalAlloc (or GlobalLock) fails; 0 switches it off.
void SetGlobalAllocFailCountdown(int N);
void SetGlobalLockFailCountdown(int N);
