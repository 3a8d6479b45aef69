#include "TestEnv.h"

#include "app/mGetFileVer.h"
#include "support/TestInstall.h"
#include "support/support_h1_files.h"

#include <QApplication>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using support_h1::versionBlock;

class tst_fileversion : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static QByteArray fill(qsizetype size) { return QByteArray(size, 'x'); }

private slots:
    void craftedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QByteArray block = versionBlock(1, 0, 0, 2);
        QTest::newRow("block after other bytes") << fill(100) + block + fill(30) << "1.0.0.2";
        QTest::newRow("parts above 32767, each in its place")
            << fill(8) + versionBlock(40000, 65535, 32768, 1) << "40000.65535.32768.1";
        QTest::newRow("zeros") << versionBlock(0, 0, 0, 0) << "0.0.0.0";
        QTest::newRow("first of two blocks") << block + versionBlock(2, 0, 0, 0) << "1.0.0.2";
        QTest::newRow("no block") << fill(5000) << "";
        QTest::newRow("truncated block") << fill(64) + block.left(51) << "";
        QTest::newRow("unaligned block skipped, aligned one found")
            << fill(2) + versionBlock(9, 9, 9, 9) + fill(2) + block << "1.0.0.2";
        // Files are read 64 KiB at a time.
        QTest::newRow("block straddling a read") << fill(65536 - 20) + block + fill(9) << "1.0.0.2";
        QTest::newRow("signature ending a read") << fill(65536 - 4) + block << "1.0.0.2";
        QTest::newRow("deep in a large file")
            << fill(700001 * 4) + versionBlock(3, 1, 4, 1) << "3.1.4.1";
    }
    void craftedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(testsupport::writeBytes(path, bytes));
        QCOMPARE(mGetFileVer::GetFileVersionText(path), text);
        const FileVersion v = mGetFileVer::GetFileVersion(path);
        QCOMPARE(u"%1.%2.%3.%4"_s.arg(v.major).arg(v.minor).arg(v.build).arg(v.revision),
                 text.isEmpty() ? u"0.0.0.0"_s : text);
    }

    void unreadableFilesHaveNoVersion()
    {
        const QString pipe = m_dir.filePath(u"pipe"_s);
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        for (const QString& path : {m_dir.filePath(u"missing"_s), m_dir.path(), pipe, QString()}) {
            QVERIFY2(mGetFileVer::GetFileVersion(path).isNull(), qPrintable(path));
            QCOMPARE(mGetFileVer::GetFileVersionText(path), QString());
        }
    }

    void builtFiles()
    {
        const QString bin = testenv::binDir();
        QCOMPARE(mGetFileVer::GetFileVersionText(bin + u"/SaveJPG.so"_s), u"1.0.0.2"_s);
        // The executables are checked when this build has made them already.
        for (const QString& program : QStringList{bin + u"/quilton-batch"_s, bin + u"/quilton"_s})
            if (QFileInfo::exists(program))
                QCOMPARE(mGetFileVer::GetFileVersionText(program),
                         QStringLiteral(QUILTON_VERSION_TEXT));
        // This program links the scanner but holds no version block, not
        // even at an unaligned offset where only luck would skip it.
        const QString self = QCoreApplication::applicationFilePath();
        QCOMPARE(mGetFileVer::GetFileVersionText(self), QString());
        QCOMPARE(testsupport::readAll(self).indexOf(versionBlock(0, 0, 0, 0).left(4)), -1);
    }
};

QUILTON_TEST_MAIN(tst_fileversion)
#include "tst_fileversion.moc"
