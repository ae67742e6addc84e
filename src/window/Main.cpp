#include "Main.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLocale>
#include <QWindow>
#include <exception>
#include <iostream>

#include "AntennaReport.h"
#include "ComSetupFrm.h"
#include "ErrorDisplay.h"
#include "FloatText.h"
#include "PortDefaults.h"
#include "RadioGroup.h"
#include "SettingsFile.h"
#include "StoreSettings.h"
#include "TransmitCycle.h"
#include "ui_Main.h"

namespace beamlink {

namespace {

// Outer geometry, frame included.
constexpr int kLeft = 192;
constexpr int kTop = 127;
constexpr int kOuterWidth = 484;
constexpr int kOuterHeight = 367;

enum Mode { kNoExternalUnit, kSendData, kSendDataAndControl, kUpdateComInfo, kUpdateTime };

// Read at each use, so the text follows the user's locale. A separator that is not one ASCII
// character cannot pass through the link code's char; '.' is always accepted there.
char userDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 0x80) {
        return static_cast<char>(point[0].unicode());
    }
    return '.';
}

// Labels size themselves to their text.
void showText(QLabel* label, const std::string& text) {
    label->setText(QString::fromStdString(text));
    label->adjustSize();
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TForm1>()) {
    ui->setupUi(this);
    for (QLabel* label :
         {ui->Label2, ui->Label3, ui->Label4, ui->Label1, ui->Label5, ui->Label6, ui->Label7}) {
        label->adjustSize();
    }
    move(kLeft, kTop);
    ui->RadioGroup1->setFocus();

    ComPort1.setSettings(defaultPortSettings());
    initFraming(ComDataPacket1);
    ComPort1.attachPacket(&ComDataPacket1);
    ComDataPacket1.OnPacket = [this](const std::string& Str) { ComDataPacket1Packet(Str); };
    ComPort1.OnCTSChange = [this](bool OnOff) { ComPort1CTSChange(OnOff); };
    // Bound after the layout is built, so its selection of entry 0 runs no action.
    ui->RadioGroup1->OnClick = [this] { RadioGroup1Click(); };
}

TForm1::~TForm1() {
    // Line events write the labels and the link state: stop them before those go.
    try {
        ComPort1.Close();
    } catch (const std::exception& error) {
        std::cerr << "beamlink: closing the port at exit: " << error.what() << '\n';
    }
}

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && !activated_) {
        activated_ = true;
        fitOuterGeometry();
        runWindowHandler([this] { FormActivate(); }, this);
    }
    return QWidget::event(e);
}

void TForm1::closeEvent(QCloseEvent* e) {
    // A port that fails to close keeps the window open, with the error shown.
    if (runWindowHandler([this] { FormClose(); }, this)) {
        e->accept();
    } else {
        e->ignore();
    }
}

// The frame is known only once the window is on screen; the client area takes what is left.
void TForm1::fitOuterGeometry() {
    QWindow* window = windowHandle();
    if (window == nullptr) {
        return;
    }
    const QMargins frame = window->frameMargins();
    const QSize client(kOuterWidth - frame.left() - frame.right(),
                       kOuterHeight - frame.top() - frame.bottom());
    if (size() != client) {
        resize(client);
    }
    if (window->framePosition() != QPoint(kLeft, kTop)) {
        window->setFramePosition(QPoint(kLeft, kTop));
    }
}

void TForm1::FormActivate() {
    state_.StatusFlag8 = true;
    state_.StatusFlag4 = true;
    state_.StatusFlag16 = false;
    state_.StatusFlag2 = false;
    state_.MoonAz = 43.2L;
    state_.MoonEl = 1.01L;
    const char separator = userDecimalSeparator();
    showText(ui->Label4, FloatToStr(state_.MoonAz, separator));
    showText(ui->Label1, FloatToStr(state_.MoonEl, separator));
}

void TForm1::FormClose() {
    ComPort1.Close();
}

void TForm1::ComPort1CTSChange(bool OnOff) {
    runTransmitCycle(
        state_, OnOff, [this](const std::string& record) { ComPort1.WriteStr(record); },
        [this](LinkState& state, std::uint8_t& code, std::uint16_t& field2, std::uint16_t& field3,
               std::uint8_t& status) {
            encoder_.EncodeTimeFields(state, code, field2, field3, status);
        });
}

void TForm1::ComDataPacket1Packet(const std::string& Str) {
    const AntennaLabels labels = handleAntennaReport(state_, Str, userDecimalSeparator());
    showText(ui->Label6, labels.azimuth);
    showText(ui->Label7, labels.elevation);
}

void TForm1::RadioGroup1Click() {
    switch (ui->RadioGroup1->ItemIndex()) {
        case kNoExternalUnit:
            noExternalUnit();
            break;
        case kSendData:
            sendData();
            break;
        case kSendDataAndControl:
            sendDataAndControl();
            break;
        case kUpdateComInfo:
            updateComInfo();
            break;
        case kUpdateTime:
            updateTime();
            break;
        default:
            break;
    }
}

void TForm1::openIfClosed() {
    if (!ComPort1.Connected()) {
        ComPort1.Open();
    }
}

void TForm1::noExternalUnit() {
    // Once control has started, the unit must be told to stop at the next active link.
    if (state_.ControlStarted) {
        sendData();
    }
    if (ComPort1.Connected()) {
        ComPort1.Close();
    }
    state_.LinkActive = false;
    state_.ControlPending = false;
}

void TForm1::sendData() {
    prepareFraming(ComDataPacket1);
    openIfClosed();
    state_.StopPending = state_.ControlStarted;
    state_.LinkActive = true;
    state_.ControlPending = false;
}

void TForm1::sendDataAndControl() {
    prepareFraming(ComDataPacket1);
    openIfClosed();
    state_.LinkActive = true;
    state_.ControlPending = true;
}

void TForm1::updateComInfo() {
    ComPort1.Close();
    ShowSetupDialog(ComPort1, this);
    // Stored whatever the dialog's answer.
    storeSettingsToIni(ComPort1.settings(), kSettingsSection, settingsFilePath());
    ui->RadioGroup1->setItemIndex(kNoExternalUnit);
    state_.LinkActive = false;
    state_.ControlPending = false;
}

void TForm1::updateTime() {
    if (!ComPort1.Connected()) {
        prepareFraming(ComDataPacket1);
        ComPort1.Open();
    }
    state_.TimePending = true;
    state_.LinkActive = true;
    state_.ControlPending = false;
    ui->RadioGroup1->setItemIndex(kSendData);
}

}  // namespace beamlink
