#include "platform/DesktopBackends.h"
#include "platform/RegistryStore.h"

namespace DesktopBackends {

namespace {

// A plain X11 session: feh paints the picture onto the root window. feh
// cannot take a picture away again; xsetroot paints the root window plain.
class FehDesktop : public Desktop
{
public:
    FehDesktop(RegistryStore& store, QString feh, QString xsetroot)
        : m_store(store), m_feh(std::move(feh)), m_xsetroot(std::move(xsetroot))
    {
    }

    bool applyWallpaper(const QString& path, bool tiled, int, int) override
    {
        m_error.clear();
        ProcessResult result;
        if (path.isEmpty()) {
            if (m_xsetroot.isEmpty()) {
                m_error = QStringLiteral("xsetroot is not installed: the picture stays on the "
                                         "screen until the session ends.");
                return false;
            }
            result = run(m_xsetroot, {QStringLiteral("-solid"), QStringLiteral("black")});
        } else {
            result = run(
                m_feh, {QStringLiteral("--no-fehbg"),
                        tiled ? QStringLiteral("--bg-tile") : QStringLiteral("--bg-center"), path});
        }
        if (!result.ok) {
            m_error = result.error;
            return false;
        }
        m_store.set(QLatin1String(kDesktopKey), QStringLiteral("Wallpaper"), path);
        return true;
    }

    // The root window does not tell which file it shows: read back what
    // was recorded.
    QString currentWallpaper() const override
    {
        return m_store.get(QLatin1String(kDesktopKey), QStringLiteral("Wallpaper"));
    }

    QString name() const override { return QStringLiteral("feh"); }
    QString errorString() const override { return m_error; }

private:
    RegistryStore& m_store;
    QString m_feh;
    QString m_xsetroot;
    QString m_error;
};

} // namespace

std::unique_ptr<Desktop> makeFeh(RegistryStore& store, const QString& feh, const QString& xsetroot)
{
    return std::make_unique<FehDesktop>(store, feh, xsetroot);
}

} // namespace DesktopBackends
