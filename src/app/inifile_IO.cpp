#include "app/inifile_IO.h"

#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <optional>
#include <string_view>
#include <vector>

namespace {

// Values come back cut to this many bytes, as from a 1024-byte read buffer.
constexpr qsizetype kValueLimit = 1023;
// The reader keeps this much of a line; the rest of a longer line is skipped
// (no key or value the program uses comes near it).
constexpr qint64 kLineKept = 64 * 1024;
// A settings file is rewritten in memory; anything larger is not a settings
// file and is left alone (the write fails).
constexpr qint64 kMaxRewrittenFile = 64 * 1024 * 1024;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Blanks (space, tab) around a name the caller gives are not part of it,
// just as in the file.
QString trimmedName(const QString& name)
{
    qsizetype begin = 0;
    qsizetype end = name.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(name.at(begin)))
        ++begin;
    while (end > begin && blank(name.at(end - 1)))
        --end;
    return name.mid(begin, end - begin);
}

bool holdsBreakOrNul(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
           text.contains(QChar(0));
}

// One line of the file, classified. Lines that are neither a section header
// nor "key=value" (comments starting with ';', blank lines, a key line
// without '=', garbage) are kept but mean nothing.
struct IniLine
{
    enum Kind { Other, Section, Key };
    Kind kind = Other;
    std::string_view name; // section name or key, blanks dropped
    std::string_view value;
};

IniLine parseLine(std::string_view line)
{
    IniLine out;
    const std::string_view text = trimmed(line);
    if (text.empty() || text.front() == ';')
        return out;
    if (text.front() == '[') {
        // The name runs to the last ']' of the line, so "[a]b]" is "a]b".
        const std::size_t close = text.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            out.kind = IniLine::Section;
            out.name = trimmed(text.substr(1, close - 1));
        }
        return out;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return out;
    const std::string_view key = trimmed(text.substr(0, equals));
    if (key.empty())
        return out;
    out.kind = IniLine::Key;
    out.name = key;
    out.value = trimmed(text.substr(equals + 1));
    return out;
}

bool sameName(std::string_view inFile, const QString& wanted)
{
    // A UTF-8 name takes at least one byte per UTF-16 unit and at most three,
    // so most names can be told apart without decoding them.
    const auto size = static_cast<qsizetype>(inFile.size());
    if (size < wanted.size() / 2 || size > wanted.size() * 3 + 3)
        return false;
    return QString::fromUtf8(inFile.data(), size).compare(wanted, Qt::CaseInsensitive) == 0;
}

// The value as the program sees it: cut at a NUL, then to the read limit,
// without leaving half a UTF-8 sequence at the end.
QByteArray limitedValue(std::string_view value)
{
    const std::size_t nul = value.find('\0');
    if (nul != std::string_view::npos)
        value = value.substr(0, nul);
    if (static_cast<qsizetype>(value.size()) <= kValueLimit)
        return QByteArray(value.data(), static_cast<qsizetype>(value.size()));

    std::size_t cut = kValueLimit;
    // Step back over continuation bytes to the lead byte of the last sequence
    // and drop that sequence if the cut left it incomplete.
    std::size_t lead = cut;
    while (lead > 0 && lead > cut - 4 &&
           (static_cast<unsigned char>(value[lead - 1]) & 0xC0) == 0x80)
        --lead;
    if (lead > 0) {
        const auto first = static_cast<unsigned char>(value[lead - 1]);
        std::size_t needed = 1;
        if ((first & 0xE0) == 0xC0)
            needed = 2;
        else if ((first & 0xF0) == 0xE0)
            needed = 3;
        else if ((first & 0xF8) == 0xF0)
            needed = 4;
        if (first >= 0xC0 && cut - (lead - 1) < needed)
            cut = lead - 1;
    }
    return QByteArray(value.data(), static_cast<qsizetype>(cut));
}

// Finds section/key the way every read does: the first section of that name
// (letter case aside) and in it the first such key. Streams the file line by
// line and stops at the answer, so a huge or binary file costs one pass.
std::optional<QByteArray> findValue(QIODevice& file, const QString& section, const QString& key)
{

    // One buffer for every line: reading lines into fresh arrays would cost
    // an allocation of the whole line limit per line.
    QByteArray buffer(kLineKept + 1, Qt::Uninitialized);
    QByteArray skipped(kLineKept + 1, Qt::Uninitialized);
    bool firstLine = true;
    bool inSection = false;
    while (true) {
        const qint64 length = file.readLine(buffer.data(), buffer.size());
        if (length <= 0)
            return std::nullopt; // end of file or a read error
        std::string_view text(buffer.constData(), static_cast<std::size_t>(length));
        if (text.ends_with('\n')) {
            text.remove_suffix(1);
        } else {
            // Skip the rest of an overlong line.
            qint64 rest = 0;
            do
                rest = file.readLine(skipped.data(), skipped.size());
            while (rest > 0 && skipped.at(rest - 1) != '\n');
        }
        if (firstLine && text.starts_with(kUtf8Bom))
            text.remove_prefix(kUtf8Bom.size());
        firstLine = false;

        const IniLine parsed = parseLine(text);
        if (parsed.kind == IniLine::Section) {
            if (inSection)
                return std::nullopt; // the first matching section ended
            inSection = sameName(parsed.name, section);
        } else if (parsed.kind == IniLine::Key && inSection && sameName(parsed.name, key)) {
            return limitedValue(parsed.value);
        }
    }
}

// The stored text of section/key after the read rules; empty when missing.
// pending: the file's text while a batch of writes is open.
QByteArray readValue(const QString& path, const std::optional<QByteArray>& pending,
                     const QString& section, const QString& key)
{
    const QString wantedSection = trimmedName(section);
    const QString wantedKey = trimmedName(key);
    if (wantedSection.isEmpty() || wantedKey.isEmpty())
        return {};
    if (pending) {
        QByteArray copy = *pending;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        return findValue(buffer, wantedSection, wantedKey).value_or(QByteArray());
    }
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {}; // missing, a folder, a device or a pipe
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return findValue(file, wantedSection, wantedKey).value_or(QByteArray());
}

// The file's bytes to rewrite: empty for a missing file, nothing when it
// cannot be rewritten (not a regular file, unreadable, too large).
std::optional<QByteArray> currentBytes(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return QByteArray();
    // Only a regular file is rewritten; never a folder, device or pipe.
    if (!info.isFile() || info.size() > kMaxRewrittenFile)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Optional sign, digits, optional fraction; rounds half to even; nothing when
// the text is no such number or the result does not fit 16 bits.
std::optional<qint16> toInt16(std::string_view text)
{
    text = trimmed(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Saturates well outside the 16-bit range, so no digit string overflows.
    constexpr long kSaturated = 1000000;
    long magnitude = 0;
    std::size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digits)
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kSaturated);
    int firstFraction = 0;
    bool moreFraction = false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (std::size_t f = 0; i < text.size() && isDigit(text[i]); ++i, ++f, ++digits) {
            if (f == 0)
                firstFraction = text[i] - '0';
            else if (text[i] != '0')
                moreFraction = true;
        }
    }
    if (digits == 0 || i != text.size())
        return std::nullopt;

    const bool roundUp =
        firstFraction > 5 || (firstFraction == 5 && (moreFraction || magnitude % 2 == 1));
    if (roundUp)
        ++magnitude;
    const long value = negative ? -magnitude : magnitude;
    if (value < -32768 || value > 32767)
        return std::nullopt;
    return static_cast<qint16>(value);
}

// The file with section/key set to value: replaced in place in the first
// matching section, else appended after the section's last non-blank line,
// else a new section at the end. Every line keeps its content; line ends
// become CR LF.
QByteArray withValue(const QByteArray& old, const QString& section, const QString& key,
                     const QByteArray& value)
{
    struct Span
    {
        qsizetype start;
        qsizetype length;
    };
    std::vector<Span> lines;
    for (qsizetype start = 0; start < old.size();) {
        qsizetype end = old.indexOf('\n', start);
        const qsizetype next = end < 0 ? old.size() : end + 1;
        if (end < 0)
            end = old.size();
        else if (end > start && old.at(end - 1) == '\r')
            --end;
        lines.push_back({start, end - start});
        start = next;
    }
    auto lineText = [&](std::size_t i) {
        std::string_view text(old.constData() + lines[i].start,
                              static_cast<std::size_t>(lines[i].length));
        if (i == 0 && text.starts_with(kUtf8Bom))
            text.remove_prefix(kUtf8Bom.size());
        return text;
    };

    const QByteArray keyBytes = key.toUtf8();
    const QByteArray newKeyLine = keyBytes + '=' + value;
    std::optional<std::size_t> replace;  // line that gets the new value
    std::optional<std::size_t> insertAt; // line before which the key goes
    bool inSection = false;
    std::size_t lastFilled = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const IniLine parsed = parseLine(lineText(i));
        if (parsed.kind == IniLine::Section) {
            if (inSection)
                break;
            inSection = sameName(parsed.name, section);
            lastFilled = i;
        } else if (inSection) {
            if (parsed.kind == IniLine::Key && sameName(parsed.name, key)) {
                replace = i;
                break;
            }
            if (!trimmed(lineText(i)).empty())
                lastFilled = i;
        }
    }
    if (!replace && inSection)
        insertAt = lastFilled + 1;

    QByteArray out;
    out.reserve(old.size() + newKeyLine.size() + section.size() * 3 + 16);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (insertAt == i)
            out += newKeyLine + "\r\n";
        if (replace == i) {
            // The key keeps its spelling in the file; only the value changes.
            const IniLine parsed = parseLine(lineText(i));
            out += QByteArray(parsed.name.data(), static_cast<qsizetype>(parsed.name.size())) +
                   '=' + value + "\r\n";
        } else {
            out.append(old.constData() + lines[i].start, lines[i].length);
            out += "\r\n";
        }
    }
    if (insertAt == lines.size())
        out += newKeyLine + "\r\n";
    if (!replace && !insertAt)
        out += '[' + section.toUtf8() + "]\r\n" + newKeyLine + "\r\n";
    return out;
}

} // namespace

bool inifile_IO::WriteStr(const QString& section, const QString& key, const QString& value)
{
    const QString wantedSection = trimmedName(section);
    const QString wantedKey = trimmedName(key);
    if (m_fileName.isEmpty() || wantedSection.isEmpty() || wantedKey.isEmpty())
        return false;
    // A line break or NUL would split the line or end it early, and a key
    // holding '=' or starting like a comment or a section would read back
    // as something else: refuse rather than write what cannot be read back.
    if (holdsBreakOrNul(wantedSection) || holdsBreakOrNul(wantedKey) || holdsBreakOrNul(value))
        return false;
    if (wantedKey.contains(QLatin1Char('=')) || wantedKey.startsWith(QLatin1Char(';')) ||
        wantedKey.startsWith(QLatin1Char('[')))
        return false;

    if (m_batchDepth > 0) {
        if (m_batchFailed)
            return false;
        if (!m_pending) {
            m_pending = currentBytes(m_fileName);
            if (!m_pending) {
                m_batchFailed = true;
                return false;
            }
        }
        *m_pending = withValue(*m_pending, wantedSection, wantedKey, value.toUtf8());
        m_batchChanged = true;
        return true;
    }
    const std::optional<QByteArray> old = currentBytes(m_fileName);
    if (!old)
        return false;
    // Written beside the file and linked into place: a failure at any point
    // leaves the previous file whole.
    return AtomicFile::write(m_fileName, withValue(*old, wantedSection, wantedKey, value.toUtf8()))
        .ok();
}

void inifile_IO::beginBatch()
{
    if (m_batchDepth++ > 0)
        return;
    m_pending.reset();
    m_batchFailed = false;
    m_batchChanged = false;
}

bool inifile_IO::commitBatch()
{
    if (m_batchDepth == 0)
        return false;
    if (--m_batchDepth > 0)
        return !m_batchFailed;
    bool written = !m_batchFailed;
    if (written && m_batchChanged && m_pending)
        written = AtomicFile::write(m_fileName, *m_pending).ok();
    m_pending.reset();
    m_batchFailed = false;
    m_batchChanged = false;
    return written;
}

qint16 inifile_IO::ReadInt(const QString& section, const QString& key, qint16 def) const
{
    const QByteArray text = readValue(m_fileName, m_pending, section, key);
    return toInt16(std::string_view(text.constData(), static_cast<std::size_t>(text.size())))
        .value_or(def);
}

QString inifile_IO::ReadStr(const QString& section, const QString& key, const QString& def) const
{
    const QByteArray text = readValue(m_fileName, m_pending, section, key);
    return text.isEmpty() ? def : QString::fromUtf8(text);
}
