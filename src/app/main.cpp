// quillon-gui: the Quillon_L window. A file named on the command line opens
// as the document.
#include <QApplication>
#include <QStringList>

#include "app/dialog_file_ui.h"
#include "app/file_commands.h"
#include "app/main_frame.h"
#include "app/qt_translations.h"
#include "app/settings_store.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(quillon::app::kOrganisation);
    QApplication::setApplicationName(quillon::app::kApplication);
    quillon::app::InstallQtJapanese(app);
    quillon::app::DialogFileUi ui(nullptr);
    quillon::app::CMainFrame frame(&ui);
    ui.SetParent(&frame);
    ui.SetSettings(&frame.Settings());
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        frame.Files()->OpenPath(arguments.at(1).toStdString());
        frame.UpdateTitle();
    }
    frame.show();
    return QApplication::exec();
}
