#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Every message box of the program goes through here, so tests can capture
// messages instead of blocking on them.
namespace guiMessage {

struct Message
{
    QString caption;
    QString text;
    QMessageBox::Icon icon;
};

// Shows a message box with an OK button (or hands it to the capture hook).
void show(QWidget* parent, const QString& caption, const QString& text, QMessageBox::Icon icon);

// The program's title for message captions: "Quilton".
inline QString appTitle()
{
    return QStringLiteral("Quilton");
}

// Replaces the message box with hook (nullptr restores it). For tests.
void setCapture(std::function<void(const Message&)> hook);

} // namespace guiMessage
