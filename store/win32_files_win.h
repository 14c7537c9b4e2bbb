#pragma once
// The file seam on the C runtime's wide-path streams and MoveFileExW.
#include "store/store_files.h"

class Win32StoreFiles : public IStoreFiles {
 public:
  std::optional<FileBytes> ReadForUpdate(const U16& path, size_t maxBytes) override;
  bool MayOverwrite(const U16& path) override;
  bool WriteFlushed(const U16& path, const FileBytes& bytes) override;
  bool ReplaceWith(const U16& from, const U16& to) override;
  void Remove(const U16& path) override;
};
