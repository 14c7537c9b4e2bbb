#pragma once
// The file seam on POSIX calls, for native tests. Paths are UTF-16 and converted to UTF-8.
// A file without its owner's write bit counts as read-only even for root, as the read-only
// attribute on Windows binds even an administrator.
#include "store/store_files.h"

class PosixStoreFiles : public IStoreFiles {
 public:
  std::optional<FileBytes> ReadForUpdate(const U16& path, size_t maxBytes) override;
  bool MayOverwrite(const U16& path) override;
  bool WriteFlushed(const U16& path, const FileBytes& bytes) override;
  bool ReplaceWith(const U16& from, const U16& to) override;
  void Remove(const U16& path) override;
};
