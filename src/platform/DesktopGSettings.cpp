#include "platform/DesktopBackends.h"

#include <QUrl>

namespace DesktopBackends {

namespace {

// Where a desktop of the GNOME family keeps its wallpaper in GSettings: the
// picture (a file URI, or a plain path on MATE), on GNOME a second picture
// for the dark style, and how it is laid out ("none" for a plain colour).
struct Schema
{
    QString name;
    QString schema;
    QString picture;
    QString darkPicture; // empty where the desktop has none
    bool uri;
};

Schema schemaOf(GSettingsDesktop kind)
{
    switch (kind) {
    case GSettingsDesktop::Mate:
        return {QStringLiteral("mate"), QStringLiteral("org.mate.background"),
                QStringLiteral("picture-filename"), QString(), false};
    case GSettingsDesktop::Cinnamon:
        return {QStringLiteral("cinnamon"), QStringLiteral("org.cinnamon.desktop.background"),
                QStringLiteral("picture-uri"), QString(), true};
    case GSettingsDesktop::Gnome:
        break;
    }
    return {QStringLiteral("gnome"), QStringLiteral("org.gnome.desktop.background"),
            QStringLiteral("picture-uri"), QStringLiteral("picture-uri-dark"), true};
}

const QString kOptions = QStringLiteral("picture-options");

class GSettingsDesktopImpl : public HelperDesktop
{
public:
    GSettingsDesktopImpl(RegistryStore& store, GSettingsDesktop kind, QString gsettings)
        : HelperDesktop(store), m_s(schemaOf(kind)), m_gsettings(std::move(gsettings))
    {
    }

    bool applyWallpaper(const QString& path, bool tiled, int, int) override
    {
        m_error.clear();
        State wanted;
        if (path.isEmpty()) {
            wanted[kOptions] = QStringLiteral("'none'");
        } else {
            const QString picture = gvariantString(
                m_s.uri ? QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) : path);
            for (const QString& key : pictureKeys())
                wanted[key] = picture;
            wanted[kOptions] = tiled ? QStringLiteral("'wallpaper'") : QStringLiteral("'centered'");
        }
        return restoreState(wanted, path);
    }

    QString currentWallpaper() const override
    {
        const ProcessResult options =
            run(m_gsettings, {QStringLiteral("get"), m_s.schema, kOptions});
        const ProcessResult picture =
            run(m_gsettings, {QStringLiteral("get"), m_s.schema, m_s.picture});
        if (!options.ok || !picture.ok ||
            parseGVariantPath(QString::fromUtf8(options.output)) == QLatin1String("none"))
            return {};
        return parseGVariantPath(QString::fromUtf8(picture.output));
    }

    std::optional<State> readState() override
    {
        m_error.clear();
        State state;
        const QStringList keys = pictureKeys() << kOptions;
        for (const QString& key : keys) {
            const std::optional<QByteArray> value =
                ask(m_gsettings, {QStringLiteral("get"), m_s.schema, key});
            if (!value)
                return std::nullopt;
            state[key] = QString::fromUtf8(*value).trimmed();
        }
        return state;
    }

    // Values as gsettings prints them, so they go back unchanged; the
    // placement last, so the desktop never shows the new picture laid out
    // the old way.
    bool restoreState(const State& state, const QString& path) override
    {
        m_error.clear();
        const QStringList keys = pictureKeys() << kOptions;
        for (const QString& key : keys) {
            const auto value = state.constFind(key);
            if (value != state.cend() &&
                !runHelper(m_gsettings, {QStringLiteral("set"), m_s.schema, key, *value}))
                return false;
        }
        recordApplied(path);
        return true;
    }

    QString name() const override { return m_s.name; }

private:
    // The picture keys this desktop has (GNOME before 42 has no dark one).
    QStringList pictureKeys() const
    {
        QStringList keys{m_s.picture};
        if (!m_s.darkPicture.isEmpty()) {
            const ProcessResult listed =
                run(m_gsettings, {QStringLiteral("list-keys"), m_s.schema});
            if (QString::fromUtf8(listed.output).split(QLatin1Char('\n')).contains(m_s.darkPicture))
                keys << m_s.darkPicture;
        }
        return keys;
    }

    Schema m_s;
    QString m_gsettings;
};

} // namespace

std::unique_ptr<Desktop> makeGSettings(RegistryStore& store, GSettingsDesktop kind,
                                       const QString& gsettings)
{
    return std::make_unique<GSettingsDesktopImpl>(store, kind, gsettings);
}

} // namespace DesktopBackends
