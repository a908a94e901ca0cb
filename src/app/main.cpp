// quillon-gui: the Quillon_L window.
#include <QApplication>

#include "app/main_frame.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("QuillonSoft");
    QApplication::setApplicationName("Quillon_L");
    quillon::app::CMainFrame frame;
    frame.show();
    return QApplication::exec();
}
