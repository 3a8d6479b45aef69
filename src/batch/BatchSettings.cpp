#include "batch/BatchSettings.h"

#include "app/inifile_IO.h"
#include "platform/FileCheck.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString kKouka = QStringLiteral("Kouka");
const QString kImageType = QStringLiteral("ImageType");

// Character index of value as a digit 0..maxDigit; def for a missing,
// non-digit or out-of-range character. The window never writes such values;
// a hand-edited file gets the key's default for that character.
int digitAt(const QString& value, int index, int maxDigit, int def)
{
    if (index >= value.size())
        return def;
    const QChar c = value.at(index);
    if (c < QLatin1Char('0') || c > QLatin1Char('9'))
        return def;
    const int digit = c.unicode() - '0';
    return digit <= maxDigit ? digit : def;
}

// A tick character: "1" ticked, "0" not; anything else the default.
bool tickAt(const QString& value, int index, bool def)
{
    return digitAt(value, index, 1, def) == 1;
}

QString tickString(const std::array<TileEffects, 4>& tiles, bool TileEffects::*member)
{
    QString s;
    for (const TileEffects& t : tiles)
        s += (t.*member) ? QLatin1Char('1') : QLatin1Char('0');
    return s;
}

QString indexString(const std::array<TileEffects, 4>& tiles, int TileEffects::*member)
{
    QString s;
    for (const TileEffects& t : tiles)
        s += QString::number(t.*member);
    return s;
}

struct TickKey
{
    const char* key;
    bool TileEffects::*member;
};

// The per-tile tick keys in the order the window writes them.
constexpr TickKey kTickKeys[] = {
    {"Light", &TileEffects::light}, {"Bokashi", &TileEffects::blur},
    {"Block", &TileEffects::block}, {"Enboss", &TileEffects::emboss},
    {"Gray", &TileEffects::gray},   {"Contrast", &TileEffects::contrast},
};

} // namespace

BatchSettings BatchSettings::read(const inifile_IO& ini, bool jpegFlag)
{
    BatchSettings s;
    const QString zeros = QStringLiteral("0000");
    for (const TickKey& k : kTickKeys) {
        const QString value = ini.ReadStr(kKouka, QLatin1String(k.key), zeros);
        for (int t = 0; t < 4; ++t)
            s.tiles[t].*k.member = tickAt(value, t, false);
    }
    const QString bIndex = ini.ReadStr(kKouka, QStringLiteral("BIndex"), zeros);
    const QString lIndex = ini.ReadStr(kKouka, QStringLiteral("LIndex"), zeros);
    for (int t = 0; t < 4; ++t) {
        s.tiles[t].blurIndex = digitAt(bIndex, t, 2, 0);
        s.tiles[t].lightIndex = digitAt(lIndex, t, 9, 0);
    }
    s.order = BatchNaming::parseOrder(
        ini.ReadStr(kKouka, QStringLiteral("Junjo"), QStringLiteral("012345")));

    const QString src = ini.ReadStr(kImageType, QStringLiteral("SrcFile"), QStringLiteral("100"));
    const std::array<bool, 3> srcDefaults{true, false, false};
    for (int i = 0; i < 3; ++i)
        s.inputTypes[i] = tickAt(src, i, srcDefaults[i]);
    s.jpegOutput = ini.ReadInt(kImageType, QStringLiteral("DstFile"), 0) != 0 && jpegFlag;
    return s;
}

QStringList BatchSettings::unusableKeys(const inifile_IO& ini)
{
    QStringList keys;
    auto check = [&](const QString& section, const QString& key, int length, char maxDigit) {
        const QString value = ini.ReadStr(section, key, QString());
        if (value.isEmpty())
            return; // missing: the default, as intended
        bool usable = value.size() == length;
        for (QChar c : value)
            usable = usable && c >= QLatin1Char('0') && c <= QLatin1Char(maxDigit);
        if (usable && key == QLatin1String("Junjo"))
            usable = BatchNaming::parseOrder(value) != std::array<int, 6>{0, 1, 2, 3, 4, 5} ||
                     value == QLatin1String("012345");
        if (!usable)
            keys.append(QStringLiteral("[%1] %2=%3").arg(section, key, value));
    };
    for (const TickKey& k : kTickKeys)
        check(kKouka, QLatin1String(k.key), 4, '1');
    check(kKouka, QStringLiteral("BIndex"), 4, '2');
    check(kKouka, QStringLiteral("LIndex"), 4, '9');
    check(kKouka, QStringLiteral("Junjo"), 6, '5');
    check(kImageType, QStringLiteral("SrcFile"), 3, '1');
    // A number the reading rules cannot take gives whatever default is asked.
    const QString dst = QStringLiteral("DstFile");
    const QString stored = ini.ReadStr(kImageType, dst, QString());
    if (!stored.isEmpty() && ini.ReadInt(kImageType, dst, 0) != ini.ReadInt(kImageType, dst, 1))
        keys.append(QStringLiteral("[%1] %2=%3").arg(kImageType, dst, stored));
    return keys;
}

void BatchSettings::write(inifile_IO& ini) const
{
    QString src;
    for (bool ticked : inputTypes)
        src += ticked ? QLatin1Char('1') : QLatin1Char('0');
    ini.WriteStr(kImageType, QStringLiteral("SrcFile"), src);
    ini.WriteStr(kImageType, QStringLiteral("DstFile"),
                 jpegOutput ? QStringLiteral("1") : QStringLiteral("0"));
    for (const TickKey& k : kTickKeys)
        ini.WriteStr(kKouka, QLatin1String(k.key), tickString(tiles, k.member));
    ini.WriteStr(kKouka, QStringLiteral("BIndex"), indexString(tiles, &TileEffects::blurIndex));
    ini.WriteStr(kKouka, QStringLiteral("LIndex"), indexString(tiles, &TileEffects::lightIndex));
    QString junjo;
    for (int code : order)
        junjo += QString::number(code);
    ini.WriteStr(kKouka, QStringLiteral("Junjo"), junjo);
}

namespace BatchNaming {

std::array<int, 6> parseOrder(const QString& junjo)
{
    const QString six = QString(junjo + QStringLiteral("000000")).left(6);
    std::array<int, 6> order{};
    std::array<bool, 6> seen{};
    for (int p = 0; p < 6; ++p) {
        const int digit = digitAt(six, p, 5, -1);
        if (digit < 0 || seen[digit])
            return {0, 1, 2, 3, 4, 5};
        seen[digit] = true;
        order[p] = digit;
    }
    return order;
}

QString inputPattern(const std::array<bool, 3>& types)
{
    static const char* const kParts[3] = {"*.bmp;", "*.jpg;", "*.gif;"};
    QString pattern;
    for (int i = 0; i < 3; ++i) {
        if (types[i])
            pattern += QLatin1String(kParts[i]);
    }
    if (pattern.isEmpty())
        return QStringLiteral("xxxx.xxxx");
    pattern.chop(1);
    return pattern;
}

QStringList matchingFiles(const QString& folder, const QString& pattern,
                          FileCheck::Problem* problem)
{
    if (problem)
        *problem = {};
    QList<QRegularExpression> parts;
    const QStringList texts = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& part : texts) {
        parts.append(
            QRegularExpression(QRegularExpression::wildcardToRegularExpression(part.trimmed()),
                               QRegularExpression::CaseInsensitiveOption));
    }
    if (folder.isEmpty() || parts.isEmpty())
        return {};
    // Listed by the system's names: a name that is no UTF-8 text is listed
    // too (and refused by name when loaded), never passed over in silence.
    const QStringList entries = FileCheck::fileNames(folder, problem);
    QStringList names;
    for (const QString& name : entries) {
        const bool matches = std::any_of(parts.cbegin(), parts.cend(),
                                         [&](const auto& re) { return re.match(name).hasMatch(); });
        if (matches)
            names.append(name);
    }
    // Name order ignoring case, as the file list shows it; names differing
    // only in case keep a fixed order between them.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QString OutFileName(const QString& inputName, int tile, const QString& extension)
{
    const qsizetype dot = inputName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? inputName : inputName.left(dot);
    const QChar letter(QLatin1Char('A').unicode() + std::clamp(tile, 0, 3));
    return base + QLatin1Char('(') + letter + QStringLiteral(").") + extension;
}

int lightPercent(int lightIndex)
{
    const int i = std::clamp(lightIndex, 0, 9);
    return i < 5 ? -50 + 10 * i : 10 * (i - 4);
}

} // namespace BatchNaming
