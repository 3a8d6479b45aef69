#include "platform/DesktopBackends.h"

namespace DesktopBackends {

namespace {

// A plain X11 session: feh paints the picture onto the root window. feh
// cannot take a picture away again; xsetroot paints the root window plain.
// The root window does not tell which file it shows: the recorded one is the
// current wallpaper.
class FehDesktop : public HelperDesktop
{
public:
    FehDesktop(RegistryStore& store, QString feh, QString xsetroot)
        : HelperDesktop(store), m_feh(std::move(feh)), m_xsetroot(std::move(xsetroot))
    {
    }

    bool applyWallpaper(const QString& path, bool tiled, int, int) override
    {
        m_error.clear();
        bool ok = false;
        if (path.isEmpty()) {
            if (m_xsetroot.isEmpty()) {
                m_error = QStringLiteral("xsetroot is not installed: the picture stays on the "
                                         "screen until the session ends.");
                return false;
            }
            ok = runHelper(m_xsetroot, {QStringLiteral("-solid"), QStringLiteral("black")});
        } else {
            ok = runHelper(
                m_feh, {QStringLiteral("--no-fehbg"),
                        tiled ? QStringLiteral("--bg-tile") : QStringLiteral("--bg-center"), path});
        }
        if (ok)
            recordApplied(path);
        return ok;
    }

    QString name() const override { return QStringLiteral("feh"); }

private:
    QString m_feh;
    QString m_xsetroot;
};

} // namespace

std::unique_ptr<Desktop> makeFeh(RegistryStore& store, const QString& feh, const QString& xsetroot)
{
    return std::make_unique<FehDesktop>(store, feh, xsetroot);
}

} // namespace DesktopBackends
