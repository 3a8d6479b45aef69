#include "TestEnv.h"

#include "app/mGetFileVer.h"
#include "support/support_h1_files.h"

#include <QApplication>
#include <QTemporaryDir>

#include <sys/stat.h>

using support_h1::filler;
using support_h1::versionBlock;
using support_h1::writeFile;

class tst_fileversion : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_counter = 0;

    QString fileWith(const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("f%1.bin").arg(++m_counter));
        writeFile(path, bytes);
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void craftedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");

        const QByteArray block = versionBlock(1, 0, 0, 2);
        QTest::newRow("block at the start") << block << "1.0.0.2";
        QTest::newRow("block after other bytes") << filler(100) + block + filler(30) << "1.0.0.2";
        QTest::newRow("parts above 32767 stay positive")
            << filler(8) + versionBlock(40000, 65535, 32768, 1) << "40000.65535.32768.1";
        QTest::newRow("each part in its place") << versionBlock(1, 2, 3, 4) << "1.2.3.4";
        QTest::newRow("no block") << filler(5000) << "";
        QTest::newRow("empty file") << QByteArray() << "";
        QTest::newRow("block cut off by the end of the file") << filler(64) + block.left(40) << "";
        QTest::newRow("signature alone at the end") << filler(64) + block.left(4) << "";
        QTest::newRow("unaligned block ignored") << filler(6) + block + filler(60) << "";
        QTest::newRow("aligned block after an unaligned one")
            << filler(2) + versionBlock(9, 9, 9, 9) + filler(2) + block << "1.0.0.2";
        QTest::newRow("first of two blocks") << block + versionBlock(2, 0, 0, 0) << "1.0.0.2";
        QTest::newRow("a block of zeros is still a block") << versionBlock(0, 0, 0, 0) << "0.0.0.0";
        // Files are read 64 KiB at a time.
        QTest::newRow("block straddling the first read")
            << filler(65536 - 20) + block + filler(100) << "1.0.0.2";
        QTest::newRow("signature in the last word of a read")
            << filler(65536 - 4) + block << "1.0.0.2";
        QTest::newRow("block right after the first read") << filler(65536) + block << "1.0.0.2";
        QTest::newRow("block deep in a large file")
            << filler(700001 * 4) + versionBlock(3, 1, 4, 1) << "3.1.4.1";
        QTest::newRow("large file cut inside its block") << filler(300000) + block.left(51) << "";
    }
    void craftedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString path = fileWith(bytes);
        QCOMPARE(mGetFileVer::GetFileVersionText(path), text);
        const FileVersion version = mGetFileVer::GetFileVersion(path);
        const QString parts = QStringLiteral("%1.%2.%3.%4")
                                  .arg(version.major)
                                  .arg(version.minor)
                                  .arg(version.build)
                                  .arg(version.revision);
        QCOMPARE(parts, text.isEmpty() ? QStringLiteral("0.0.0.0") : text);
    }

    void unreadableFilesHaveNoVersion()
    {
        const QString pipe = m_dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const QStringList paths{m_dir.filePath(QStringLiteral("missing.so")), m_dir.path(), pipe,
                                QString()};
        for (const QString& path : paths) {
            QVERIFY2(mGetFileVer::GetFileVersion(path).isNull(), qPrintable(path));
            QCOMPARE(mGetFileVer::GetFileVersionText(path), QString());
        }
    }

    void builtFilesCarryTheirVersion()
    {
        QCOMPARE(mGetFileVer::GetFileVersionText(testenv::binDir() + QStringLiteral("/SaveJPG.so")),
                 QStringLiteral("1.0.0.2"));
        QCOMPARE(mGetFileVer::GetFileVersionText(testenv::binDir() + QStringLiteral("/SaveJPG.so")),
                 QStringLiteral(SAVEJPG_VERSION_TEXT));
        // The executables carry the program's version; they are checked when
        // this build has made them already.
        for (const char* name : {"/quilton-batch", "/quilton"}) {
            const QString path = testenv::binDir() + QLatin1String(name);
            if (QFileInfo::exists(path))
                QCOMPARE(mGetFileVer::GetFileVersionText(path),
                         QStringLiteral(QUILTON_VERSION_TEXT));
        }
    }

    void scannerCodeIsNotTakenForAVersionBlock()
    {
        // This test program links the scanner but carries no version block:
        // the scanner's own code must not look like one.
        const QString self = QCoreApplication::applicationFilePath();
        QCOMPARE(mGetFileVer::GetFileVersionText(self), QString());
        // Not even at an unaligned offset, where it would only be luck of
        // the code layout that it is skipped.
        const QByteArray signature = versionBlock(0, 0, 0, 0).left(4);
        QCOMPARE(support_h1::readFile(self).indexOf(signature), -1);
    }
};

QUILTON_TEST_MAIN(tst_fileversion)
#include "tst_fileversion.moc"
