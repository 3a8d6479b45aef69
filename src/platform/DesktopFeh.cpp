#include "platform/DesktopBackends.h"

#include <QFile>
#include <QSaveFile>

namespace DesktopBackends {

namespace {

const QString kFehbg = QStringLiteral(".fehbg");
const QString kPlain = QStringLiteral("root");

// A plain X11 session: feh paints the picture onto the root window and writes
// the command that did it to ~/.fehbg, which the session runs at log-in. The
// root window does not tell which file it shows; ~/.fehbg does. feh cannot
// take a picture away again; xsetroot paints the root window plain.
class FehDesktop : public HelperDesktop
{
public:
    FehDesktop(RegistryStore& store, QString feh, QString xsetroot, QString fehbg)
        : HelperDesktop(store), m_feh(std::move(feh)), m_xsetroot(std::move(xsetroot)),
          m_fehbg(std::move(fehbg))
    {
    }

    bool applyWallpaper(const QString& path, bool tiled, int, int) override
    {
        m_error.clear();
        if (path.isEmpty())
            return restoreState({{kPlain, QStringLiteral("black")}}, path);
        // Not --no-fehbg: ~/.fehbg is to name what the screen shows.
        if (!runHelper(m_feh,
                       {tiled ? QStringLiteral("--bg-tile") : QStringLiteral("--bg-center"), path}))
            return false;
        recordApplied(path);
        return true;
    }

    // The picture of the feh command in ~/.fehbg: its last word that is no
    // option.
    QString currentWallpaper() const override
    {
        const std::optional<QString> command = fehbg();
        if (!command)
            return {};
        const QStringList lines = command->split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            const QStringList words = shellWords(line);
            if (words.isEmpty() || !words.first().endsWith(QLatin1String("feh")))
                continue;
            for (qsizetype i = words.size() - 1; i > 0; --i) {
                if (!words[i].startsWith(QLatin1Char('-')))
                    return words[i];
            }
        }
        return {};
    }

    // The user's ~/.fehbg as it stands, or a plain root window without one.
    std::optional<State> readState() override
    {
        if (const std::optional<QString> command = fehbg())
            return State{{kFehbg, *command}};
        return State{{kPlain, QStringLiteral("black")}};
    }

    bool restoreState(const State& state, const QString& path) override
    {
        m_error.clear();
        if (const auto command = state.constFind(kFehbg); command != state.cend()) {
            // The user's own command, back in its file and run as the
            // session would run it.
            QSaveFile file(m_fehbg);
            if (!file.open(QIODevice::WriteOnly) || file.write(command->toUtf8()) < 0 ||
                !file.commit()) {
                m_error = m_fehbg + QLatin1String(": ") + file.errorString();
                return false;
            }
            QFile::setPermissions(m_fehbg, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadGroup | QFile::ReadOther);
            if (!runHelper(QStringLiteral("/bin/sh"), {m_fehbg}))
                return false;
        } else {
            if (m_xsetroot.isEmpty()) {
                m_error = QStringLiteral("xsetroot がインストールされていないため、"
                                         "画面の壁紙を消せません。");
                return false;
            }
            if (!runHelper(m_xsetroot, {QStringLiteral("-solid"),
                                        state.value(kPlain, QStringLiteral("black"))}))
                return false;
            QFile::remove(m_fehbg);
        }
        recordApplied(path);
        return true;
    }

    QString name() const override { return QStringLiteral("feh"); }

private:
    std::optional<QString> fehbg() const
    {
        QFile file(m_fehbg);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        return QString::fromUtf8(file.readAll());
    }

    QString m_feh;
    QString m_xsetroot;
    QString m_fehbg;
};

} // namespace

std::unique_ptr<Desktop> makeFeh(RegistryStore& store, const QString& feh, const QString& xsetroot,
                                 const QString& fehbg)
{
    return std::make_unique<FehDesktop>(store, feh, xsetroot, fehbg);
}

QStringList shellWords(const QString& line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\'')) {
            const qsizetype end = line.indexOf(QLatin1Char('\''), i + 1);
            const qsizetype stop = end < 0 ? line.size() : end;
            word += QStringView(line).mid(i + 1, stop - i - 1);
            i = stop;
            inWord = true;
        } else if (c == QLatin1Char('"')) {
            for (++i; i < line.size() && line[i] != QLatin1Char('"'); ++i) {
                if (line[i] == QLatin1Char('\\') && i + 1 < line.size() &&
                    QStringLiteral("\"\\$`").contains(line[i + 1]))
                    ++i;
                word += line[i];
            }
            inWord = true;
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == QLatin1Char('#') && !inWord) {
            break;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

} // namespace DesktopBackends
