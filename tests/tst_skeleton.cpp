#include "TestEnv.h"

#include <QApplication>

class tst_skeleton : public QObject
{
    Q_OBJECT
private slots:
    void homeIsIsolated() { QVERIFY(qgetenv("HOME").startsWith(QDir::tempPath().toLocal8Bit())); }
};

QUILTON_TEST_MAIN(tst_skeleton)
#include "tst_skeleton.moc"
