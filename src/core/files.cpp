// Whole-file reading and safe writing, the current folder and folder listings. Calls only the C
// library and POSIX.
#include "core/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace core {
namespace {

// False with errno set (0 when the file system took no byte without saying why).
bool WriteAll(int fd, std::string_view data) {
  errno = 0;
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;  // nothing written and no reason given
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ReadFile(const std::string& path, std::string* out) {
  out->clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  out->reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      out->clear();
      return false;
    }
    if (n == 0) break;
    out->append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

long ReadFilePrefix(const std::string& path, void* buffer, size_t length) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  size_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < length) {
    const ssize_t n = read(fd, bytes + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  return static_cast<long>(done);
}

std::string TemporaryPathFor(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  return target + std::string(kTemporaryMarker) + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

bool IsTemporaryName(std::string_view name) { return name.find(kTemporaryMarker) != std::string_view::npos; }

bool WriteTemporary(const std::string& target, std::string_view data, std::string* temporary, std::string* reason) {
  *temporary = TemporaryPathFor(target);
  const int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  int error = 0;
  if (!WriteAll(fd, data)) error = errno != 0 ? errno : ENOSPC;
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    *reason = std::strerror(error);
    unlink(temporary->c_str());
    errno = error;
    return false;
  }
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string* reason) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  const int error = errno;
  *reason = std::strerror(error);
  errno = error;
  return false;
}

bool WriteFileAtomic(const std::string& path, std::string_view data, std::string* reason) {
  std::string why;
  int error = 0;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    // A device or a pipe (/dev/null, a terminal) is written into: renaming a file over it would
    // replace the device node itself.
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0 || !WriteAll(fd, data)) error = errno != 0 ? errno : ENOSPC;
    if (fd >= 0 && close(fd) != 0 && error == 0) error = errno;
  } else {
    std::string temporary;
    if (!WriteTemporary(path, data, &temporary, &why)) {
      error = errno;
    } else if (!ReplaceFile(temporary, path, &why)) {
      error = errno;
      unlink(temporary.c_str());
    }
  }
  if (error == 0) return true;
  if (reason != nullptr) *reason = std::strerror(error);
  errno = error;  // for callers that report errno
  return false;
}

int RemoveLeftoverTemporaries(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return 0;
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base.push_back('/');
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    const size_t marker = name.find(kTemporaryMarker);
    // Earlier builds named every temporary file TARGET + ".tmp-write", without the writer.
    const bool older = name.size() > 10 && name.ends_with(".tmp-write");
    if (marker == std::string_view::npos && !older) continue;
    // The writer's process id follows the marker; a file of a process that still runs (another
    // tool saving in the same folder) is left to it.
    const long pid =
        older ? 0 : std::strtol(std::string(name.substr(marker + kTemporaryMarker.size())).c_str(), nullptr, 10);
    if (pid > 0 && pid != getpid() && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) continue;
    struct stat st {};
    const std::string path = base + std::string(name);
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0) ++removed;
  }
  closedir(dir);
  return removed;
}

std::string NormalisePath(std::string_view path) {
  const bool absolute = !path.empty() && path.front() == '/';
  const bool trailing = !path.empty() && path.back() == '/';
  std::vector<std::string_view> steps;
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view step = path.substr(at, end - at);
    if (step == "..") {
      if (!steps.empty() && steps.back() != "..") steps.pop_back();
      else if (!absolute) steps.push_back(step);
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    at = end + 1;
  }
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < steps.size(); ++i) {
    if (i > 0) out.push_back('/');
    out.append(steps[i]);
  }
  if (trailing && !steps.empty()) out.push_back('/');
  if (out.empty()) out = ".";
  return out;
}

bool PathInside(std::string_view path, std::string_view folder) {
  if (folder.empty() || folder.back() != '/') return false;
  const std::string normal = NormalisePath(path);
  return normal.size() > folder.size() && normal.compare(0, folder.size(), folder) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool MakeFolders(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    if (i < path.size()) partial.push_back(path[i]);
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string CurrentFolder() {
  // getcwd with no buffer allocates one of the path's own length, so deep folders work too.
  const std::unique_ptr<char, decltype(&std::free)> path(getcwd(nullptr, 0), &std::free);
  return path != nullptr ? std::string(path.get()) : std::string("./");
}

bool ListFolder(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != ".." && !IsTemporaryName(name)) names->emplace_back(name);
  }
  closedir(dir);
  std::sort(names->begin(), names->end());
  return true;
}

}  // namespace core
