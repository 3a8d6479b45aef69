#pragma once

// Test harness shared by every test program.
//
// QUILTON_TEST_MAIN(Class) replaces QTEST_MAIN: before the application object
// exists it points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_CACHE_HOME at a
// fresh temporary folder and clears the desktop session variables, so a test
// never reaches the real home folder, the real desktop or the network.

#include <QString>
#include <QtTest>

namespace testenv {

// Prepares the temporary home; call before the QApplication is created.
void isolateHome();

// The temporary home folder made by isolateHome().
QString homeDir();

// Removes the temporary home and everything in it; call when the tests end.
void removeHome();

// A folder with the built binaries (quilton, quilton-batch, SaveJPG.so).
inline QString binDir()
{
    return QStringLiteral(QUILTON_BIN_DIR);
}

} // namespace testenv

#define QUILTON_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        testenv::isolateHome();                                                                    \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        int failures = 0;                                                                          \
        {                                                                                          \
            TestObject tc;                                                                         \
            QTEST_SET_MAIN_SOURCE_PATH                                                             \
            failures = QTest::qExec(&tc, argc, argv);                                              \
        }                                                                                          \
        testenv::removeHome();                                                                     \
        return failures;                                                                           \
    }
