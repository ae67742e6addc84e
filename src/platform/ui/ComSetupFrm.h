#pragma once
// The port settings dialog: six lists, "OK" applies them to the port as one update.
// Children by objectName: GroupBox1, Label1..Label6, Combo1..Combo6 (port, rate, data bits,
// stop bits, parity, flow control), Button1 ("OK", the default) and Button2 ("Cancel").

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "PortSettings.h"

namespace Ui {
class TComSetupFrm;
}

namespace beamlink {

class TComPort;

class TComSetupFrm : public QDialog {
    Q_OBJECT

public:
    // `ports` are the items of the "Port" list.
    TComSetupFrm(const PortSettings& current, const std::vector<std::string>& ports,
                 QWidget* parent = nullptr);
    ~TComSetupFrm() override;

    // The settings the six lists stand for, applied over the current ones; an empty "Port"
    // selection keeps the current port name.
    PortSettings chosenSettings() const;

private:
    std::unique_ptr<Ui::TComSetupFrm> ui_;
    PortSettings current_;
};

// Shows the dialog modally over the system's port list; "OK" applies the choices to `port`.
// Returns true when confirmed.
bool ShowSetupDialog(TComPort& port, QWidget* parent = nullptr);

}  // namespace beamlink
