#include "store/posix_files.h"
#include "store/read_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { if (fd_ >= 0) ::close(fd_); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
 private:
  int fd_;
};

// A regular file that is ours to write; root would otherwise ignore the permission bits.
bool IsWritableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) != 0;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::optional<FileBytes> PosixStoreFiles::ReadForUpdate(const U16& path, size_t maxBytes) {
  const std::string name = Utf8FromU16(path);
  if (!IsWritableFile(name)) return std::nullopt;
  UniqueFile file(std::fopen(name.c_str(), "r+b"));
  if (!file) return std::nullopt;
  return ReadWholeStream(file.get(), maxBytes);
}

bool PosixStoreFiles::MayOverwrite(const U16& path) {
  const std::string name = Utf8FromU16(path);
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return errno == ENOENT;
  if (!IsWritableFile(name)) return false;
  UniqueFd fd(::open(name.c_str(), O_WRONLY));
  return fd.get() >= 0;
}

bool PosixStoreFiles::WriteFlushed(const U16& path, const FileBytes& bytes) {
  const std::string name = Utf8FromU16(path);
  UniqueFile file(std::fopen(name.c_str(), "wb"));
  if (!file) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    return false;
  }
  if (std::fflush(file.get()) != 0 || ::fsync(::fileno(file.get())) != 0) return false;
  return std::fclose(file.release()) == 0;
}

bool PosixStoreFiles::ReplaceWith(const U16& from, const U16& to) {
  const std::string target = Utf8FromU16(to);
  if (std::rename(Utf8FromU16(from).c_str(), target.c_str()) != 0) return false;
  // Make the new directory entry itself durable.
  UniqueFd folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}

void PosixStoreFiles::Remove(const U16& path) { ::unlink(Utf8FromU16(path).c_str()); }
