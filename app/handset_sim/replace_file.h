// Writes a file whole: a reader sees the old content or the new, never a part.
#pragma once

#include <cstddef>
#include <string>

// Writes data to path through a temporary file beside it; false (errno set) on failure.
bool ReplaceFile(const std::string& path, const void* data, size_t size);
