#include "app/settings_store.h"

namespace quillon::app {

std::optional<std::string> QSettingsStore::Read(const std::string& key) const {
    const QString name = m_group + "/" + QString::fromStdString(key);
    if (!m_settings.contains(name)) {
        return std::nullopt;
    }
    return m_settings.value(name).toString().toStdString();
}

void QSettingsStore::Write(const std::string& key, const std::string& value) {
    m_settings.setValue(m_group + "/" + QString::fromStdString(key), QString::fromStdString(value));
}

}  // namespace quillon::app
