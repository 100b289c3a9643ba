#pragma once

// The download log: when each downloaded game finished downloading. Read once at start-up,
// rewritten from the catalogue at exit (DataFileLoader::SaveDownloadLog).

#include <map>
#include <string>

#include "store/GameCatalogue.h"

namespace store {

// Game id -> download date ("2009-7-5 14:3:9"), byte-wise id order.
using DownloadLog = std::map<std::string, std::string>;

// Copies the logged dates into the catalogue's downloaded games (state 3); other games and
// entries for unknown ids are left alone.
void MergeDownloadLog(const DownloadLog& log, GameCatalogue& catalogue);

} // namespace store
