#include "TestEnv.h"
#include "support/TestInstall.h"

#include "output/PictureSaver.h"
#include "output/SampleHtml.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

namespace {

const QString kNote = QStringLiteral(
    "実際に背景として使用する場合は、表示可能な形式（JPG/GIF等）に変換してください。");

QString bodyLine(const QString& attribute)
{
    return "<body style=\"background-attachment:fixed\" background=\"" + attribute +
           "\" alink=blue link=pink>";
}

// Runs headless Chromium with a fresh profile; its output, or nothing when it
// did not finish.
std::optional<QByteArray> runChromium(const QStringList& extra)
{
    QTemporaryDir profile;
    QProcess chromium;
    chromium.start("/usr/bin/chromium",
                   QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                               "--disable-background-networking", "--hide-scrollbars",
                               "--disable-component-update", "--user-data-dir=" + profile.path()} +
                       extra);
    if (chromium.waitForFinished(90000) && chromium.exitStatus() == QProcess::NormalExit)
        return chromium.readAllStandardOutput();
    chromium.kill();
    chromium.waitForFinished(5000);
    return std::nullopt;
}

} // namespace

class tst_samplehtml : public QObject
{
    Q_OBJECT

private slots:
    void pageIs74CrLfLinesAfterABom();
    void picturePathAndFolder();
    void chromiumShowsTheTileBehindThePage();
};

void tst_samplehtml::pageIs74CrLfLinesAfterABom()
{
    const QByteArray bytes = SampleHtml::pageBytes("/t/\"x\"<y>&50%#1?.bmp");
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF<html>\r\n"));
    QVERIFY(bytes.endsWith("</body>\r\n</html>\r\n"));
    QCOMPARE(bytes.count('\n'), 74);
    QCOMPARE(bytes.count("\r\n"), 74);
    QCOMPARE(bytes.count('\r'), 74);
    // Markup and address characters of the path escaped in the attribute.
    QCOMPARE(QString(bytes).split("\r\n").at(2),
             bodyLine("/t/&quot;x&quot;&lt;y&gt;&amp;50%25%231%3F.bmp"));

    // Written over a longer file, the page replaces it whole; a missing
    // folder is an error.
    QTemporaryDir dir;
    const QString page = dir.filePath("Sample.html");
    QString error;
    QVERIFY(testsupport::writeBytes(page, QByteArray(5000, 'x')));
    QVERIFY2(SampleHtml::writePage(page, "/p.bmp", &error), qPrintable(error));
    QCOMPARE(testsupport::readAll(page), SampleHtml::pageBytes("/p.bmp"));
    QVERIFY(!SampleHtml::writePage(dir.filePath("missing/Sample.html"), "/p.bmp", &error));
    QVERIFY(!error.isEmpty());
}

void tst_samplehtml::picturePathAndFolder()
{
    const struct
    {
        const char *program, *given;
        bool jpegFlag;
        const char *folder, *picture;
    } rows[] = {
        {"/opt/q", "", true, "/opt/q/", "/opt/q/Sample.jpg"},   // with the library
        {"/opt/q/", "", false, "/opt/q/", "/opt/q/Sample.bmp"}, // without it
        {"/opt/q", "/out/x(A).jpg", true, "/opt/q/", "/out/x(A).jpg"},
        {"", "", true, "/", "/Sample.jpg"}, // the root, as empty text and as "/"
        {"/", "", false, "/", "/Sample.bmp"},
    };
    for (const auto& row : rows) {
        QCOMPARE(SampleHtml::pageFolder(row.program), row.folder);
        QCOMPARE(SampleHtml::picturePath(row.program, row.given, row.jpegFlag), row.picture);
        QCOMPARE(SampleHtml::pageLines(row.picture).at(2), bodyLine(row.picture));
    }
}

void tst_samplehtml::chromiumShowsTheTileBehindThePage()
{
    if (!QFileInfo("/usr/bin/chromium").isExecutable())
        QSKIP("/usr/bin/chromium is not installed (Debian package chromium): the page is not "
              "checked in a real browser");
    // A folder name with characters a browser would misread in an address.
    QTemporaryDir dir;
    const QString folder = dir.filePath("sample #1 50%");
    QVERIFY(QDir().mkpath(folder));
    const QImage tile = testsupport::flatImage(100, 100, qRgb(0x3C, 0x8A, 0xD2));
    QVERIFY(PictureSaver::saveBmp(tile, folder + "/Sample.bmp"));
    QVERIFY(SampleHtml::writePage(folder + "/Sample.html", folder + "/Sample.bmp"));
    const QString url = QUrl::fromLocalFile(folder + "/Sample.html").toString(QUrl::FullyEncoded);

    const QString dom = QString(runChromium({"--dump-dom", url}).value_or("did not finish"));
    QVERIFY2(dom.contains("<title>表示サンプル</title>"), qPrintable(dom.left(500)));
    QCOMPARE(dom.count(kNote), 65);

    const QString png = dir.filePath("shot.png");
    QVERIFY2(runChromium({"--screenshot=" + png, "--window-size=1200,800", url}),
             "Chromium did not finish");
    // The body margin shows nothing but the background picture.
    const QColor seen = QImage(png).pixelColor(2, 2);
    const int off = qAbs(seen.red() - 0x3C) + qAbs(seen.green() - 0x8A) + qAbs(seen.blue() - 0xD2);
    QVERIFY2(off <= 6, qPrintable(seen.name()));
}

QUILTON_TEST_MAIN(tst_samplehtml)
#include "tst_samplehtml.moc"
