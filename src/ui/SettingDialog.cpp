#include "ui/SettingDialog.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "transport/Connection.h"
#include "ui/DialogKeys.h"
#include "ui/DialogUnits.h"
#include "ui/Fonts.h"

namespace corvane {

SettingDialog::SettingDialog(Connection& connection, const QString& title, int widthDlu,
                             int heightDlu, QWidget* parent)
    : QDialog(parent), connection(connection) {
    setWindowTitle(title);
    setFont(TahomaFont(11));
    setFixedSize(DluX(widthDlu), DluY(heightDlu));
    showMessage = [this](const QString& text) {
        QMessageBox::warning(this, QCoreApplication::applicationName(), text);
    };
    askQuestion = [this](const QString& text) {
        return QMessageBox::question(this, QCoreApplication::applicationName(), text,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
}

QPushButton* SettingDialog::AddButton(const char* text, int x, int y, int w, int h,
                                      const char* tip) {
    auto* button = new QPushButton(QString::fromLatin1(text), this);
    button->setGeometry(DluRect(x, y, w, h));
    button->setAutoDefault(false);
    button->setToolTip(QString::fromLatin1(tip));
    return button;
}

void SettingDialog::AddGroup(const char* title, int x, int y, int w, int h) {
    auto* box = new QGroupBox(QString::fromLatin1(title), this);
    box->setGeometry(DluRect(x, y, w, h));
    box->lower();
}

void SettingDialog::CreateStatusLine(const QRect& units) {
    statusLine = new QLabel(this);
    statusLine->setGeometry(DluRect(units.x(), units.y(), units.width(), units.height()));
    statusLine->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    statusLine->setTextFormat(Qt::PlainText);
}

void SettingDialog::Say(const QString& text) {
    statusLine->setText(text);
    // A long line is cut at the dialog's edge; the tooltip has all of it.
    statusLine->setToolTip(text);
}

bool SettingDialog::Send(const std::vector<std::string>& commands) {
    QStringList sent;
    for (const std::string& command : commands) {
        if (!connection.session.EnqueueCommand(command)) {
            Say(QStringLiteral("Command too long, not sent (see the log)"));
            return false;
        }
        sent << QString::fromLatin1(command);
    }
    const RouterSession& session = connection.session;
    const int status = session.connectionStatus;
    const QString list = sent.join(QLatin1Char(' '));
    if (status != kConnecting && status != kConnected)
        Say(QStringLiteral("Not connected: %1 goes out after Connect").arg(list));
    else if (!session.answering)
        Say(QStringLiteral("Router not answering: %1 waits to go out").arg(list));
    else
        Say(QStringLiteral("Sent %1").arg(list));
    return true;
}

bool SettingDialog::Reported(bool known, const char* what) {
    if (!known)
        Say(QStringLiteral("The router has not reported %1 yet; nothing sent.")
                .arg(QLatin1String(what)));
    return known;
}

void SettingDialog::Track(const QString& name, std::function<QString()> values) {
    const QString now = values();
    groups_.push_back({name, std::move(values), now});
}

void SettingDialog::MarkSaved(const QString& name) {
    for (Group& group : groups_) {
        if (group.name == name)
            group.saved = group.values();
    }
}

QStringList SettingDialog::Unsaved() const {
    QStringList names;
    for (const Group& group : groups_) {
        if (group.values() != group.saved)
            names << group.name;
    }
    return names;
}

void SettingDialog::reject() {
    const QStringList unsaved = Unsaved();
    if (!unsaved.isEmpty() &&
        !askQuestion(QStringLiteral("Not saved or applied: %1.\nClose and lose these changes?")
                         .arg(unsaved.join(QStringLiteral(", ")))))
        return;
    QDialog::reject();
}

void SettingDialog::keyPressEvent(QKeyEvent* e) {
    if (!HandleEnterKey(*this, e))
        QDialog::keyPressEvent(e);
}

}  // namespace corvane
