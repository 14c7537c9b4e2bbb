#pragma once
// Reading and writing Config.dat and site.txt. Paths are arguments so tests use a temporary
// folder; the file system and the code page come in through their seams.
#include <optional>

#include "base/utf16.h"
#include "store/code_page.h"
#include "store/config_record.h"
#include "store/store_files.h"

// A guard against absurd files only: no list that can be run comes near it (every site costs a
// thread). site.txt is read whole up to it; a longer file keeps only its whole lines within it.
constexpr size_t kSiteTextReadLimit = 16 << 20;

// Loads Config.dat over the record (a missing, read-only or short file leaves the uncovered
// fields as they were) and then sets softtype to 2.
void LoadConfig(IStoreFiles& files, const U16& configPath, ConfigRecord& record);

// Writes the record's 240 bytes; false when Config.dat could not be written.
bool SaveConfig(IStoreFiles& files, const U16& configPath, const ConfigRecord& record);

// The stored site list as text: the file's bytes up to the first NUL, converted from the code
// page (past kSiteTextReadLimit, only the lines that end within it). nullopt when the file is
// missing or cannot be opened for update: show DefaultSiteList().
std::optional<U16> LoadSiteText(IStoreFiles& files, ICodePageConverter& codePage,
                                const U16& siteListPath);

// Stores the joined site list in the code page, with no terminator and no trailing break (an
// empty list gives an empty file). False when site.txt could not be written.
bool StoreSiteList(IStoreFiles& files, ICodePageConverter& codePage, const U16& siteListPath,
                   U16View joinedList);

// The list shown when no site list is stored: one well-known public address.
U16 DefaultSiteList();
