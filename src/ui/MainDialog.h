#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/EventLog.h"
#include "control/SalvoBook.h"
#include "control/StatusText.h"
#include "layout/MatrixLayout.h"
#include "protocol/RouterSession.h"
#include "settings/AppConfig.h"
#include "transport/Connection.h"
#include "ui/ViewOverlay.h"

class QComboBox;
class QSocketNotifier;
class QLabel;

namespace corvane {

class ColorLabel;
class ImageButton;
class LogList;
class MatrixView;
class Swp08Server;
class VideohubServer;
class ViewOverlay;
template <class Server>
struct WindowBridge;

// The program's only top-level window. It owns the model, the settings, the
// connection, the view, the buttons, the status panels and the log list, and
// turns timer ticks, received data and clicks into calls on the core.
class MainDialog : public QDialog {
    Q_OBJECT
public:
    explicit MainDialog(QWidget* parent = nullptr);
    ~MainDialog() override;

    void Connect();
    void Disconnect();
    void SetConfig();
    void SetEdid();
    void ClearAllLinks();
    void OnViewNotify(ViewHitKind kind, int index);
    void RefreshStatusPanels();
    // "Connect" is available exactly while no link is open or failed.
    void UpdateButtons();
    void ShowAbout();
    // F1: the keyboard shortcuts.
    void ShowShortcuts();
    void ToggleScreenLog();
    // Tells the bridges' clients what the window changed (protect, names).
    void SyncBridges();

    // Routing tools of the button row.
    void RecallSalvo();
    void SaveSalvo();
    void RenameSalvo();
    void DeleteSalvo();
    void ToggleTakeMode();
    void Take();
    void CancelTake();
    void Undo();
    void Redo();
    void ToggleProtect(int output);
    // Enables the routing tools and marks the salvo that matches the router.
    void UpdateRoutingControls();
    // Reads salvos.ini again when another program changed it.
    void ReloadSalvosIfChanged();
    // An output a bridge client locked: says who holds it and, if the
    // operator agrees, takes the lock away. True when the window may go on.
    bool ForceOpenClientLock(int output);
    // Keyboard routing: input, a separator, output, Enter. True when the key
    // was taken.
    bool HandleRouteKey(QKeyEvent* e);
    // The session's news, shown over the view (the log has it too).
    void OnSessionEvent(const SessionEvent& event);
    // Shows a line in the status line over the view for a few seconds.
    void ShowNotice(const QString& text, int kind);
    // What the overlay shows now.
    ViewMarks BuildMarks();

    EventLog log;
    RouterSession session;
    AppConfig config;
    Connection connection;
    // config.ini exists but could not be read: nothing connects until it can.
    bool configUnreadable = false;
    SalvoBook salvos{session};
    std::string routeEntry;  // typed so far

    LogList* logList = nullptr;
    MatrixView* matrixView = nullptr;
    ImageButton* disconnectButton = nullptr;
    ImageButton* connectButton = nullptr;
    ImageButton* setEdidButton = nullptr;
    ImageButton* setConfigButton = nullptr;
    ImageButton* linkClearButton = nullptr;
    ImageButton* linkButton = nullptr;
    ImageButton* allLinkButton = nullptr;
    QComboBox* salvoList = nullptr;
    ImageButton* recallButton = nullptr;
    ImageButton* saveSalvoButton = nullptr;
    ImageButton* takeModeButton = nullptr;
    ImageButton* takeButton = nullptr;
    ImageButton* cancelButton = nullptr;
    ImageButton* undoButton = nullptr;
    ImageButton* redoButton = nullptr;
    QLabel* routeEntryLabel = nullptr;
    ViewOverlay* viewOverlay = nullptr;
    ColorLabel* connectionCaption = nullptr;
    ColorLabel* connectionPanel = nullptr;
    ColorLabel* generatorCaption = nullptr;
    ColorLabel* generatorPanel = nullptr;
    ColorLabel* monitoringCaption = nullptr;
    ColorLabel* monitoringPanel = nullptr;
    ColorLabel* lockCaption = nullptr;
    ColorLabel* lockPanel = nullptr;
    ColorLabel* networkCaption = nullptr;
    ColorLabel* networkPanel = nullptr;
    QTimer sendTimer;
    QString notice;  // the status line's latest notice
    int noticeKind = 0;
    int noticeRepeats = 0;      // more of the same kind in the same tick
    long long noticeTick = -1;  // session.tick when it came
    QSocketNotifier* udpNotifier = nullptr;
    // While [VIDEOHUB] Listen and [SWP08] Listen are set.
    std::unique_ptr<WindowBridge<VideohubServer>> videohub;
    std::unique_ptr<WindowBridge<Swp08Server>> swp08;
    int refreshSubscription = 0;
    int eventSubscription = 0;
    // Shows a message the user must see; tests replace it to stay unblocked.
    std::function<void(const QString&)> messageBox;
    // A yes/no question and a line of text; tests replace them too.
    std::function<bool(const QString&)> askQuestion;
    std::function<std::optional<QString>(const QString& prompt, const QString& text)> askText;

    // Esc, the close box and Alt+F4: while a router is connected (or routes
    // wait to be sent) the window asks first.
    void reject() override;

    // Size: the whole layout is drawn at one scale that fits the window's
    // client area, centred in it. A size the user chose is saved to
    // config.ini when the window closes.
    void LayOut();
    void done(int result) override;
    std::vector<std::pair<QWidget*, QRect>> layoutRects;  // every control at scale 1
    QSize openedSize;

protected:
    bool event(QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // The intended input of every output, 1..16.
    using IntendedMap = std::array<int, kChannelTableSize>;
    IntendedMap Intended() const;
    std::vector<RouteChange> ChangesSince(const IntendedMap& before) const;
    // ", sent when the router answers" for changes that wait, else "".
    QString Waiting() const;
    QString InputName(int input) const;
    // "Undid: output 05 back to Camera 2", "Undid: 3 outputs".
    void DescribeSteps(const char* verb, const char* link, const std::vector<RouteChange>& changes);
    bool MayClose();
    void CreateControls();
    void WatchUdpLink(UdpLink* link);

    // What the view drew when it was last repainted: the model's channels
    // and slots, the routes asked for, the names and the selection.
    struct ShownInView {
        int routedInput[kChannelTableSize] = {}, outputPlugged[kChannelTableSize] = {};
        int pending[kChannelTableSize] = {}, staged[kChannelTableSize] = {},
            locks[kChannelTableSize] = {};
        bool inputSignal[kChannelTableSize] = {}, outputPlug[kChannelTableSize] = {},
             edidMode[kChannelTableSize] = {};
        std::string inputStatusText[kChannelTableSize], inputEdidMode[kChannelTableSize];
        std::string inputNames[kChannelTableSize], outputNames[kChannelTableSize];
        int inputCardType[kSlotTableSize] = {}, outputCardType[kSlotTableSize] = {};
        bool cards[kSlotTableSize] = {};
        bool knownRoutes = false;
        int selectedInput = 0;
        bool operator==(const ShownInView&) const = default;
    };
    ShownInView shownInView;
    // Says what became of a change of salvos.ini (refusal: what to say when
    // the change itself was declined, "" for nothing) and shows the result.
    bool SalvoChanged(SalvoBook::Outcome outcome, const QString& refusal);
    void LoadSalvoFile();
    void ShowSalvoDamage();
    void ShowRouteEntry();
    template <class Dialog, class... Args>
    void RunDialog(Args&&... args);
};

}  // namespace corvane
