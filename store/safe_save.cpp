#include "store/store_files.h"

U16 TempPathFor(const U16& target) { return target + u".tmp"; }

bool SaveFileSafely(IStoreFiles& files, const U16& path, const FileBytes& bytes) {
  if (path.empty()) return false;
  // A read-only target must stay as it is: the rename below would otherwise replace it.
  if (!files.MayOverwrite(path)) return false;
  const U16 temp = TempPathFor(path);
  if (!files.WriteFlushed(temp, bytes) || !files.ReplaceWith(temp, path)) {
    files.Remove(temp);
    return false;
  }
  return true;
}
