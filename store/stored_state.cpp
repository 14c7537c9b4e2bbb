#include "store/stored_state.h"

void LoadConfig(IStoreFiles& files, const U16& configPath, ConfigRecord& record) {
  if (const auto bytes = files.ReadForUpdate(configPath, kConfigRecordBytes)) {
    OverlayConfigBytes(record, bytes->data(), bytes->size());
  }
  record.softtype = kSoftType;
}

bool SaveConfig(IStoreFiles& files, const U16& configPath, const ConfigRecord& record) {
  const ConfigBytes image = ConfigRecordToBytes(record);
  return SaveFileSafely(files, configPath, FileBytes(image.begin(), image.end()));
}

std::optional<U16> LoadSiteText(IStoreFiles& files, ICodePageConverter& codePage,
                                const U16& siteListPath) {
  const auto bytes = files.ReadForUpdate(siteListPath, kSiteTextReadLimit + 1);
  if (!bytes) return std::nullopt;
  std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  text = text.substr(0, text.find('\0'));
  if (text.size() > kSiteTextReadLimit) {
    // Cut at a line break, never inside an address or a double-byte character: CR and LF are
    // never the second byte of one.
    const size_t lastBreak = text.rfind("\r\n", kSiteTextReadLimit - 2);
    text = text.substr(0, lastBreak == std::string_view::npos ? 0 : lastBreak);
  }
  return codePage.FromAnsi(text);
}

bool StoreSiteList(IStoreFiles& files, ICodePageConverter& codePage, const U16& siteListPath,
                   U16View joinedList) {
  const std::string ansi = codePage.ToAnsi(joinedList);
  return SaveFileSafely(files, siteListPath, FileBytes(ansi.begin(), ansi.end()));
}

U16 DefaultSiteList() { return u"http://www.baidu.com"; }
