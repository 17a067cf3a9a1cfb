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
// `path`, so the old file stays whole if anything fails. False on any failure, with the reason in
// *reason when given and in errno; the temporary file is gone again. A device or pipe at `path`
// (/dev/null) is written into instead of replaced.
bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* reason = nullptr);

// [SECTION] Temporary files
//
// Every file the engine writes in place of another goes first to a temporary file beside it, named
// TARGET + ".vexel-tmp-" + process id + "-" + a counter, so two writers (or two outputs of one
// save) never share one, and a file left by a killed run is recognised by its name: it is never
// read as data, and the next start removes it.

inline constexpr std::string_view kTemporaryMarker = ".vexel-tmp-";

// A fresh temporary path for `target`, unique in this process.
std::string TemporaryPathFor(const std::string& target);
bool IsTemporaryName(std::string_view name);
// Writes `data` to a fresh temporary file beside `target` and flushes it to the disk; *temporary
// names it. False with the reason (nothing left behind) when any step fails.
bool WriteTemporary(const std::string& target, std::string_view data, std::string* temporary, std::string* reason);
// Renames `from` over `to` (atomic on one file system). False with the reason.
bool ReplaceFile(const std::string& from, const std::string& to, std::string* reason);
// Removes the temporary files directly in `folder` whose writing process is gone. Returns how many.
int RemoveLeftoverTemporaries(const std::string& folder);

// [SECTION] Paths

// `path` with repeated slashes, "." steps and ".." steps folded away, without looking at the disk
// (symbolic links are not followed). A ".." at the root stays at the root; a relative path keeps
// the ".." steps it cannot fold. A trailing slash is kept.
std::string NormalisePath(std::string_view path);
// True when `path`, normalised, lies inside `folder` (absolute, normalised, ending with '/').
bool PathInside(std::string_view path, std::string_view folder);

bool FileExists(const std::string& path);

// Creates the folder and its missing parents. True when it exists afterwards.
bool MakeFolders(const std::string& path);

// The absolute path of the current folder, without a trailing '/'; "./" when it cannot be read
// (removed, or not reachable any more), so paths built on it still name the current folder.
std::string CurrentFolder();

// The names of the entries of a folder (files and folders, without "." and ".." and without
// temporary files), sorted by name so callers see the same order on every run. False (and *names
// empty) when the folder cannot be read.
bool ListFolder(const std::string& path, std::vector<std::string>* names);

}  // namespace core
