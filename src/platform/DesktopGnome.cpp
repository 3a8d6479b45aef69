#include "platform/DesktopBackends.h"

#include <QUrl>

namespace DesktopBackends {

namespace {

const QString kSchema = QStringLiteral("org.gnome.desktop.background");

// GNOME keeps the wallpaper in its settings: the picture as a file URI (one
// for the light and one for the dark style) and how it is laid out.
class GnomeDesktop : public HelperDesktop
{
public:
    GnomeDesktop(RegistryStore& store, QString gsettings)
        : HelperDesktop(store), m_gsettings(std::move(gsettings))
    {
    }

    bool applyWallpaper(const QString& path, bool tiled, int, int) override
    {
        m_error.clear();
        if (path.isEmpty()) {
            if (!set(QStringLiteral("picture-options"), QStringLiteral("none")))
                return false;
        } else {
            const QString uri =
                gvariantString(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
            if (!set(QStringLiteral("picture-uri"), uri))
                return false;
            // Older GNOME releases have no dark-style picture; that is no
            // failure.
            set(QStringLiteral("picture-uri-dark"), uri);
            m_error.clear();
            if (!set(QStringLiteral("picture-options"),
                     tiled ? QStringLiteral("wallpaper") : QStringLiteral("centered")))
                return false;
        }
        recordApplied(path);
        return true;
    }

    // Asked of GNOME each time: the user may have changed it in the desktop's
    // own settings since.
    QString currentWallpaper() const override
    {
        const ProcessResult options =
            run(m_gsettings, {QStringLiteral("get"), kSchema, QStringLiteral("picture-options")});
        const ProcessResult uri =
            run(m_gsettings, {QStringLiteral("get"), kSchema, QStringLiteral("picture-uri")});
        if (!options.ok || !uri.ok)
            return HelperDesktop::currentWallpaper();
        if (parseGVariantPath(QString::fromUtf8(options.output)) == QLatin1String("none"))
            return {};
        return parseGVariantPath(QString::fromUtf8(uri.output));
    }

    QString name() const override { return QStringLiteral("gnome"); }

private:
    bool set(const QString& key, const QString& value)
    {
        return runHelper(m_gsettings, {QStringLiteral("set"), kSchema, key, value});
    }

    QString m_gsettings;
};

} // namespace

std::unique_ptr<Desktop> makeGnome(RegistryStore& store, const QString& gsettings)
{
    return std::make_unique<GnomeDesktop>(store, gsettings);
}

} // namespace DesktopBackends
