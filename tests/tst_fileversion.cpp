#include "TestEnv.h"

#include "app/mGetFileVer.h"
#include "support/FileFixtures.h"
#include "support/TestInstall.h"

#include <QApplication>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using testfiles::versionBlock;

class tst_fileversion : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void craftedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QByteArray block = versionBlock(1, 0, 0, 2), x(100, 'x');
        QTest::newRow("block after other bytes") << x + block + x << "1.0.0.2";
        QTest::newRow("parts above 32767, each in its place")
            << x + versionBlock(40000, 65535, 32768, 1) << "40000.65535.32768.1";
        QTest::newRow("no block") << x << "";
        QTest::newRow("no file") << QByteArray() << "";
        QTest::newRow("truncated block") << x + block.left(51) << "";
        QTest::newRow("unaligned block skipped, first aligned one found")
            << x.left(2) + versionBlock(9, 9, 9, 9) + x.left(2) + block + versionBlock(2, 0, 0, 0)
            << "1.0.0.2";
        // Files are read 64 KiB at a time.
        QTest::newRow("block straddling a read")
            << QByteArray(65536 - 20, 'x') + block << "1.0.0.2";
    }
    void craftedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(bytes.isNull() || testsupport::writeBytes(path, bytes));
        QCOMPARE(mGetFileVer::GetFileVersionText(path), text);
        const FileVersion v = mGetFileVer::GetFileVersion(path);
        QCOMPARE(u"%1.%2.%3.%4"_s.arg(v.major).arg(v.minor).arg(v.build).arg(v.revision),
                 text.isEmpty() ? u"0.0.0.0"_s : text);
    }

    // The built SaveJPG.so's 1.0.0.2 is the about box's (tst_about). This
    // program links the scanner but holds no block, not even at an unaligned
    // offset where only luck would skip it.
    void builtFiles()
    {
        const QString self = QCoreApplication::applicationFilePath();
        QCOMPARE(testsupport::readAll(self).indexOf(versionBlock(0, 0, 0, 0).left(4)), -1);
    }
};

QUILTON_TEST_MAIN(tst_fileversion)
#include "tst_fileversion.moc"
