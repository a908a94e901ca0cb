#include "app/recent_files.h"

#include <algorithm>

namespace quillon::app {

void RecentFiles::Add(const std::string& path) {
    if (path.empty()) {
        return;
    }
    Remove(path);
    m_paths.insert(m_paths.begin(), path);
    if (m_paths.size() > static_cast<std::size_t>(kRecentFileCount)) {
        m_paths.resize(kRecentFileCount);
    }
}

void RecentFiles::Remove(const std::string& path) {
    std::erase(m_paths, path);
}

void RecentFiles::Load(const IKeyValueStore& store) {
    m_paths.clear();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const auto value = store.Read("File" + std::to_string(i));
        if (!value || value->empty()) {
            break;
        }
        m_paths.push_back(*value);
    }
}

void RecentFiles::Save(IKeyValueStore& store) const {
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const std::size_t index = static_cast<std::size_t>(i - 1);
        store.Write("File" + std::to_string(i), index < m_paths.size() ? m_paths[index] : "");
    }
}

}  // namespace quillon::app
