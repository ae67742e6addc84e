// beamlink: the main window and its event loop.
#include <QApplication>

#include "Main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    beamlink::TForm1 form;
    form.show();
    // Also activates the window when no window manager does it.
    form.activateWindow();
    return app.exec();
}
