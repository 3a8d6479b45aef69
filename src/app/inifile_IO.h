#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The program's settings file: named text values in sections of an INI file.
//
// Every call goes to the file; nothing is cached. Lookup of sections and keys
// ignores letter case and the first match wins; blanks around keys and values
// are not part of them. Values are read into a 1023-byte limit (a longer value
// comes back cut to its first 1023 bytes). A write replaces an existing key in
// place, or appends the key at the end of its section, or a new section at the
// end of the file; the file is created on the first write, written with CR LF
// line ends, atomically (temporary file, then rename). Text is UTF-8; LF and
// CR LF files are read alike.
class inifile_IO
{
public:
    inifile_IO() = default;

    // Writes value under section/key. False when the file cannot be written
    // (missing folder, read-only file) or when section, key or value holds a
    // line break or NUL, section or key is empty, or the key could not be read
    // back as written (holds '=', starts with ';' or '['); the file is then
    // unchanged.
    bool WriteStr(const QString& section, const QString& key, const QString& value);

    // The stored value converted to a 16-bit integer: a decimal number with
    // optional sign and fraction, blanks around it allowed; a fraction rounds
    // to nearest, ties to even. Anything else, and values outside -32768 to
    // 32767, give def.
    qint16 ReadInt(const QString& section, const QString& key, qint16 def) const;

    // The stored value; def when the file, section or key is missing or the
    // value is empty.
    QString ReadStr(const QString& section, const QString& key, const QString& def) const;

    // Many writes as one change of the file: after beginBatch(), WriteStr
    // changes the text in memory (reads see it) under the same rules and
    // commitBatch() writes the file once, atomically, so that the file holds
    // either all of the writes or none. Batches nest; the outermost commit
    // writes. commitBatch() is false when the file could not be written, or
    // could not be read for rewriting (then nothing was written).
    void beginBatch();
    bool commitBatch();

    void setFileName(const QString& path) { m_fileName = path; }
    QString FileName() const { return m_fileName; }

private:
    QString m_fileName;
    int m_batchDepth = 0;
    std::optional<QByteArray> m_pending; // the file's text within a batch
    bool m_batchFailed = false;
    bool m_batchChanged = false;
};
