// beamsim: a simulated beam unit on 127.0.0.1 for trying the program without hardware.
//   beamsim --port N [--period MS] [--slew DEG_PER_S]
// CTS pulses freely (on for half the period), an antenna report goes out before each rise, and
// every record received and report sent is printed, one line each. Stops on SIGINT or SIGTERM.

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "BeamSim.h"

namespace {

int usage() {
    std::cerr << "usage: beamsim --port N [--period MS] [--slew DEG_PER_S]\n";
    return 2;
}

bool parseNumber(const char* text, double min, double max, double& out) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= min && value <= max)) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    beamlink::sim::BeamSimOptions options;
    options.ctsPeriodMs = 1000;
    options.reportBeforeRise = true;
    options.log = true;
    bool havePort = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        double value = 0;
        if (i + 1 >= argc) {
            return usage();
        }
        const char* next = argv[++i];
        if (arg == "--port" && parseNumber(next, 0, 65535, value)) {
            options.port = static_cast<int>(value);
            havePort = true;
        } else if (arg == "--period" && parseNumber(next, 2, 3600000, value)) {
            options.ctsPeriodMs = static_cast<int>(value);
        } else if (arg == "--slew" && parseNumber(next, 0, 1e6, value)) {
            options.slewDegPerSec = value;
        } else {
            return usage();
        }
    }
    if (!havePort) {
        return usage();
    }

    // A shell starts background jobs with SIGINT ignored, and an ignored signal never reaches
    // sigwait(); the simulator is meant to stop on it all the same.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    // Blocked before the server thread starts, so only sigwait() below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        beamlink::sim::BeamSim sim(options);
        std::cout << "listening on " << sim.url() << std::endl;
        int signal = 0;
        sigwait(&stopSignals, &signal);
        std::cout << "stopping" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
