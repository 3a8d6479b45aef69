#include "platform/DesktopBackends.h"

namespace DesktopBackends {

namespace {

const QString kChannel = QStringLiteral("xfce4-desktop");
const QString kLastImage = QStringLiteral("last-image");
const QString kImageStyle = QStringLiteral("image-style");

// XFCE keeps one backdrop per monitor and workspace in the xfce4-desktop
// channel, each with its picture (last-image) and its style (image-style:
// 0 none, 1 centred, 2 tiled, ...). The wallpaper goes onto every one of
// them, so it shows whatever workspace or monitor the user looks at.
class XfceDesktop : public HelperDesktop
{
public:
    XfceDesktop(RegistryStore& store, QString xfconfQuery)
        : HelperDesktop(store), m_xfconf(std::move(xfconfQuery))
    {
    }

    bool applyWallpaper(const QString& path, bool tiled, int, int) override
    {
        m_error.clear();
        const std::optional<QStringList> properties = backdropProperties();
        if (!properties)
            return false;
        const QString style = path.isEmpty() ? QStringLiteral("0")
                                             : (tiled ? QStringLiteral("2") : QStringLiteral("1"));
        State wanted;
        for (const QString& property : *properties) {
            if (!property.endsWith(kLastImage))
                continue;
            if (!path.isEmpty())
                wanted[property] = path;
            wanted[property.chopped(kLastImage.size()) + kImageStyle] = style;
        }
        if (wanted.isEmpty()) {
            m_error = QStringLiteral("XFCE のデスクトップに壁紙の設定 (xfce4-desktop の backdrop) "
                                     "がありません。");
            return false;
        }
        return restoreState(wanted, path);
    }

    // The first backdrop (the first monitor's first workspace): the program
    // sets them all alike.
    QString currentWallpaper() const override
    {
        const std::optional<State> state = readBackdrops();
        if (!state)
            return {};
        for (auto it = state->cbegin(); it != state->cend(); ++it) {
            if (!it.key().endsWith(kLastImage))
                continue;
            const QString style = state->value(it.key().chopped(kLastImage.size()) + kImageStyle);
            return style == QLatin1String("0") ? QString() : it.value();
        }
        return {};
    }

    std::optional<State> readState() override
    {
        m_error.clear();
        return readBackdrops();
    }

    // Sets every recorded value back; a style the program added to a
    // backdrop that had none is taken away again.
    bool restoreState(const State& state, const QString& path) override;

    QString name() const override { return QStringLiteral("xfce"); }

private:
    std::optional<State> readBackdrops() const
    {
        const std::optional<QStringList> properties = backdropProperties();
        if (!properties)
            return std::nullopt;
        State state;
        for (const QString& property : *properties) {
            std::optional<QByteArray> value = query({QStringLiteral("-p"), property});
            if (!value)
                return std::nullopt;
            if (value->endsWith('\n'))
                value->chop(1);
            state[property] = QString::fromUtf8(*value);
        }
        return state;
    }

    std::optional<QByteArray> query(const QStringList& arguments) const
    {
        return ask(m_xfconf, QStringList{QStringLiteral("-c"), kChannel} + arguments);
    }

    // The picture and style properties of every backdrop, in xfconf's order.
    std::optional<QStringList> backdropProperties() const;

    QString m_xfconf;
};

bool XfceDesktop::restoreState(const State& state, const QString& path)
{
    m_error.clear();
    const std::optional<QStringList> present = backdropProperties();
    if (!present)
        return false;
    for (auto it = state.cbegin(); it != state.cend(); ++it) {
        QStringList arguments{QStringLiteral("-p"), it.key()};
        if (!present->contains(it.key()))
            arguments << QStringLiteral("-n") << QStringLiteral("-t")
                      << (it.key().endsWith(kImageStyle) ? QStringLiteral("int")
                                                         : QStringLiteral("string"));
        if (!query(arguments << QStringLiteral("-s") << it.value()))
            return false;
    }
    for (const QString& property : *present) {
        if (property.endsWith(kImageStyle) && !state.contains(property) &&
            state.contains(property.chopped(kImageStyle.size()) + kLastImage) &&
            !query({QStringLiteral("-p"), property, QStringLiteral("-r")}))
            return false;
    }
    recordApplied(path);
    return true;
}

std::optional<QStringList> XfceDesktop::backdropProperties() const
{
    const std::optional<QByteArray> listed = query({QStringLiteral("-l")});
    if (!listed)
        return std::nullopt;
    QStringList properties;
    const QStringList lines = QString::fromUtf8(*listed).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QString property = line.trimmed();
        if (property.startsWith(QLatin1String("/backdrop/")) &&
            (property.endsWith(QLatin1Char('/') + kLastImage) ||
             property.endsWith(QLatin1Char('/') + kImageStyle)))
            properties << property;
    }
    return properties;
}

} // namespace

std::unique_ptr<Desktop> makeXfce(RegistryStore& store, const QString& xfconfQuery)
{
    return std::make_unique<XfceDesktop>(store, xfconfQuery);
}

} // namespace DesktopBackends
