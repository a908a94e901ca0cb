// The per-user settings behind the folder histories and the recent-file list.
#pragma once

#include <QSettings>
#include <QString>

#include "files/dir_history.h"

namespace quillon::app {

inline constexpr const char* kOrganisation = "QuillonSoft";
inline constexpr const char* kApplication = "Quillon_L";
inline constexpr const char* kHistorySection = "Version 1.0";
inline constexpr const char* kRecentSection = "Recent File List";
// The statistics switch of the Settings menu, kept from one run to the next.
inline constexpr const char* kStatisticsSetting = "Options/Statistics";
// The start search and the precise gradient of the Settings menu.
inline constexpr const char* kSearchStartsSetting = "Options/SearchStarts";
inline constexpr const char* kPreciseSetting = "Options/Precise";

// One group of a QSettings as a key-value store.
class QSettingsStore : public IKeyValueStore {
  public:
    QSettingsStore(QSettings& settings, QString group)
        : m_settings(settings), m_group(std::move(group)) {}
    std::optional<std::string> Read(const std::string& key) const override;
    void Write(const std::string& key, const std::string& value) override;

  private:
    QSettings& m_settings;
    QString m_group;
};

}  // namespace quillon::app
