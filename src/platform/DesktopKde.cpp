#include "platform/DesktopBackends.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace DesktopBackends {

namespace {

// Plasma's shell runs desktop scripts sent over D-Bus and answers with what
// they print. Each desktop (one per screen) has a wallpaper plugin; the
// picture wallpaper "org.kde.image" keeps its picture and fill mode (Qt
// Quick's: 3 tiled, 6 centred) in its configuration group.
const QString kReadScript = QStringLiteral(R"(var out = [];
var all = desktops();
for (var i = 0; i < all.length; ++i) {
    var d = all[i];
    d.currentConfigGroup = ["Wallpaper", "org.kde.image", "General"];
    out.push({id: String(d.id), plugin: String(d.wallpaperPlugin),
              Image: String(d.readConfig("Image", "")),
              FillMode: String(d.readConfig("FillMode", ""))});
}
print(JSON.stringify(out));
)");

// The values to set stand alone on the first line, as JSON: {id: {plugin,
// Image, FillMode}}; an empty fill mode leaves the desktop's own.
const QString kWriteScript = QStringLiteral(R"(var all = desktops();
for (var i = 0; i < all.length; ++i) {
    var d = all[i];
    var w = wanted[String(d.id)];
    if (!w)
        continue;
    d.wallpaperPlugin = w.plugin;
    d.currentConfigGroup = ["Wallpaper", "org.kde.image", "General"];
    d.writeConfig("Image", w.Image);
    if (w.FillMode !== "")
        d.writeConfig("FillMode", Number(w.FillMode));
}
)");

const QString kImagePlugin = QStringLiteral("org.kde.image");
const QStringList kFields{QStringLiteral("plugin"), QStringLiteral("Image"),
                          QStringLiteral("FillMode")};

class KdeDesktop : public HelperDesktop
{
public:
    KdeDesktop(RegistryStore& store, QString dbusSend)
        : HelperDesktop(store), m_dbusSend(std::move(dbusSend))
    {
    }

    bool applyWallpaper(const QString& path, bool tiled, int, int) override
    {
        m_error.clear();
        const std::optional<QJsonArray> desktops = read();
        if (!desktops)
            return false;
        // No picture: the plain-colour wallpaper.
        const QString plugin = path.isEmpty() ? QStringLiteral("org.kde.color") : kImagePlugin;
        const QString image =
            path.isEmpty() ? QString() : QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
        const QString fill =
            path.isEmpty() ? QString() : (tiled ? QStringLiteral("3") : QStringLiteral("6"));
        State wanted;
        for (const QJsonValue& desktop : *desktops) {
            const QString id = desktop[QLatin1String("id")].toString();
            wanted[id + QLatin1String("/plugin")] = plugin;
            wanted[id + QLatin1String("/Image")] = image;
            wanted[id + QLatin1String("/FillMode")] = fill;
        }
        if (wanted.isEmpty()) {
            m_error = QStringLiteral("Plasma のシェルにデスクトップがありません。");
            return false;
        }
        return restoreState(wanted, path);
    }

    // The picture of the shell's first desktop: the program sets them all
    // alike.
    QString currentWallpaper() const override
    {
        const std::optional<QJsonArray> desktops = read();
        if (!desktops || desktops->isEmpty())
            return {};
        const QJsonValue first = desktops->first();
        if (first[QLatin1String("plugin")].toString() != kImagePlugin)
            return {};
        const QString image = first[QLatin1String("Image")].toString();
        return image.startsWith(QLatin1String("file:")) ? QUrl(image).toLocalFile() : image;
    }

    // "<desktop id>/plugin", "/Image" and "/FillMode" of every desktop.
    std::optional<State> readState() override
    {
        m_error.clear();
        const std::optional<QJsonArray> desktops = read();
        if (!desktops)
            return std::nullopt;
        State state;
        for (const QJsonValue& desktop : *desktops) {
            const QString id = desktop[QLatin1String("id")].toString();
            for (const QString& field : kFields)
                state[id + QLatin1Char('/') + field] = desktop[field].toString();
        }
        return state;
    }

    bool restoreState(const State& state, const QString& path) override
    {
        m_error.clear();
        QJsonObject wanted;
        for (auto it = state.cbegin(); it != state.cend(); ++it) {
            const qsizetype slash = it.key().lastIndexOf(QLatin1Char('/'));
            const QString id = it.key().left(slash);
            QJsonObject desktop = wanted[id].toObject();
            desktop[it.key().mid(slash + 1)] = it.value();
            wanted[id] = desktop;
        }
        const QString script =
            QLatin1String("var wanted = ") +
            QString::fromUtf8(QJsonDocument(wanted).toJson(QJsonDocument::Compact)) +
            QLatin1String(";\n") + kWriteScript;
        if (!evaluate(script))
            return false;
        recordApplied(path);
        return true;
    }

    QString name() const override { return QStringLiteral("kde"); }

private:
    std::optional<QByteArray> evaluate(const QString& script) const
    {
        return ask(m_dbusSend,
                   {QStringLiteral("--session"), QStringLiteral("--print-reply=literal"),
                    QStringLiteral("--reply-timeout=%1").arg(kTimeoutMs),
                    QStringLiteral("--dest=org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
                    QStringLiteral("org.kde.PlasmaShell.evaluateScript"),
                    QLatin1String("string:") + script});
    }

    std::optional<QJsonArray> read() const
    {
        const std::optional<QByteArray> printed = evaluate(kReadScript);
        if (!printed)
            return std::nullopt;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(printed->trimmed(), &error);
        if (!document.isArray()) {
            m_error = QStringLiteral("Plasma のシェルの答えが読めません: ") +
                      QString::fromUtf8(printed->trimmed().left(200));
            return std::nullopt;
        }
        return document.array();
    }

    QString m_dbusSend;
};

} // namespace

std::unique_ptr<Desktop> makeKde(RegistryStore& store, const QString& dbusSend)
{
    return std::make_unique<KdeDesktop>(store, dbusSend);
}

} // namespace DesktopBackends
