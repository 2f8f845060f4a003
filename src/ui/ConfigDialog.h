#pragma once

#include <QString>
#include <functional>

#include "ui/SettingDialog.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QPushButton;

namespace corvane {

// Shown at a name or port edit that refused a typed character.
inline const QString kUnstorableHint =
    QStringLiteral("This character cannot be stored in config.ini");

// Dotted decimal as an IP address control reads it: four octets, an empty
// field counting as 0 and a field above 255 as 255.
QString DottedDecimal(const QString& text);

// "Set Config": seven independent groups, each acting only through its own
// button. Program-side settings go into the config and config.ini; router-side
// settings only leave as queued commands, and only once the router has
// reported the values they are shown with.
class ConfigDialog : public SettingDialog {
    Q_OBJECT
public:
    explicit ConfigDialog(Connection& connection, QWidget* parent = nullptr);

    void SaveChannelNames();
    void SaveAndApplyLink();
    void ApplyGenerator();
    void ApplyMonitoring();
    void ApplyRouterBaudRate();
    void ApplyLockModes();
    void ApplyRouterNetwork();

    QLineEdit* inputNameEdits[16] = {};
    QLineEdit* outputNameEdits[16] = {};
    QRadioButton* rs232Radio = nullptr;
    QRadioButton* ethernetRadio = nullptr;
    QLineEdit* comPortEdit = nullptr;
    QComboBox* pcBaudList = nullptr;
    QLineEdit* ipAddressEdit = nullptr;
    QLineEdit* udpPortEdit = nullptr;
    QPushButton* saveApplyLinkButton = nullptr;
    QComboBox* resolutionList = nullptr;
    QComboBox* patternList = nullptr;
    QPushButton* generatorApplyButton = nullptr;
    QComboBox* monitoringList = nullptr;
    QPushButton* monitoringApplyButton = nullptr;
    QComboBox* routerBaudList = nullptr;
    QPushButton* routerBaudApplyButton = nullptr;
    QComboBox* webLockList = nullptr;
    QComboBox* dataLockList = nullptr;
    QComboBox* keyLockList = nullptr;
    QPushButton* lockApplyButton = nullptr;
    QLineEdit* routerIpEdit = nullptr;
    QLineEdit* routerPortEdit = nullptr;
    QLineEdit* routerSubnetEdit = nullptr;
    QLineEdit* routerGatewayEdit = nullptr;
    QLineEdit* macEdits[6] = {};
    QPushButton* networkApplyButton = nullptr;
    QPushButton* saveNamesButton = nullptr;

private:
    bool ReportSave(bool saved, const QString& what);
};

}  // namespace corvane
