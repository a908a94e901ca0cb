// Qt's own texts (file dialogs, message-box buttons, context menus) in
// Japanese, like the rest of the window.
#pragma once

class QCoreApplication;

namespace quillon::app {

// Installs Qt's Japanese translation (qtbase_ja, from Qt's translations
// folder; Debian's qt6-translations-l10n) into the application. False when
// it is not installed: Qt's texts then stay in English.
bool InstallQtJapanese(QCoreApplication& app);

}  // namespace quillon::app
