#include "TestEnv.h"
#include "support/TestInstall.h"

#include "output/PictureSaver.h"
#include "output/SampleHtml.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

namespace {

const QString kNote = QStringLiteral(
    "実際に背景として使用する場合は、表示可能な形式（JPG/GIF等）に変換してください。");
const QString kChromium = QStringLiteral("/usr/bin/chromium");

QString bodyLine(const QString& attribute)
{
    return QStringLiteral("<body style=\"background-attachment:fixed\" background=\"") + attribute +
           QStringLiteral("\" alink=blue link=pink>");
}

// Runs headless Chromium with a fresh profile; false when it did not finish.
bool runChromium(const QStringList& extra, QByteArray* output = nullptr)
{
    QTemporaryDir profile;
    QProcess chromium;
    const QString options = QStringLiteral("--headless --no-sandbox --disable-gpu --no-first-run "
                                           "--disable-background-networking --hide-scrollbars "
                                           "--disable-component-update --user-data-dir=");
    chromium.start(kChromium, QString(options + profile.path()).split(QLatin1Char(' ')) + extra);
    const bool ok = chromium.waitForStarted(10000) && chromium.waitForFinished(90000) &&
                    chromium.exitStatus() == QProcess::NormalExit;
    if (chromium.state() != QProcess::NotRunning) {
        chromium.kill();
        chromium.waitForFinished(5000);
    }
    if (output)
        *output = chromium.readAllStandardOutput();
    return ok;
}

} // namespace

class tst_samplehtml : public QObject
{
    Q_OBJECT

private slots:
    void pageIs74CrLfLinesAfterABom();
    void picturePathAndFolder_data();
    void picturePathAndFolder();
    void writePageAndFailure();
    void chromiumShowsTheTileBehindThePage();
};

void tst_samplehtml::pageIs74CrLfLinesAfterABom()
{
    const QByteArray bytes = SampleHtml::pageBytes(QStringLiteral("/t/\"x\"<y>&50%#1?.bmp"));
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF<html>\r\n"));
    QVERIFY(bytes.endsWith("</body>\r\n</html>\r\n"));
    QCOMPARE(bytes.count('\n'), 74);
    QCOMPARE(bytes.count("\r\n"), 74);
    QCOMPARE(bytes.count('\r'), 74);
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    // Markup and address characters of the path escaped in the attribute.
    QCOMPARE(lines[2], bodyLine(QStringLiteral("/t/&quot;x&quot;&lt;y&gt;&amp;50%25%231%3F.bmp")));

    // 65 colour lines, FAFAFA twice and the others all different.
    const QRegularExpression pattern(QStringLiteral(
        "^<font color=#([0-9A-F]{6})><B>\\1</B> : (.*)</font><br>(</blockquote>)?$"));
    QStringList codes;
    for (int i = 7; i < 72; ++i) {
        const QRegularExpressionMatch m = pattern.match(lines[i]);
        QVERIFY2(m.hasMatch() && m.captured(2) == kNote, qPrintable(lines[i]));
        codes << m.captured(1);
    }
    QVERIFY(lines[71].endsWith(QStringLiteral("</blockquote>")));
    QCOMPARE(codes.mid(0, 6),
             (QStringList{"FF0000", "0000FF", "FFFFFF", "000000", "FFFF00", "7C6035"}));
    QCOMPARE(codes.mid(63), (QStringList{"164082", "FAFAFA"}));
    QCOMPARE(QSet<QString>(codes.begin(), codes.end()).size(), 64);
}

void tst_samplehtml::picturePathAndFolder_data()
{
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<QString>("given");
    QTest::addColumn<bool>("jpegFlag");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("picture");
    const auto row = [](const char* name, const char* program, const char* given, bool jpeg,
                        const char* folder, const char* picture) {
        QTest::newRow(name) << QString::fromUtf8(program) << QString::fromUtf8(given) << jpeg
                            << QString::fromUtf8(folder) << QString::fromUtf8(picture);
    };
    row("with the library", "/opt/q", "", true, "/opt/q/", "/opt/q/Sample.jpg");
    row("without the library", "/opt/q/", "", false, "/opt/q/", "/opt/q/Sample.bmp");
    row("given path", "/opt/q", "/out/x(A).jpg", true, "/opt/q/", "/out/x(A).jpg");
    row("root as empty text", "", "", true, "/", "/Sample.jpg");
    row("root with slash", "/", "", false, "/", "/Sample.bmp");
}

void tst_samplehtml::picturePathAndFolder()
{
    QFETCH(QString, programFolder);
    QFETCH(QString, given);
    QFETCH(bool, jpegFlag);
    QFETCH(QString, folder);
    QFETCH(QString, picture);
    QCOMPARE(SampleHtml::pageFolder(programFolder), folder);
    QCOMPARE(SampleHtml::picturePath(programFolder, given, jpegFlag), picture);
    QCOMPARE(SampleHtml::pageLines(picture).at(2), bodyLine(picture));
}

void tst_samplehtml::writePageAndFailure()
{
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("Sample.html"));
    QString error;
    QVERIFY(testsupport::writeBytes(page, QByteArray(5000, 'x')));
    QVERIFY2(SampleHtml::writePage(page, QStringLiteral("/p.bmp"), &error), qPrintable(error));
    QCOMPARE(testsupport::readAll(page), SampleHtml::pageBytes(QStringLiteral("/p.bmp")));

    const QString missing = dir.filePath(QStringLiteral("missing/Sample.html"));
    QVERIFY(!SampleHtml::writePage(missing, QStringLiteral("/p.bmp"), &error));
    QVERIFY(!error.isEmpty());
}

void tst_samplehtml::chromiumShowsTheTileBehindThePage()
{
    if (!QFileInfo(kChromium).isExecutable())
        QSKIP("/usr/bin/chromium is not installed (Debian package chromium): the page is not "
              "checked in a real browser");
    // A folder name with characters a browser would misread in an address.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("sample #1 50%"));
    QVERIFY(QDir().mkpath(folder));
    const QString picture = folder + QStringLiteral("/Sample.bmp");
    const QString page = folder + QStringLiteral("/Sample.html");
    const QRgb tile = qRgb(0x3C, 0x8A, 0xD2);
    QVERIFY(PictureSaver::saveBmp(testsupport::flatImage(100, 100, tile), picture));
    QVERIFY(SampleHtml::writePage(page, picture));
    const QString url = QUrl::fromLocalFile(page).toString(QUrl::FullyEncoded);

    QByteArray bytes;
    QVERIFY2(runChromium({QStringLiteral("--dump-dom"), url}, &bytes), "Chromium did not finish");
    const QString dom = QString::fromUtf8(bytes);
    QVERIFY2(dom.contains(QStringLiteral("<title>表示サンプル</title>")), bytes.left(500).data());
    QVERIFY(dom.contains(QStringLiteral("◆『ぼかし』や『明度調整』を行うと見やすくなります。")));
    QCOMPARE(dom.count(kNote), 65);

    const QString png = dir.filePath(QStringLiteral("shot.png"));
    QVERIFY2(runChromium({QStringLiteral("--screenshot=") + png,
                          QStringLiteral("--window-size=1200,800"), url}),
             "Chromium did not finish");
    // The body margin shows nothing but the background picture.
    const QColor seen = QImage(png).pixelColor(2, 2);
    QVERIFY2(qAbs(seen.red() - qRed(tile)) + qAbs(seen.green() - qGreen(tile)) +
                     qAbs(seen.blue() - qBlue(tile)) <=
                 6,
             qPrintable(seen.name()));
}

QUILTON_TEST_MAIN(tst_samplehtml)
#include "tst_samplehtml.moc"
