// beamlink-demo: the beamlink window talking to a built-in simulated beam unit on a loopback
// network serial port, for trying the program without hardware.
#include <QApplication>
#include <cstdio>

#include "BeamSim.h"
#include "Main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    beamlink::sim::BeamSimOptions options;
    options.ctsPeriodMs = 1000;
    options.reportBeforeRise = true;
    options.log = true;
    beamlink::sim::BeamSim unit(options);
    std::printf("simulated beam unit on %s\n", unit.url().c_str());
    std::fflush(stdout);

    beamlink::TForm1 form;
    form.comPort().setPort(unit.url());
    form.show();
    form.activateWindow();
    return app.exec();
}
