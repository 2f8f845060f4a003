#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QRect;

namespace corvane {

class Connection;

// What the setting dialogs share: Enter never ends them; every Apply says in
// a status line what it sent, or why it sent nothing; closing with edits that
// were neither saved nor applied asks first.
class SettingDialog : public QDialog {
    Q_OBJECT
public:
    // Titled, in the dialogs' face, of a fixed size in dialog units.
    SettingDialog(Connection& connection, const QString& title, int widthDlu, int heightDlu,
                  QWidget* parent);

    // A push button that leaves Enter alone, with its tooltip, and a captioned
    // frame behind a group of controls; at a place in dialog units.
    QPushButton* AddButton(const char* text, int x, int y, int w, int h, const char* tip);
    void AddGroup(const char* title, int x, int y, int w, int h);
    // The status line, at a place of the dialog's layout (dialog units).
    void CreateStatusLine(const QRect& units);
    void Say(const QString& text);

    // Queues the commands in order and says so; false (and says why) when
    // any of them was refused.
    bool Send(const std::vector<std::string>& commands);
    // A command built on a value the router has not reported would send a
    // placeholder: says so and returns false. what: "its locks".
    bool Reported(bool known, const char* what);

    // A group of settings, named as the user sees it, and how to read what
    // its controls show. Tracking starts from what they show now.
    void Track(const QString& name, std::function<QString()> values);
    // The group's controls now show what was saved or applied.
    void MarkSaved(const QString& name);
    // Groups whose controls changed since they were last saved or applied.
    QStringList Unsaved() const;

    // Esc and the close box: asks first when there are unsaved edits.
    void reject() override;

    Connection& connection;
    QLabel* statusLine = nullptr;
    // A yes/no question whose default is No, and a message the user must
    // see: message boxes unless replaced (tests do).
    std::function<bool(const QString&)> askQuestion;
    std::function<void(const QString&)> showMessage;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    struct Group {
        QString name;
        std::function<QString()> values;
        QString saved;
    };
    std::vector<Group> groups_;
};

}  // namespace corvane
