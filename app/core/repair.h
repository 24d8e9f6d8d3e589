#pragma once

// Check and repair of base map files whose 8-bit rows were stored back to back, without the
// padding of every row to a multiple of 4 bytes that the BMP format requires.

#include <string>

class TStream;

// True when the file is an 8-bit, uncompressed, bottom-up BMP whose width is not a multiple of 4
// and whose pixel data is exactly width x height bytes: rows stored without their padding.
// Every other file gives false. A missing file raises EFOpenError, a file shorter than its two
// headers (54 bytes) EReadError.
bool CheckBitmap(const std::string& FileName);

// The name under which FixBitmap keeps the bad file: FileName without its extension, followed
// by "_BAD_DATA.BMP".
std::string BadDataFileName(const std::string& FileName);

// Repairs a file for which CheckBitmap is true: the bad file is kept under BadDataFileName (an
// older file of that name is replaced) and a copy with padded rows and a corrected bfSize is
// written under FileName, with FileName's permissions. Any other file is left alone. FileName
// is never missing, not even when the program is killed: it holds the original until the bad
// copy exists. On failure FileName still holds the original and the error is passed on
// (EFOpenError, EReadError, EWriteError, EFCreateError).
void FixBitmap(const std::string& FileName);

// Writes to Out what FixBitmap would write under FileName, leaving the file alone, and returns
// true; returns false, writing nothing, for a file that needs no repair. Errors as FixBitmap's.
bool ReadRepaired(const std::string& FileName, TStream& Out);
