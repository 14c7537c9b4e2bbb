#pragma once
// Reads an open stream to its end, at most maxBytes, in chunks: the buffer always fits what was
// read, whatever size the file claimed beforehand.
#include <cstdio>

#include "store/store_files.h"

std::optional<FileBytes> ReadWholeStream(std::FILE* file, size_t maxBytes);
