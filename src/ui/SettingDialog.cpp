#include "ui/SettingDialog.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>

#include "transport/Connection.h"
#include "ui/DialogKeys.h"
#include "ui/DialogUnits.h"

namespace corvane {

SettingDialog::SettingDialog(Connection& connection, QWidget* parent)
    : QDialog(parent), connection(connection) {
    askQuestion = [this](const QString& text) {
        return QMessageBox::question(this, QCoreApplication::applicationName(), text,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
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
