#include "tests/support/test_files.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>

namespace sitemon_test {

namespace {

// Random enough that folders of test programs running side by side never meet.
std::string UniqueSuffix() {
  static std::atomic<unsigned> serial{0};
  std::random_device device;
  const auto clock = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::mt19937_64 mix(clock ^ (static_cast<unsigned long long>(device()) << 32) ^ serial.fetch_add(1));
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string suffix;
  for (int i = 0; i < 12; ++i) suffix += kDigits[mix() % 36];
  return suffix;
}

}  // namespace

TempFolder::TempFolder(std::string_view namePrefix) {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / (std::string(namePrefix) + "-" + UniqueSuffix());
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
    if (ec) return;  // not a name clash: the folder cannot be made at all
  }
}

TempFolder::~TempFolder() {
  if (ok()) RemoveTree(path_);
}

U16 TempFolder::File16(const fs::path& name) const { return PathText16(File(name)); }

void RemoveTree(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) return;
  // Read-only files (and, natively, folders without write permission) would stay behind.
  for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code ignored;
    if (!it->is_symlink(ignored)) fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(folder, ec);
}

U16 PathText16(const fs::path& path) {
#ifdef _WIN32
  const std::wstring text = path.wstring();
  return U16(text.begin(), text.end());
#else
  return U16FromUtf8(path.string());
#endif
}

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WriteBytes(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

void MakeReadOnly(const fs::path& file) {
  std::error_code ignored;
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                  fs::perm_options::replace, ignored);
}

std::string Le32(int32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF);
  return bytes;
}

}  // namespace sitemon_test
