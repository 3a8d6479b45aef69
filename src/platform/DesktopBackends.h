#pragma once

// The implementations behind Desktop and what they share. Only the factory
// and the tests reach in here; the program talks to Desktop.

#include "platform/Desktop.h"
#include "platform/RegistryStore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace DesktopBackends {

// The registry key the desktop's values live under.
inline constexpr const char* kDesktopKey = "Control Panel\\desktop";

// How long one helper program may take before it counts as failed.
inline constexpr int kTimeoutMs = 5000;

struct ProcessResult
{
    bool ok = false;   // started, finished in time and exited with 0
    QByteArray output; // its standard output
    QString error;     // what went wrong, for the message
};

// Runs program with arguments (no shell involved) and waits at most
// timeoutMs; a program that takes longer is killed.
ProcessResult run(const QString& program, const QStringList& arguments, int timeoutMs = kTimeoutMs);

// The text of a GVariant string as gsettings prints it ('...' or "..."
// with backslash escapes); a file URI becomes its local path.
QString parseGVariantPath(const QString& printed);

// A GVariant text literal for a string: single quotes, with backslash and
// single quote escaped.
QString gvariantString(const QString& text);

// What the desktops driven by a helper program share: the helper's failure
// kept for errorString(), and the wallpaper recorded in the store once the
// desktop has taken it.
class HelperDesktop : public Desktop
{
public:
    QString errorString() const override { return m_error; }

protected:
    explicit HelperDesktop(RegistryStore& store) : m_store(store) {}

    // Runs a helper; on failure keeps its reason and returns nothing.
    std::optional<QByteArray> ask(const QString& program, const QStringList& arguments) const
    {
        ProcessResult result = run(program, arguments);
        if (!result.ok) {
            m_error = result.error;
            return std::nullopt;
        }
        return std::move(result.output);
    }
    bool runHelper(const QString& program, const QStringList& arguments) const
    {
        return ask(program, arguments).has_value();
    }
    // Records path (empty: none) as the desktop's wallpaper.
    void recordApplied(const QString& path)
    {
        m_store.set(QLatin1String(kDesktopKey), QStringLiteral("Wallpaper"), path);
    }

    RegistryStore& m_store;
    mutable QString m_error;
};

// The desktops whose wallpaper lives in GSettings.
enum class GSettingsDesktop { Gnome, Mate, Cinnamon };

// Each takes the full path of its helper program.
std::unique_ptr<Desktop> makeGSettings(RegistryStore& store, GSettingsDesktop kind,
                                       const QString& gsettings);
std::unique_ptr<Desktop> makeXfce(RegistryStore& store, const QString& xfconfQuery);
// KDE Plasma through its shell's scripting interface, called with dbus-send.
std::unique_ptr<Desktop> makeKde(RegistryStore& store, const QString& dbusSend);
// xsetroot may be empty; it is used to clear the root window for "no
// wallpaper". fehbg is the user's ~/.fehbg, which feh rewrites on every change
// and the session runs at log-in.
std::unique_ptr<Desktop> makeFeh(RegistryStore& store, const QString& feh, const QString& xsetroot,
                                 const QString& fehbg);

// The words of a shell command line as sh would split them (quotes and
// backslashes undone; no expansions).
QStringList shellWords(const QString& line);

} // namespace DesktopBackends
