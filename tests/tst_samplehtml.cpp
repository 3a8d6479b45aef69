// The sample page: its bytes against the page written out here line by line,
// the picture it names, and the page with its picture in real Chromium.
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

// The whole page as it must be written, for the background attribute given.
QByteArray expectedPage(const QString& attribute)
{
    const QString home = QString::fromLatin1(SampleHtml::kHomePage);
    const QStringList colours =
        QStringLiteral(
            "FF0000 0000FF FFFFFF 000000 FFFF00 7C6035 00FF00 808080 B7C4E0 ABFF7F FB8684 FFA500 "
            "D7FF99 272672 3C2421 E5D64C FFF27F C400CC DA70D6 E50086 7E00FF 19E3E5 336045 4200B7 "
            "FFB74C FFD700 C0C0C0 342659 F0FFFF 774635 FE8E87 EE4E42 47EA7E FF5E19 EAD2AD 9B002B "
            "F2D8DF F0E68C BB084E E12652 733630 653008 46130F 8700CC E0CC84 4B3E15 6B492D FFC34C "
            "FAFAFA 28A371 E50031 EFA18F 2314B7 EAC247 E0C184 DBD070 CC000A E100B2 E50076 95FF65 "
            "7FF655 200098 9CA7E2 164082 FAFAFA")
            .split(u' ');
    QStringList lines{
        "<html>",
        "<title>表示サンプル</title>",
        "<body style=\"background-attachment:fixed\" background=\"" + attribute +
            "\" alink=blue link=pink>",
        "<center><table border=3 bgcolor=lightyellow><tr><th>",
        "<font color=red>◆『ぼかし』や『明度調整』を行うと見やすくなります。</font><br>",
        "<a href=\"" + home + "\">" + home + "</a></th></tr></table><p></center>",
        "<br><blockquote>",
    };
    for (const QString& code : colours)
        lines << "<font color=#" + code + "><B>" + code + "</B> : " + kNote + "</font><br>";
    lines.last() += "</blockquote>";
    lines << "</body>"
          << "</html>";
    if (colours.size() != 65 || lines.size() != 74)
        return {};
    return "\xEF\xBB\xBF" + (lines.join("\r\n") + "\r\n").toUtf8();
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
    void pageIsTheTableWithThePicturesFileAddress_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("given");
        QTest::addColumn<bool>("jpegFlag");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("attribute");
        const auto row = [](const char* tag, const char* program, const QString& given, bool jpeg,
                            const char* folder, const char* attribute) {
            QTest::newRow(tag) << program << given << jpeg << folder << attribute;
        };
        row("with the library", "/opt/q", "", true, "/opt/q/", "file:///opt/q/Sample.jpg");
        row("without it", "/opt/q/", "", false, "/opt/q/", "file:///opt/q/Sample.bmp");
        row("given picture", "/opt/q", "/out/x(A).jpg", true, "/opt/q/", "file:///out/x(A).jpg");
        row("root as empty", "", "", true, "/", "file:///Sample.jpg");
        row("root as /", "/", "", false, "/", "file:///Sample.bmp");
        // Characters that end the attribute become references; those a
        // browser would misread in an address are percent-encoded.
        row("markup and address characters", "/q", "/t/\"x\"<y>&50%#1?\\ é.bmp", true, "/q/",
            "file:///t/%22x%22%3Cy%3E&amp;50%25%231%3F%5C%20%C3%A9.bmp");
    }
    void pageIsTheTableWithThePicturesFileAddress()
    {
        QFETCH(QString, program);
        QFETCH(QString, given);
        QFETCH(bool, jpegFlag);
        QFETCH(QString, folder);
        QFETCH(QString, attribute);
        QCOMPARE(SampleHtml::pageFolder(program), folder);
        const QString picture = SampleHtml::picturePath(program, given, jpegFlag);
        QCOMPARE(SampleHtml::pageBytes(picture), expectedPage(attribute));
    }

    // Written over a longer file, the page replaces it whole (a missing folder
    // is an error), and Chromium shows the tile behind it.
    void writtenPageInChromium()
    {
        // A folder name with characters a browser would misread in an address.
        QTemporaryDir dir;
        const QString folder = dir.filePath("sample \\ #1 50% 見本");
        QVERIFY(QDir().mkpath(folder));
        const QImage tile = testsupport::flatImage(100, 100, qRgb(0x3C, 0x8A, 0xD2));
        QVERIFY(PictureSaver::saveBmp(tile, folder + "/Sample.bmp"));
        QVERIFY(testsupport::writeBytes(folder + "/Sample.html", QByteArray(50000, 'x')));
        QString error;
        QVERIFY2(SampleHtml::writePage(folder + "/Sample.html", folder + "/Sample.bmp", &error),
                 qPrintable(error));
        QCOMPARE(testsupport::readAll(folder + "/Sample.html"),
                 SampleHtml::pageBytes(folder + "/Sample.bmp"));
        QVERIFY(!SampleHtml::writePage(dir.filePath("missing/Sample.html"), "/p.bmp", &error));
        QVERIFY(!error.isEmpty());

        QVERIFY2(QFileInfo("/usr/bin/chromium").isExecutable(),
                 "/usr/bin/chromium is missing (Debian package chromium, scripts/deps.sh test)");
        const QString url =
            QUrl::fromLocalFile(folder + "/Sample.html").toString(QUrl::FullyEncoded);

        const QString dom = QString(runChromium({"--dump-dom", url}).value_or("did not finish"));
        QVERIFY2(dom.contains("<title>表示サンプル</title>"), qPrintable(dom.left(500)));
        QCOMPARE(dom.count(kNote), 65);

        const QString png = dir.filePath("shot.png");
        QVERIFY2(runChromium({"--screenshot=" + png, "--window-size=1200,800", url}),
                 "Chromium did not finish");
        // The body margin shows nothing but the background picture.
        const QColor seen = QImage(png).pixelColor(2, 2);
        const int off =
            qAbs(seen.red() - 0x3C) + qAbs(seen.green() - 0x8A) + qAbs(seen.blue() - 0xD2);
        QVERIFY2(off <= 6, qPrintable(seen.name()));
    }
};

QUILTON_TEST_MAIN(tst_samplehtml)
#include "tst_samplehtml.moc"
