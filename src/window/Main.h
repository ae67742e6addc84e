#pragma once
// The main window: moon and antenna labels, the five operating modes, and the serial port and
// framing it owns for the whole run.

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "ComDataPacket.h"
#include "ComPort.h"
#include "LinkState.h"
#include "LocalTime.h"
#include "TimeRecord.h"

namespace Ui {
class TForm1;
}

namespace beamlink {

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    LinkState& linkState() { return state_; }
    TComPort& comPort() { return ComPort1; }
    TComDataPacket& dataPacket() { return ComDataPacket1; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormActivate();
    void FormClose();
    void RadioGroup1Click();
    void ComPort1CTSChange(bool OnOff);
    void ComDataPacket1Packet(const std::string& Str);

    // The mode actions, by radio group index.
    void noExternalUnit();
    void sendData();
    void sendDataAndControl();
    void updateComInfo();
    void updateTime();
    void openIfClosed();

    void fitOuterGeometry();

    // Declared so that the port goes first and the widgets, clock and framing outlive it.
    std::unique_ptr<Ui::TForm1> ui;
    LinkState state_;
    SystemClock clock_;
    SystemZone zone_;
    TimeRecordEncoder encoder_{clock_, zone_};
    TComDataPacket ComDataPacket1;
    TComPort ComPort1;
    bool activated_ = false;
};

}  // namespace beamlink
