#include "app/guiMessage.h"

#include <utility>

namespace guiMessage {

namespace {
// The installed capture hook; empty while real message boxes are shown.
std::function<void(const Message&)>& captureHook()
{
    static std::function<void(const Message&)> hook;
    return hook;
}
} // namespace

void show(QWidget* parent, const QString& caption, const QString& text, QMessageBox::Icon icon)
{
    if (const auto& hook = captureHook()) {
        hook(Message{caption, text, icon});
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void setCapture(std::function<void(const Message&)> hook)
{
    captureHook() = std::move(hook);
}

} // namespace guiMessage
