#pragma once
// The simulated antenna: it holds its position until control is started, then turns toward the
// commanded position at a fixed slew rate on each axis. Time is passed in, in seconds, so the
// model is exact and needs no ticking.

#include "RecordParser.h"

namespace beamlink::sim {

// Degrees of a position record's words: the azimuth word is az * 100, the elevation word is
// |el| * 100, plus 36000 when el is below zero.
long double azimuthOfWord(unsigned word);
long double elevationOfWord(unsigned word);

class AntennaModel {
public:
    explicit AntennaModel(double slewDegPerSec = 5.0) : slew_(slewDegPerSec) {}

    // Start-control starts control and commands its position, position records command theirs,
    // stop-control holds the antenna where it is, time records set the acknowledgement (and the
    // code-67 status-0 record that answers it commands nothing).
    void apply(const ReceivedRecord& record, double nowSec);

    long double az(double nowSec) const;
    long double el(double nowSec) const;
    int ack() const { return ack_; }
    bool controlStarted() const { return started_; }
    long double commandedAz() const { return targetAz_; }
    long double commandedEl() const { return targetEl_; }

private:
    // Moves the reference position up to nowSec.
    void settle(double nowSec);
    long double along(long double from, long double to, double nowSec) const;

    double slew_;
    bool started_ = false;
    double refTime_ = 0;
    long double refAz_ = 0, refEl_ = 0;
    long double targetAz_ = 0, targetEl_ = 0;
    int ack_ = 0;
    bool awaitingAck_ = false;  // time records came since the last position record
};

}  // namespace beamlink::sim
