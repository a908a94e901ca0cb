// The recent-file list of the File menu: ten paths, the most recent first,
// kept between runs.
#pragma once

#include <string>
#include <vector>

#include "files/dir_history.h"

namespace quillon::app {

inline constexpr int kRecentFileCount = 10;

class RecentFiles {
  public:
    // Puts path first; an entry already listed moves up, the oldest beyond
    // ten drops out.
    void Add(const std::string& path);
    void Remove(const std::string& path);
    const std::vector<std::string>& Paths() const { return m_paths; }

    // Values "File1" ... "File10" of the store, as the list has always been kept.
    void Load(const IKeyValueStore& store);
    void Save(IKeyValueStore& store) const;

  private:
    std::vector<std::string> m_paths;
};

}  // namespace quillon::app
