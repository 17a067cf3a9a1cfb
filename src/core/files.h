// Whole-file reading and safe writing, the current folder and folder listings. Calls only the C
// library and POSIX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// Reads the whole file into *out. False (and *out empty) when it cannot be opened or read.
bool ReadFile(const std::string& path, std::string* out);

// Reads at most `length` bytes from the start of the file into `buffer`; returns the number of
// bytes read, or -1 when the file cannot be opened. A short file leaves the rest of the buffer
// as it was.
long ReadFilePrefix(const std::string& path, void* buffer, size_t length);

// Writes the data to a temporary file in the same folder, flushes it and renames it over
// `path`, so the old file stays whole if anything fails. False on any failure, with errno
// telling why.
bool WriteFileAtomic(const std::string& path, std::string_view data);

bool FileExists(const std::string& path);

// Creates the folder and its missing parents. True when it exists afterwards.
bool MakeFolders(const std::string& path);

// The absolute path of the current folder, without a trailing '/'; "./" when it cannot be read
// (removed, or not reachable any more), so paths built on it still name the current folder.
std::string CurrentFolder();

// The names of the entries of a folder (files and folders, without "." and ".."), sorted by name
// so callers see the same order on every run. False (and *names empty) when the folder cannot be
// read.
bool ListFolder(const std::string& path, std::vector<std::string>* names);

}  // namespace core
